#include "text/tokens.h"

#include <array>
#include <cstdlib>

extern const char k_graph35_table[];
extern const char k_fx9860_table[];

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
    if (f.size() >= 5) token.graph35 = f[4];
    tokens.push_back(token);
  }
  return tokens;
}

size_t IndexOf(Table table) {
  return table == Table::Graph35 ? 0 : 1;
}

// Each table's rows by code, and its lead bytes.
struct Index {
  std::vector<const Token*> byCode = std::vector<const Token*>(0x10000, nullptr);
  std::array<bool, 256> leads{};
  explicit Index(const std::vector<Token>& tokens) {
    for (const Token& t : tokens) {
      if (!byCode[CodeKey(t.code)]) byCode[CodeKey(t.code)] = &t;
      if (t.code.size() == 2) leads[static_cast<unsigned char>(t.code[0])] = true;
    }
  }
};

const Index& IndexFor(Table table) {
  static const std::array<Index, 2> indexes = {Index(Tokens(Table::Graph35)),
                                               Index(Tokens(Table::Fx9860))};
  return indexes[IndexOf(table)];
}

}  // namespace

const std::vector<Token>& Tokens(Table table) {
  static const std::array<std::vector<Token>, 2> tables = {Parse(k_graph35_table),
                                                           Parse(k_fx9860_table)};
  return tables[IndexOf(table)];
}

bool LeadsTwoBytes(Table table, unsigned char byte) {
  return IndexFor(table).leads[byte];
}

int CodeKey(const std::string& code) {
  int key = static_cast<unsigned char>(code[0]);
  return code.size() == 1 ? key : key << 8 | static_cast<unsigned char>(code[1]);
}

const Token* RowOf(Table table, const std::string& code) {
  if (code.empty() || code.size() > 2) return nullptr;
  return IndexFor(table).byCode[CodeKey(code)];
}
