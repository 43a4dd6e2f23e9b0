// A program from one generation's character table to the other's: the Graph
// 35/65's (legacy) and the fx-9860G family's (Graph 35+ and later). Most
// codes are the same bytes with the same meaning on both; a few moved, many
// exist on one side only.
#pragma once

#include <string>
#include <vector>

#include "text/tokens.h"

// A code of the program, where a person reading it as text finds it.
struct CodePlace {
  std::string code;  // its bytes
  std::string text;  // its spelling in its own table, or "\xHH" for an unknown code
  int line = 1;      // from 1: each 0x0D ends a line
  int column = 1;    // from 1, in characters of the spellings before it on its line
};

struct Crossing {
  std::string bytes;                 // the program in the other table
  std::vector<CodePlace> refused;    // codes the other side has not: then `bytes` is no use
  std::vector<CodePlace> uncertain;  // codes that cross, but may not mean exactly the same
};

// Graph 35/65 to fx-9860G: codes the same on both sides cross unchanged,
// Min( moves from 7F 2D to 7F 99, the Range command (EB) crosses as
// ViewWindow with a warning; every other code is refused.
Crossing ToFx9860(const std::string& legacy);
// fx-9860G to Graph 35/65: the same rules the other way.
Crossing ToGraph35(const std::string& fx9860);

// The place of each code of `bytes`, as cut with `table`.
std::vector<CodePlace> CodesOf(const std::string& bytes, Table table);
