#include "text/tokens.h"

#include <cstdlib>

extern const char kTokenTable[];

namespace {

// The table writes a backslash, tab, line feed and carriage return as \\, \t, \n, \r.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    char c = field[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

std::vector<Token> Parse(const char* table) {
  std::vector<Token> tokens;
  const std::string all = table;
  for (size_t start = 0, end; start < all.size(); start = end + 1) {
    end = all.find('\n', start);
    if (end == std::string::npos) end = all.size();
    const std::string line = all.substr(start, end - start);
    std::vector<std::string> f = Fields(line);
    if (line.empty() || line[0] == '#' || f.size() < 3 || f[0] == "code") continue;
    Token token;
    for (size_t i = 0; i + 1 < f[0].size(); i += 2)
      token.code += static_cast<char>(std::strtol(f[0].substr(i, 2).c_str(), nullptr, 16));
    token.text = Unescape(f[1]);
    token.ascii = Unescape(f[2]);
    tokens.push_back(token);
  }
  return tokens;
}

}  // namespace

const std::vector<Token>& Tokens() {
  static const std::vector<Token> tokens = Parse(kTokenTable);
  return tokens;
}
