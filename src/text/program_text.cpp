#include "text/program_text.h"

#include <algorithm>
#include <functional>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "text/tokens.h"

namespace {

// Every spelling that the text may hold, in a trie, each with the code it
// stands for. Where two codes share a spelling, the ascii column decides
// (a typed "-" is the subtraction, "+" the operator), then the table's order.
// Inside a string a person types letters, not keywords: there only the
// spellings of one character, the backslash spellings and the line end count,
// so that "or" in "color" stays two letters.
class Spellings {
 public:
  explicit Spellings(Table table) {
    nodes_.emplace_back();
    for (const Token& t : Tokens(table)) Add(t.ascii, t.code);
    for (const Token& t : Tokens(table)) Add(t.text, t.code);
  }

  // No match looks further than this many bytes.
  size_t Longest() const { return longest_; }

  // The longest spelling at `at`: its length, and its code in `code`; 0 if none.
  size_t Match(const std::string& text, size_t at, size_t end, bool inString,
               std::string* code) const {
    size_t best = 0;
    int node = 0;
    for (size_t i = at; i < end; ++i) {
      node = Next(node, static_cast<unsigned char>(text[i]));
      if (node < 0) break;
      int found = inString ? nodes_[node].stringCode : nodes_[node].code;
      if (found >= 0) {
        best = i + 1 - at;
        *code = codes_[found];
      }
    }
    return best;
  }

 private:
  struct Node {
    std::vector<std::pair<unsigned char, int>> next;  // sorted by byte
    int code = -1;
    int stringCode = -1;
  };

  static bool FitsInString(const std::string& spelling, const std::string& code) {
    size_t characters = 0;
    for (unsigned char c : spelling) characters += (c & 0xC0) != 0x80;
    return characters == 1 || spelling[0] == '\\' || code == "\r";
  }

  // "10", the power of ten, would swallow the digits of every number.
  static bool IsNumber(const std::string& spelling) {
    return std::all_of(spelling.begin(), spelling.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  }

  int Next(int node, unsigned char byte) const {
    const auto& next = nodes_[node].next;
    auto it = std::lower_bound(next.begin(), next.end(), std::make_pair(byte, -1));
    return it != next.end() && it->first == byte ? it->second : -1;
  }

  // A backslash alone is no spelling: it opens an escape or a backslash spelling.
  void Add(const std::string& spelling, const std::string& code) {
    if (spelling.empty() || spelling == "\\" || (spelling.size() > 1 && IsNumber(spelling))) return;
    int node = 0;
    for (unsigned char byte : spelling) {
      int next = Next(node, byte);
      if (next < 0) {
        next = static_cast<int>(nodes_.size());
        auto& links = nodes_[node].next;
        links.insert(std::lower_bound(links.begin(), links.end(), std::make_pair(byte, -1)),
                     {byte, next});
        nodes_.emplace_back();
      }
      node = next;
    }
    longest_ = std::max(longest_, spelling.size());
    int index = static_cast<int>(codes_.size());
    codes_.push_back(code);
    if (nodes_[node].code < 0) nodes_[node].code = index;
    if (nodes_[node].stringCode < 0 && FitsInString(spelling, code))
      nodes_[node].stringCode = index;
  }

  std::vector<Node> nodes_;
  std::vector<std::string> codes_;
  size_t longest_ = 0;
};

const Spellings& AllSpellings(Table table) {
  static const Spellings graph35(Table::Graph35), fx9860(Table::Fx9860);
  return table == Table::Graph35 ? graph35 : fx9860;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The escape \xHH: any one byte. It is read before any spelling.
bool MatchEscape(const std::string& text, size_t at, size_t end, std::string* code) {
  if (at + 4 > end || text[at] != '\\' || text[at + 1] != 'x') return false;
  int high = HexDigit(text[at + 2]), low = HexDigit(text[at + 3]);
  if (high < 0 || low < 0) return false;
  *code = std::string(1, static_cast<char>(high * 16 + low));
  return true;
}

// What the text at `at` (and before `end`) stands for, as the reader takes
// it: its length and its bytes; 0 when nothing is spelled there.
size_t MatchAt(Table table, const std::string& text, size_t at, bool inString, std::string* code,
               size_t end = std::string::npos) {
  if (end > text.size()) end = text.size();
  if (MatchEscape(text, at, end, code)) return 4;
  return AllSpellings(table).Match(text, at, end, inString, code);
}

// Whether the program is inside a string, followed byte by byte as the
// calculator cuts its tokens: a lead byte of the table (0x7F, 0xF7...) leads
// a two-byte token, 0x22 opens and closes a string, 0x0D ends the line and
// any string on it.
struct StringState {
  explicit StringState(Table t) : table(t) {}
  Table table;
  bool inString = false;
  bool lead = false;
  void Feed(const std::string& bytes) { Feed(bytes.data(), bytes.size()); }
  void Feed(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      unsigned char b = static_cast<unsigned char>(bytes[i]);
      if (lead) {
        lead = false;
      } else if (LeadsTwoBytes(table, b)) {
        lead = true;
      } else if (b == 0x22) {
        inString = !inString;
      } else if (b == 0x0D) {
        inString = false;
      }
    }
  }
};

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c > 0 && c < 0x7F; });
}

