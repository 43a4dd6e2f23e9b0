// Program text <-> calculator bytes: the table, both spellings, the escapes,
// the refusals, and the exact round trip.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

#include "text/program_text.h"
#include "text/tokens.h"
#include "support/session.h"

namespace {

std::string Read(const std::string& text) {
  std::string bytes;
  TextError error;
  EXPECT_TRUE(TextToBytes(text, &bytes, &error)) << text << ": " << error.message;
  return bytes;
}

TEST(TokenTable, MadeFromTheData) {
  const std::vector<Token>& tokens = Tokens();
  ASSERT_EQ(tokens.size(), 537u);
  EXPECT_EQ(tokens.front().code, "\x01");
  EXPECT_EQ(tokens.front().ascii, "\\femto");
  EXPECT_EQ(tokens.back().code, "\xF7\xDC");
  for (const Token& t : tokens) {
    EXPECT_NE(t.code, std::string(1, '\0'));
    EXPECT_NE(t.code, "\x7F");
    EXPECT_NE(t.code, "\xF7");
  }
}

TEST(ProgramText, BothSpellingsAreRead) {
  struct Case {
    std::string text, bytes;
  };
  const Case cases[] = {
      {"A\xE2\x86\x92"
       "B",
       "A\x0E"
       "B"},  // A→B
      {"A\\->B",
       "A\x0E"
       "B"},
      {"If A=1\nThen Locate 1,1,\"OK\"\nIfEnd", std::string("\xF7\x00"
                                                            "A=1\r\xF7\x01\xF7\x10"
                                                            "1,1,\"OK\"\r\xF7\x03",
                                                            21)},
      {"\\If A\\=>B", std::string("\xF7\x00"
                                  "A\x13"
                                  "B",
                                  5)},
      {"A-B*C/D+E^F",
       "A\x99"
       "B\xA9"
       "C\xB9"
       "D\x89"
       "E\xA8"
       "F"},             // the ascii column decides
      {"1000", "1000"},  // digits, not the power of ten
      {"\\10^x3",
       "\xB5"
       "3"},
      {"f\\femto", "f\x01"},
      {"\\x2B\\x00\\xf7", std::string("\x2B\x00\xF7", 3)},
      {"\"If or\"If ", std::string("\"If or\"\xF7\x00", 9)},  // letters inside a string
      {"A\r\nB\n", "A\rB"},    // one line feed at the end is the file's own
      {"A\r\nB\r\n", "A\rB"},  // ...and so is a final CR LF, as Windows editors save it
      {"A\r\n", "A"},
      {"\xEF\xBB\xBF"
       "A\\->B\r\n",
       "A\x0E"
       "B"},  // Notepad's byte order mark first
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.text), c.bytes) << c.text;
}

TEST(ProgramText, WrittenInTheCalculatorsSpelling) {
  struct Case {
    std::string bytes, text, ascii;
  };
  const Case cases[] = {
      {std::string("\xF7\x00"
                   "A>1\r\xF7\x01"
                   "B\x0E"
                   "C",
                   11),
       "If A>1\nThen B\xE2\x86\x92"
       "C\n",
       "\\If A>1\n\\Then B\\->C\n"},
      {"A\x89\x2B", "A+\\x2B\n", "A+\\x2B\n"},  // operator and character +
      {"\x87"
       "1\x99"
       "2",
       "\\(-)1-2\n", "\\(-)1-2\n"},                  // sign and subtraction
      {"If ", "\\x49f \n", "\\x49f \n"},             // letters, not the token If
      {"\"If \"", "\"If \"\n", "\"If \"\n"},         // ...but inside a string they are
      {"\x7F\x03", "\\x7F\\x03\n", "\\x7F\\x03\n"},  // a code no row names
      {"AB\xF7", "AB\\xF7\n", "AB\\xF7\n"},          // a lone leading byte at the end
      {"\\", "\\x5C\n", "\\x5C\n"},
      {"\r", "\n\n", "\n\n"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BytesToText(c.bytes, Spelling::Calculator), c.text);
    EXPECT_EQ(BytesToText(c.bytes, Spelling::Ascii), c.ascii);
  }
}

// For every byte sequence of one and two bytes, and for runs that mix
// tokens, strings and escapes, the text reads back as the same bytes.
TEST(ProgramText, ExactRoundTrip) {
  std::vector<std::string> samples;
  for (int a = 0; a < 256; ++a) {
    samples.push_back(std::string(1, static_cast<char>(a)));
    for (int b = 0; b < 256; ++b)
      samples.push_back(std::string{static_cast<char>(a), static_cast<char>(b)});
  }
  samples.push_back(std::string("\x22\xF7\x00\x49\x66\x20\x22\x49\x66\x20\x7F\x22\x0D\x22", 14));
  for (const std::string& bytes : samples) {
    for (Spelling spelling : {Spelling::Calculator, Spelling::Ascii}) {
      std::string text = BytesToText(bytes, spelling), back;
      TextError error;
      ASSERT_TRUE(TextToBytes(text, &back, &error)) << text << ": " << error.message;
      ASSERT_EQ(back, bytes) << text;
      if (spelling == Spelling::Ascii) {
        for (char c : text) ASSERT_TRUE(c > 0 && c < 0x7F) << text;
      }
    }
  }
}

