// Protocol 7.00's packets, as they cross the line: a type byte, a two-digit
// subtype, and for an extended packet its data, 0x5C-escaped, with its
// length; a checksum over everything after the type. Pure: no port.
#pragma once

#include <string>

namespace seven {

enum Type : unsigned char {
  kCommand = 0x01,
  kData = 0x02,
  kRoleswap = 0x03,
  kCheck = 0x05,
  kAck = 0x06,
  kNak = 0x15,
  kTerminate = 0x18,
};

// ACK subtypes: plain, "yes, overwrite", device information, "and the link ends".
constexpr int kAckPlain = 0x00, kAckOverwrite = 0x01, kAckDevice = 0x02, kAckEnd = 0x03;
// NAK subtypes: error, "send it again", "the file exists", "do not overwrite",
// error that ends the link, memory full.
constexpr int kNakError = 0x00, kNakResend = 0x01, kNakExists = 0x02, kNakNoOverwrite = 0x03,
              kNakEnds = 0x04, kNakFull = 0x05;

struct Packet {
  unsigned char type = 0;
  int subtype = 0;
  bool extended = false;
  std::string data;  // unescaped
  bool Is(unsigned char t, int sub) const { return type == t && subtype == sub; }
};

// A number as `width` upper-case hexadecimal digits.
std::string Hex(unsigned long value, int width);
// `width` hexadecimal digits (upper case only) at `text`; false otherwise.
bool ReadHex(const std::string& text, size_t at, int width, unsigned long* value);

// Bytes 00-1F as 5C and the byte + 20, 5C as 5C 5C, the others as they are.
std::string Escape(const std::string& raw);
// False for a 5C that ends the bytes.
bool Unescape(const std::string& escaped, std::string* raw);

// The packet's bytes on the line.
std::string Encode(const Packet& packet);
Packet Basic(unsigned char type, int subtype);
Packet Extended(unsigned char type, int subtype, const std::string& data);

// What the first bytes of a packet tell.
enum class Cut {
  More,       // not enough bytes yet: `*length` is how many in all, so far as known
  Whole,      // a whole sound packet of `*length` bytes, in `*packet`
  OutOfStep,  // the bytes are no packet's start (the type, a digit, a size)
  Corrupt,    // a whole packet of `*length` bytes whose checksum is wrong
};
// Reads a packet at the start of `bytes` (leading 0x10 bytes already dropped).
Cut CutPacket(const std::string& bytes, size_t* length, Packet* packet);

// The largest data field a packet may announce (as sent, escaped).
constexpr unsigned long kMaxDataSize = 2056;

}  // namespace seven
