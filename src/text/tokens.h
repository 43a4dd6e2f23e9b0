// The characters and tokens of the two generations of calculators: each code
// (one byte, or two bytes after a lead byte of its table) with the
// calculator's own spelling and the backslash spelling of the usual PC text
// files.
#pragma once

#include <string>
#include <vector>

// Graph35: the Graph 35/65 (leads 7F, F7). Fx9860: the fx-9860G family, from
// the Graph 35+ on (leads 7F, E5, E6, E7, F7, F9).
enum class Table { Graph35, Fx9860 };

struct Token {
  std::string code;   // 1 or 2 bytes
  std::string text;   // UTF-8; may be empty
  std::string ascii;  // may be empty
  // Fx9860 only: "same" where the Graph 35/65 has this code with the same
  // meaning, "other" where the code means something else there, "no" where it
  // lacks it.
  std::string graph35;
};

// The table, in its own order, read once from the data built into the program.
const std::vector<Token>& Tokens(Table table = Table::Graph35);
// Whether `byte` leads a two-byte code in `table`: the first bytes of its
// two-byte codes.
bool LeadsTwoBytes(Table table, unsigned char byte);
// A code of one or two bytes as one number: 0x41, 0xF700.
int CodeKey(const std::string& code);
// The row of a code in its table, or null.
const Token* RowOf(Table table, const std::string& code);
