// A calculator program as text a person reads and types, and back: the
// conversion behind liaison-texte, on bytes and strings only.
#pragma once

#include <functional>
#include <string>

#include "text/tokens.h"

enum class Spelling { Calculator, Ascii };

// The program's bytes as text: one program line per text line (0x0D ends a
// line), each token in the calculator's spelling (Ascii: the backslash
// spellings, ASCII only), and the escape \xHH wherever a spelling would be
// read back as other bytes. A text that is not empty ends with a line feed.
// `table`: the generation whose codes the bytes are.
std::string BytesToText(const std::string& bytes, Spelling spelling, Table table = Table::Graph35);
// The same text, given to `out` piece by piece as it is made: a large program
// costs about twice its own size, not its text's.
void WriteText(const std::string& bytes, Spelling spelling,
               const std::function<void(const std::string&)>& out, Table table = Table::Graph35);

struct TextError {
  int line = 0;    // 1 and up; 0 where no place in the text applies
  int column = 0;  // in characters, 1 and up
  std::string message;
};

// The text as the program's bytes; both spellings are read, and one line feed
// at the very end is the text file's own, not a line of the program. A token
// holding one of the `refused` bytes is an error naming that token.
bool TextToBytes(const std::string& text, std::string* bytes, TextError* error,
                 const std::string& refused = "", Table table = Table::Graph35);

// Each byte as the escape \xHH.
std::string HexEscapes(const std::string& bytes);
// The length of the well-formed UTF-8 character at `at`; 0 where there is
// none (an overlong form, a surrogate, a lone continuation byte...).
size_t ValidUtf8At(const std::string& text, size_t at);

// The bytes that menu 2 cannot carry: it sends a file's first line, which ends
// at the first 0x0A, and on Windows its text-mode read ends a file at 0x1A.
std::string BytesMenu2Refuses();