// What the text of each token will be, byte by byte of the program: a token
// starts here, it stands inside a string, and which of its spellings it
// takes. One byte per byte of the program, so that a large program costs
// little more than itself.
enum Mark : std::uint8_t { kStart = 1, kInString = 2, kPickShift = 2 };
constexpr std::uint8_t kEscape = 2;  // the pick that is no spelling: \xHH

std::vector<std::uint8_t> CutTokens(const std::string& bytes, Table table) {
  std::vector<std::uint8_t> marks(bytes.size(), 0);
  StringState state(table);
  for (size_t i = 0; i < bytes.size();) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    size_t length = LeadsTwoBytes(table, b) && i + 1 < bytes.size() ? 2 : 1;
    marks[i] = kStart | (state.inString ? kInString : 0);
    state.Feed(bytes.data() + i, length);
    i += length;
  }
  return marks;
}

size_t TokenLength(const std::vector<std::uint8_t>& marks, size_t at) {
  return at + 1 < marks.size() && !(marks[at + 1] & kStart) ? 2 : 1;
}

// The spellings to try for a code, best first; at most two.
size_t Candidates(Table table, const std::string& code, Spelling spelling,
                  const std::string* out[2]) {
  static const std::string lineEnd = "\n";
  if (code == "\r") {  // 0x0D ends a line
    out[0] = &lineEnd;
    return 1;
  }
  const Token* row = RowOf(table, code);
  if (!row) return 0;
  if (spelling == Spelling::Calculator) {
    out[0] = &row->text;
    out[1] = &row->ascii;
    return 2;
  }
  size_t n = 0;
  for (const std::string* s : {&row->ascii, &row->text})
    if (IsAscii(*s)) out[n++] = s;
  return n;
}

std::string Describe(const std::string& spelling, const std::string& code) {
  std::string hex;
  char byte[4];
  for (unsigned char b : code) {
    std::snprintf(byte, sizeof byte, hex.empty() ? "%02X" : " %02X", b);
    hex += byte;
  }
  return spelling + " (" + hex + ")";
}

std::string Why(char refused) {
  return refused == '\n'
             ? "l'octet 0x0A termine la ligne que le menu 2 envoie : le programme partirait coupe"
             : "l'octet 0x1A termine le fichier que le menu 2 lit sous Windows : le programme "
               "partirait coupe";
}

// Line and column (in characters) of every place of the text, as it is read.
struct Place {
  int line = 1, column = 1;
  void Pass(const std::string& text, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c == '\n') {
        ++line;
        column = 1;
      } else if ((c & 0xC0) != 0x80) {
        ++column;
      }
    }
  }
};

// The first byte at which `text` is no UTF-8, or npos.
size_t FirstInvalidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    size_t length = ValidUtf8At(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string::npos;
}

bool Fail(TextError* error, const Place& place, const std::string& message) {
  error->line = place.line;
  error->column = place.column;
  error->message = message;
  return false;
}

}  // namespace

std::string HexEscapes(const std::string& bytes) {
  std::string out;
  char hex[8];
  for (unsigned char b : bytes) {
    std::snprintf(hex, sizeof hex, "\\x%02X", b);
    out += hex;
  }
  return out;
}

// Well-formed UTF-8 only: no overlong form (C0 80 for a NUL), no surrogate
// (ED A0 80), nothing above U+10FFFF, no continuation byte on its own.
size_t ValidUtf8At(const std::string& text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t length = c < 0x80                 ? 1
                  : c >= 0xC2 && c <= 0xDF ? 2
                  : c >= 0xE0 && c <= 0xEF ? 3
                  : c >= 0xF0 && c <= 0xF4 ? 4
                                           : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  unsigned char second = static_cast<unsigned char>(text[i + (length > 1 ? 1 : 0)]);
  if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
      (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F))
    return 0;
  return length;
}

