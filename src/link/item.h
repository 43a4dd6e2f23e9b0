// The items of a transmission: a header, and the data parts it announces.
// No length travels on the line: the header alone tells how many parts follow
// and how long each is, for every kind of item, known or not.
#pragma once

#include <string>
#include <vector>

constexpr unsigned char CODE_REFUSED = 0x24;  // receiver: unknown type, or too large
constexpr unsigned char CODE_INVALID = 0x51;  // receiver: the header is wrong otherwise
constexpr unsigned char BLOCK_START = 0x3A;   // ':' opens every header and every part
constexpr int SCREEN_HEADER_SIZE = 40;        // screen captures, and the older generation
constexpr int HEADER_FORMAT = 1;              // 4 bytes: "TXT\0", "VAL\0", ... "END\xFF"
constexpr int HEADER_TYPE = 5;                // 2 bytes within the format: "PG", "LT", ...
constexpr int HEADER_SIZE_FIELD = 7;          // 4 bytes, big-endian; VAL: height, width

using Bytes = std::vector<unsigned char>;

struct Item {
  Bytes header;              // 50 or 40 bytes, its 0x3A and checksum included
  std::vector<Bytes> parts;  // each with its 0x3A and checksum
};

// A header's length from its first five bytes (0x3A and the format): 50 for
// the formats of the Graph 35/65, 40 for anything else.
int HeaderLength(const unsigned char* start);

enum class Kind {
  Program,
  List,
  Matrix,
  Variable,
  Picture,
  Backup,
  Function,
  Request,
  End,
  Screen,
  ColourScreen,
  Other50,
  Other40
};
Kind KindOf(const Bytes& header);

// What follows a header: `count` parts of `length` bytes each between the
// 0x3A and the checksum. Colour sheets may leave their first byte out of
// their checksum.
struct PartRule {
  long long count = 0;
  long long length = 0;
  bool colourSheets = false;
};
// False for a header whose parts cannot be known: a 40-byte header of
// another kind, or a screen of no width or no height.
bool PartsOf(const Bytes& header, PartRule* rule);
// The bytes of all the parts together, each with its 0x3A and checksum.
long long PartBytes(const PartRule& rule);

bool BlockIsSound(const Bytes& block);
// A part as the rule wants it: the 0x3A, the checksum (for colour sheets,
// with or without the colour byte), the length.
bool PartIsSound(const Bytes& part, const PartRule& rule);

unsigned long SizeField(const Bytes& header);
void SetSizeField(unsigned char* header, unsigned long size);
// The name field up to its 0xFF filler (no name for a 40-byte header).
std::string ItemName(const Bytes& header);
// A program's password field likewise: empty for none.
std::string ItemPassword(const Bytes& header);
// The header, then every part: the item as an archive keeps it.
Bytes ItemBytes(const Item& item);

// A program as the calculator sends it: the header (type TXT PG, size =
// program bytes + 3, option NL, no password unless one is given) and the one
// part holding the program's bytes and 0xFF.
Item ProgramItem(const std::string& name, const Bytes& program, const std::string& password = "");
Item EndItem();
