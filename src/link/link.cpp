#include "link/link.h"

#include <cstring>

int sumtable8bit(const unsigned char* data, int count) {
  int sum = 0;
  for (int i = 0; i < count; ++i) sum += data[i];
  return sum;
}

int create_checksum8bit(int sum) {
  return (CHECKSUM_BASE - sum % 256 + 256) % 256;
}

int checksum8bit(int sum) {
  return sum % 256 == CHECKSUM_BASE ? 1 : 0;
}

void InitHeader_Programme(unsigned char* header, const char* name) {
  static const unsigned char start[] = {0x3A, 'T', 'X', 'T', 0x00, 'P', 'G', 0x00, 0x00};
  std::memset(header, 0xFF, HEADER_SIZE);
  for (int i = 0; i < NAME_LENGTH && name[i] != '\0'; ++i)
    header[HEADER_NAME + i] = static_cast<unsigned char>(name[i]);
  std::memcpy(header, start, sizeof start);
  header[35] = 'N';
  header[36] = 'L';
}

void InitHeader_End(unsigned char* header) {
  static const unsigned char start[] = {0x3A, 'E', 'N', 'D'};
  std::memset(header, 0xFF, HEADER_SIZE);
  std::memcpy(header, start, sizeof start);
  SealBlock(header, HEADER_SIZE);
}

char SafeNameChar(unsigned char c, bool first) {
  bool unsafe = c == 0xFF || c == '/' || c == '\\' || c < 0x20 || c == 0x7F || (first && c == '.');
  return unsafe ? '_' : static_cast<char>(c);
}

bool IsProgramHeader(const unsigned char* header) {
  return header[1] == 'T' && header[2] == 'X' && header[3] == 'T';
}

int AnnouncedBlockLength(const unsigned char* header) {
  return header[HEADER_SIZE_HIGH] * 256 + header[HEADER_SIZE_HIGH + 1];
}

void SetBlockLength(unsigned char* header, int blockLength) {
  header[HEADER_SIZE_HIGH] = static_cast<unsigned char>((blockLength >> 8) & 0xFF);
  header[HEADER_SIZE_HIGH + 1] = static_cast<unsigned char>(blockLength & 0xFF);
}

void SealBlock(unsigned char* block, int length) {
  block[length - 1] =
      static_cast<unsigned char>(create_checksum8bit(sumtable8bit(block, length - 1)));
}
