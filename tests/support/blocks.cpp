#include "blocks.h"

#include <sstream>

#include "link/link.h"

const char kWorkedHeaderHex[] =
    "3A 54 58 54 00 50 47 00 00 00 06 41 42 43 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
    "FF FF FF FF 4E 4C FF FF FF FF FF FF FF FF FF FF FF FF 24 ";
const char kEndHeaderHex[] =
    "3A 45 4E 44 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF "
    "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 56";

Bytes ProgramHeader(const char* name, int contentLength, const char* type) {
  unsigned char header[HEADER_SIZE];
  InitHeader_Programme(header, name);
  header[1] = type[0];
  header[2] = type[1];
  header[3] = type[2];
  SetBlockLength(header, contentLength + 2);
  SealBlock(header, HEADER_SIZE);
  return Bytes(header, header + HEADER_SIZE);
}

Bytes DataBlock(const std::string& content) {
  Bytes block(content.begin(), content.end());
  block.push_back(0xFF);
  block.push_back(0);
  SealBlock(block.data(), static_cast<int>(block.size()));
  return block;
}

Bytes Slice(const Bytes& bytes, size_t from, size_t to) {
  return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

Bytes Hex(const std::string& spaced) {
  std::istringstream in(spaced);
  Bytes bytes;
  std::string hex;
  while (in >> hex) bytes.push_back(static_cast<unsigned char>(std::stoi(hex, nullptr, 16)));
  return bytes;
}