TEST(ProgramText, ErrorsSayWhereAndWhy) {
  struct Case {
    std::string text;
    int line, column;
    std::string message;
  };
  const Case cases[] = {
      {"A\n  \\q", 2, 3, "sequence d'echappement inconnue : \\q"},
      {"AB\xC3\xA9", 1, 3, "caractere inconnu : \xC3\xA9"},
      {"A\tB", 1, 2, "caractere inconnu : \\x09"},
      {"A\n\xE2\x86", 2, 1, "texte UTF-8 invalide"},
      {"AB\xC0\xAF", 1, 3, "texte UTF-8 invalide"},        // an overlong "/"
      {"\xE0\x80\xAF", 1, 1, "texte UTF-8 invalide"},      // overlong, three bytes
      {"A\x80", 1, 2, "texte UTF-8 invalide"},             // a lone continuation byte
      {"\xED\xA0\x80", 1, 1, "texte UTF-8 invalide"},      // a surrogate
      {"\xF4\x90\x80\x80", 1, 1, "texte UTF-8 invalide"},  // above U+10FFFF
      {"\xEF\xBB\xBF"
       "A\n\xF5",
       2, 1, "texte UTF-8 invalide"},
      {"\xE2\x86\x92"
       "A\nDo",
       2, 1,
       "Do (F7 0A) : l'octet 0x0A termine la ligne que le menu 2 envoie : le programme "
       "partirait coupe"},
      {"A\\x0A", 1, 2, "\\x0A (0A) : l'octet 0x0A termine la ligne"},
  };
  for (const Case& c : cases) {
    std::string bytes;
    TextError error;
    EXPECT_FALSE(TextToBytes(c.text, &bytes, &error, "\n")) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text;
    EXPECT_EQ(error.column, c.column) << c.text;
    EXPECT_EQ(error.message.compare(0, c.message.size(), c.message), 0) << error.message;
  }
  std::string bytes;
  TextError error;
  EXPECT_FALSE(TextToBytes("\\ClrList", &bytes, &error, std::string("\n\x1A", 2)));
  EXPECT_TRUE(Has(error.message, "ClrList"));  // the Windows build refuses 0x1A too
  EXPECT_TRUE(TextToBytes("\\ClrList", &bytes, &error, "\n"));
}

// The table's rows as the data file writes them, read here without the
// program's reader: "\\" is a backslash, "\t" a tab.
std::vector<Token> RowsOfTheDataFile() {
  std::ifstream in(LIAISON_SOURCE_DIR "/src/text/graph35-tokens.tsv", std::ios::binary);
  std::vector<Token> rows;
  std::string line;
  auto unescape = [](const std::string& field) {
    std::string plain;
    for (size_t i = 0; i < field.size(); ++i) {
      if (field[i] == '\\' && i + 1 < field.size()) {
        char next = field[++i];
        plain += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
      } else {
        plain += field[i];
      }
    }
    return plain;
  };
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.compare(0, 5, "code\t") == 0) continue;
    std::vector<std::string> fields;
    std::stringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    Token row;
    for (size_t i = 0; i + 1 < fields[0].size(); i += 2)
      row.code += static_cast<char>(std::stoi(fields[0].substr(i, 2), nullptr, 16));
    row.text = fields.size() > 1 ? unescape(fields[1]) : "";
    row.ascii = fields.size() > 2 ? unescape(fields[2]) : "";
    rows.push_back(row);
  }
  return rows;
}

// A two-byte token whose second byte is a quote (F7 22 DrawDyna), a line end
// (F7 0D Break), a backslash or a letter must not be taken for that byte:
// the keyword after it stays a keyword, both ways.
TEST(ProgramText, KeywordAfterATwoByteToken) {
  const std::string ifA = std::string("\xF7\x00", 2) + "A";
  int checked = 0;
  for (const Token& row : RowsOfTheDataFile()) {
    if (row.code.size() != 2) continue;
    unsigned char second = static_cast<unsigned char>(row.code[1]);
    if (second != 0x22 && second != 0x0D && second != 0x5C && !std::isalpha(second)) continue;
    const std::string bytes = row.code + ":" + ifA;
    if (!row.ascii.empty()) {
      EXPECT_EQ(Read(row.ascii + ":\\If A"), bytes) << row.ascii;
      EXPECT_EQ(BytesToText(bytes, Spelling::Ascii), row.ascii + ":\\If A\n") << row.ascii;
    }
    if (!row.text.empty()) {
      EXPECT_EQ(Read(row.text + ":If A"), bytes) << row.text;
      EXPECT_EQ(BytesToText(bytes, Spelling::Calculator), row.text + ":If A\n") << row.text;
    }
    ++checked;
  }
  EXPECT_GT(checked, 80);
  EXPECT_EQ(Read("DrawDyna:If A"), std::string("\xF7\x22:\xF7\x00"
                                               "A",
                                               6));
  EXPECT_EQ(BytesToText(std::string("\xF7\x0D:\xF7\x00"
                                    "A",
                                    6),
                        Spelling::Ascii),
            "\\Break:\\If A\n");
}

}  // namespace
