#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/link.h"
#include "support/blocks.h"

namespace {

Bytes AsBytes(const unsigned char* data, int count) {
  return Bytes(data, data + count);
}

TEST(Checksum, Helpers) {
  struct Case {
    int sum, created, sound;
  };
  const Case cases[] = {
      {0, 0x3A, 0}, {0x3A, 0x00, 1}, {0x13A, 0x00, 1}, {0x3B, 0xFF, 0}, {49 * 0xFF, 0x6B, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(create_checksum8bit(c.sum), c.created) << c.sum;
    EXPECT_EQ(checksum8bit(c.sum), c.sound) << c.sum;
  }
}

TEST(Checksum, SumTakesBytesAsUnsigned) {
  const unsigned char data[] = {0xFF, 0x80, 0x01};
  EXPECT_EQ(sumtable8bit(data, 3), 0x180);
  EXPECT_EQ(sumtable8bit(data, 0), 0);
  EXPECT_EQ(sumtable8bit(data, -4), 0);
}

TEST(Header, WorkedExample) {
  unsigned char header[HEADER_SIZE];
  InitHeader_Programme(header, "ABC");
  EXPECT_EQ(header[9], 0xFF);   // the size is the caller's
  EXPECT_EQ(header[49], 0xFF);  // and so is the checksum
  SetBlockLength(header, 4 + 2);
  SealBlock(header, HEADER_SIZE);

  EXPECT_EQ(AsBytes(header, HEADER_SIZE), Hex(kWorkedHeaderHex));
  EXPECT_TRUE(checksum8bit(sumtable8bit(header, HEADER_SIZE)));
  EXPECT_TRUE(IsProgramHeader(header));
  EXPECT_EQ(AnnouncedBlockLength(header), 6);

  unsigned char block[] = {':', 'a', 'b', 'c', 0xFF, 0};
  SealBlock(block, sizeof block);
  EXPECT_EQ(block[5], 0xDB);
}

TEST(Header, NameField) {
  struct Case {
    const char* name;
    Bytes field;
  };
  const Case cases[] = {
      {"", Bytes(8, 0xFF)},
      {"ABCDEFGH", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
      {"ABCDEFGHIJ", {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
      {"AB", {'A', 'B', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    unsigned char header[HEADER_SIZE];
    InitHeader_Programme(header, c.name);
    EXPECT_EQ(AsBytes(header + HEADER_NAME, 8), c.field) << c.name;
    EXPECT_EQ(header[19], 0xFF) << c.name;
  }
}

TEST(Header, EndHeaderIsAlwaysTheSame) {
  unsigned char header[HEADER_SIZE];
  std::memset(header, 0x55, sizeof header);
  InitHeader_End(header);
  EXPECT_EQ(AsBytes(header, HEADER_SIZE), Hex(kEndHeaderHex));
  EXPECT_FALSE(IsProgramHeader(header));
}

// Menu 1 takes a header as a program's by its type, the three letters "TXT".
TEST(Header, ProgramTypeIsAllThreeLetters) {
  struct Case {
    const char* type;
    bool program;
  };
  const Case cases[] = {{"TXT", true},  {"TXA", false}, {"TX\x00", false}, {"AXT", false},
                        {"TAT", false}, {"txt", false}, {"END", false},    {"VAL", false}};
  for (const Case& c : cases)
    EXPECT_EQ(IsProgramHeader(ProgramHeader("P", 3, c.type).data()), c.program) << c.type;
}

TEST(Header, SizeFieldWrapsAt16Bits) {
  unsigned char header[HEADER_SIZE];
  InitHeader_Programme(header, "X");
  SetBlockLength(header, 65536);
  EXPECT_EQ(AnnouncedBlockLength(header), 0);
  SetBlockLength(header, 65999);
  EXPECT_EQ(header[9], 0x01);
  EXPECT_EQ(header[10], 0xCF);
}

}  // namespace
