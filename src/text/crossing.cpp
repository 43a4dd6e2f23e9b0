#include "text/crossing.h"

#include "text/program_text.h"

namespace {

const std::string kLegacyMin("\x7F\x2D", 2), kFxMin("\x7F\x99", 2), kRange("\xEB", 1);

size_t Characters(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

// The fx-9860G table says, code by code, whether the Graph 35/65 has the
// same one: that column decides both ways, but for the two codes that moved
// or were renamed.
bool SameOnBoth(const std::string& code) {
  const Token* row = RowOf(Table::Fx9860, code);
  return row && row->graph35 == "same";
}

// `movedTo`: the other side's code for `moved`, the one code that moved.
Crossing Cross(const std::string& bytes, Table from, const std::string& moved,
               const std::string& movedTo) {
  Crossing crossing;
  crossing.bytes.reserve(bytes.size());
  for (const CodePlace& place : CodesOf(bytes, from)) {
    if (place.code == moved) {
      crossing.bytes += movedTo;
    } else if (place.code == kRange) {
      crossing.bytes += place.code;
      crossing.uncertain.push_back(place);
    } else if (SameOnBoth(place.code)) {
      crossing.bytes += place.code;
    } else {
      crossing.refused.push_back(place);
    }
  }
  return crossing;
}

}  // namespace

std::vector<CodePlace> CodesOf(const std::string& bytes, Table table) {
  std::vector<CodePlace> places;
  int line = 1, column = 1;
  for (size_t i = 0; i < bytes.size();) {
    size_t length =
        LeadsTwoBytes(table, static_cast<unsigned char>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
    CodePlace place;
    place.code = bytes.substr(i, length);
    const Token* row = RowOf(table, place.code);
    place.text = !row                  ? HexEscapes(place.code)
                 : !row->text.empty()  ? row->text
                 : !row->ascii.empty() ? row->ascii
                                       : HexEscapes(place.code);
    place.line = line;
    place.column = column;
    places.push_back(place);
    if (place.code == "\r") {
      ++line;
      column = 1;
    } else {
      column += static_cast<int>(Characters(place.text));
    }
    i += length;
  }
  return places;
}

Crossing ToFx9860(const std::string& legacy) {
  return Cross(legacy, Table::Graph35, kLegacyMin, kFxMin);
}

Crossing ToGraph35(const std::string& fx9860) {
  return Cross(fx9860, Table::Fx9860, kFxMin, kLegacyMin);
}