// Decided from the end: a token's spelling is kept only if the reader, given
// the text that follows it, takes exactly that spelling back as that token.
// Then written from the start, piece by piece.
void WriteText(const std::string& bytes, Spelling spelling,
               const std::function<void(const std::string&)>& out, Table table) {
  std::vector<std::uint8_t> marks = CutTokens(bytes, table);
  const size_t lookahead = std::max<size_t>(AllSpellings(table).Longest(), 4);  // 4: an escape
  std::string after;                // the start of the text that follows the token
  std::string window, code, found;  // a spelling, then `after`
  const std::string* candidates[2];
  for (size_t i = bytes.size(); i-- > 0;) {
    if (!(marks[i] & kStart)) continue;
    code.assign(bytes, i, TokenLength(marks, i));
    size_t count = Candidates(table, code, spelling, candidates);
    std::uint8_t pick = kEscape;
    for (size_t k = 0; k < count && pick == kEscape; ++k) {
      const std::string& candidate = *candidates[k];
      if (candidate.empty()) continue;
      window.assign(candidate).append(after);
      if (MatchAt(table, window, 0, marks[i] & kInString, &found) == candidate.size() &&
          found == code)
        pick = static_cast<std::uint8_t>(k);
    }
    marks[i] |= static_cast<std::uint8_t>(pick << kPickShift);
    after.insert(0, pick == kEscape ? HexEscapes(code) : *candidates[pick]);
    if (after.size() > lookahead) after.resize(lookahead);
  }
  std::string piece;
  for (size_t i = 0; i < bytes.size(); i += TokenLength(marks, i)) {
    code.assign(bytes, i, TokenLength(marks, i));
    std::uint8_t pick = static_cast<std::uint8_t>(marks[i] >> kPickShift);
    if (pick == kEscape) {
      piece += HexEscapes(code);
    } else {
      Candidates(table, code, spelling, candidates);
      piece += *candidates[pick];
    }
    if (piece.size() >= 65536) {
      out(piece);
      piece.clear();
    }
  }
  if (!bytes.empty()) piece += '\n';
  if (!piece.empty()) out(piece);
}

std::string BytesToText(const std::string& bytes, Spelling spelling, Table table) {
  std::string text;
  WriteText(
      bytes, spelling, [&text](const std::string& piece) { text += piece; }, table);
  return text;
}

bool TextToBytes(const std::string& text, std::string* bytes, TextError* error,
                 const std::string& refused, Table table) {
  Place place;
  // A byte order mark, as Windows editors write first, is no character of
  // the program.
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  size_t bad = FirstInvalidUtf8(text);
  if (bad != std::string::npos) {
    place.Pass(text, start, bad < start ? start : bad);
    return Fail(error, place, "texte UTF-8 invalide");
  }
  size_t end = text.size();
  if (end >= start + 1 && text[end - 1] == '\n')
    end -= end >= start + 2 && text[end - 2] == '\r' ? 2 : 1;
  bytes->clear();
  StringState state(table);
  std::string code;
  for (size_t at = start; at < end;) {
    size_t length = MatchAt(table, text, at, state.inString, &code, end);
    if (length == 0) {
      size_t width = 1;
      while (at + width < end && (static_cast<unsigned char>(text[at + width]) & 0xC0) == 0x80)
        ++width;
      std::string what = text.substr(at, width);
      if (width == 1 && (static_cast<unsigned char>(what[0]) < 0x20 || what[0] == 0x7F))
        what = HexEscapes(what);  // a control character would not show
      return Fail(error, place,
                  text[at] == '\\'
                      ? "sequence d'echappement inconnue : " + text.substr(at, at + 1 < end ? 2 : 1)
                      : "caractere inconnu : " + what);
    }
    for (char r : refused)
      if (code.find(r) != std::string::npos)
        return Fail(error, place, Describe(text.substr(at, length), code) + " : " + Why(r));
    *bytes += code;
    state.Feed(code);
    place.Pass(text, at, at + length);
    at += length;
  }
  return true;
}

std::string BytesMenu2Refuses() {
#ifdef _WIN32
  return std::string("\n\x1A", 2);
#else
  return "\n";
#endif
}
