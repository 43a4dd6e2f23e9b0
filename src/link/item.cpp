#include "link/item.h"

#include <cstring>

#include "link/link.h"

namespace {

bool FormatIs(const unsigned char* header, const char* format) {
  return std::memcmp(header + HEADER_FORMAT, format, 4) == 0;
}

bool TypeIs(const Bytes& header, const char* type) {
  return header[HEADER_TYPE] == type[0] && header[HEADER_TYPE + 1] == type[1];
}

const char* const kFormats50[] = {"END\xFF", "FNC", "IMG", "MEM", "REQ", "TXT", "VAL"};

long long Big16(const Bytes& header, int at) {
  return header[at] * 256LL + header[at + 1];
}

}  // namespace

int HeaderLength(const unsigned char* start) {
  // The literals hold their format's \0 as their end, so 4 bytes compare.
  for (const char* format : kFormats50)
    if (FormatIs(start, format)) return HEADER_SIZE;
  return SCREEN_HEADER_SIZE;
}

Kind KindOf(const Bytes& header) {
  if (header.size() == SCREEN_HEADER_SIZE) {
    if (header[1] == 'D' && header[2] == 'D') return Kind::Screen;
    if (header[1] == 'D' && header[2] == 'C') return Kind::ColourScreen;
    return Kind::Other40;
  }
  const unsigned char* h = header.data();
  if (FormatIs(h, "END\xFF")) return Kind::End;
  if (FormatIs(h, "TXT") && TypeIs(header, "PG")) return Kind::Program;
  if (FormatIs(h, "VAL") && TypeIs(header, "LT")) return Kind::List;
  if (FormatIs(h, "VAL") && TypeIs(header, "MT")) return Kind::Matrix;
  if (FormatIs(h, "VAL") && TypeIs(header, "VM")) return Kind::Variable;
  if (FormatIs(h, "IMG") && TypeIs(header, "PC")) return Kind::Picture;
  if (FormatIs(h, "MEM") && TypeIs(header, "BU")) return Kind::Backup;
  if (FormatIs(h, "FNC")) return Kind::Function;
  if (FormatIs(h, "REQ")) return Kind::Request;
  return Kind::Other50;
}

bool PartsOf(const Bytes& header, PartRule* rule) {
  *rule = PartRule{};
  if (header.size() == SCREEN_HEADER_SIZE) {
    Kind kind = KindOf(header);
    long long height = header[3], width = header[4];
    if (kind == Kind::Other40 || height == 0 || width == 0) return false;
    long long bits = (width + 7) / 8 * height;
    rule->count = kind == Kind::Screen ? 1 : 3;
    rule->length = kind == Kind::Screen ? bits : 1 + bits;
    rule->colourSheets = kind == Kind::ColourScreen;
    return true;
  }
  if (FormatIs(header.data(), "END\xFF")) return true;
  if (FormatIs(header.data(), "VAL")) {
    long long height = Big16(header, HEADER_SIZE_FIELD),
              width = Big16(header, HEADER_SIZE_FIELD + 2);
    rule->count = height * (width == 0 ? 1 : width);
    rule->length = 14;  // row, column, and a 10-byte number
    return true;
  }
  long long size = static_cast<long long>(SizeField(header));
  if (size > 2) {
    rule->count = 1;
    rule->length = size - 2;
  }
  return true;
}

long long PartBytes(const PartRule& rule) {
  return rule.count * (rule.length + 2);
}

bool BlockIsSound(const Bytes& block) {
  return !block.empty() && block[0] == BLOCK_START &&
         checksum8bit(sumtable8bit(block.data(), static_cast<int>(block.size())));
}

bool PartIsSound(const Bytes& part, const PartRule& rule) {
  if (static_cast<long long>(part.size()) != rule.length + 2) return false;
  if (BlockIsSound(part)) return true;
  if (!rule.colourSheets || part.size() < 3) return false;
  // Some calculators leave the colour byte out of a sheet's checksum.
  return part[0] == BLOCK_START &&
         checksum8bit(sumtable8bit(part.data(), static_cast<int>(part.size())) - part[1]);
}

unsigned long SizeField(const Bytes& header) {
  unsigned long size = 0;
  for (int i = 0; i < 4; ++i) size = size << 8 | header[HEADER_SIZE_FIELD + i];
  return size;
}

void SetSizeField(unsigned char* header, unsigned long size) {
  for (int i = 3; i >= 0; --i, size >>= 8)
    header[HEADER_SIZE_FIELD + i] = static_cast<unsigned char>(size & 0xFF);
}

namespace {

// A field of a 50-byte header up to its 0xFF filler.
std::string FieldOf(const Bytes& header, int at) {
  std::string field;
  if (header.size() != HEADER_SIZE) return field;
  for (int i = 0; i < NAME_LENGTH && header[at + i] != 0xFF; ++i)
    field += static_cast<char>(header[at + i]);
  return field;
}

}  // namespace

std::string ItemName(const Bytes& header) {
  return FieldOf(header, HEADER_NAME);
}

std::string ItemPassword(const Bytes& header) {
  return FieldOf(header, HEADER_PASSWORD);
}

Bytes ItemBytes(const Item& item) {
  Bytes bytes(item.header);
  for (const Bytes& part : item.parts) bytes.insert(bytes.end(), part.begin(), part.end());
  return bytes;
}

Item ProgramItem(const std::string& name, const Bytes& program, const std::string& password) {
  Item item;
  item.header.assign(HEADER_SIZE, 0);
  unsigned char* h = item.header.data();
  InitHeader_Programme(h, "");
  for (size_t i = 0; i < name.size() && i < NAME_LENGTH; ++i)  // any byte, 0x00 too
    h[HEADER_NAME + i] = static_cast<unsigned char>(name[i]);
  SetSizeField(h, static_cast<unsigned long>(program.size() + 3));
  for (size_t i = 0; i < password.size() && i < NAME_LENGTH; ++i)
    h[HEADER_PASSWORD + i] = static_cast<unsigned char>(password[i]);
  SealBlock(h, HEADER_SIZE);
  Bytes part{BLOCK_START};
  part.insert(part.end(), program.begin(), program.end());
  part.push_back(0xFF);
  part.push_back(0);
  SealBlock(part.data(), static_cast<int>(part.size()));
  item.parts.push_back(part);
  return item;
}

Item EndItem() {
  Item item;
  item.header.assign(HEADER_SIZE, 0);
  InitHeader_End(item.header.data());
  return item;
}
