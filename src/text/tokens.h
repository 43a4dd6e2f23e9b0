// The characters and tokens of the Graph 35/65 family: each code (one byte,
// or two bytes led by 0x7F or 0xF7) with the calculator's own spelling and
// the backslash spelling of the usual PC text files.
#pragma once

#include <string>
#include <vector>

struct Token {
  std::string code;   // 1 or 2 bytes
  std::string text;   // UTF-8; may be empty
  std::string ascii;  // may be empty
};

// The table, in its own order, read once from the data built into the program.
const std::vector<Token>& Tokens();
