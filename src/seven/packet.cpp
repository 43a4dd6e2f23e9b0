#include "seven/packet.h"

namespace seven {

namespace {

const char kDigits[] = "0123456789ABCDEF";

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case too: a calculator writes upper case
}

// The two's complement of the sum of every byte after the type.
unsigned Checksum(const std::string& bytes, size_t from, size_t to) {
  unsigned sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<unsigned char>(bytes[i]);
  return (0x100 - (sum & 0xFF)) & 0xFF;
}

bool KnownType(unsigned char type) {
  switch (type) {
    case kCommand:
    case kData:
    case kRoleswap:
    case kCheck:
    case kAck:
    case kNak:
    case kTerminate:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string Hex(unsigned long value, int width) {
  std::string text(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

bool ReadHex(const std::string& text, size_t at, int width, unsigned long* value) {
  if (at + static_cast<size_t>(width) > text.size()) return false;
  unsigned long v = 0;
  for (int i = 0; i < width; ++i) {
    int d = Digit(text[at + i]);
    if (d < 0) return false;
    v = v << 4 | static_cast<unsigned long>(d);
  }
  *value = v;
  return true;
}

std::string Escape(const std::string& raw) {
  std::string out;
  out.reserve(raw.size() + raw.size() / 4);
  for (char c : raw) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20) {
      out += '\x5C';
      out += static_cast<char>(b + 0x20);
    } else if (b == 0x5C) {
      out += "\x5C\x5C";
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(const std::string& escaped, std::string* raw) {
  raw->clear();
  raw->reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\x5C') {
      *raw += escaped[i];
      continue;
    }
    if (++i == escaped.size()) return false;
    unsigned char b = static_cast<unsigned char>(escaped[i]);
    *raw += b == 0x5C ? '\x5C' : static_cast<char>(b - 0x20);
  }
  return true;
}

std::string Encode(const Packet& packet) {
  std::string bytes(1, static_cast<char>(packet.type));
  bytes += Hex(static_cast<unsigned long>(packet.subtype), 2);
  bytes += packet.extended ? '1' : '0';
  if (packet.extended) {
    std::string data = Escape(packet.data);
    bytes += Hex(data.size(), 4) + data;
  }
  return bytes + Hex(Checksum(bytes, 1, bytes.size()), 2);
}

Packet Basic(unsigned char type, int subtype) {
  Packet packet;
  packet.type = type;
  packet.subtype = subtype;
  return packet;
}

Packet Extended(unsigned char type, int subtype, const std::string& data) {
  Packet packet = Basic(type, subtype);
  packet.extended = true;
  packet.data = data;
  return packet;
}

Cut CutPacket(const std::string& bytes, size_t* length, Packet* packet) {
  *length = 6;
  if (bytes.empty()) return Cut::More;
  if (!KnownType(static_cast<unsigned char>(bytes[0]))) return Cut::OutOfStep;
  unsigned long subtype = 0, size = 0;
  if (bytes.size() >= 3 && !ReadHex(bytes, 1, 2, &subtype)) return Cut::OutOfStep;
  if (bytes.size() >= 4 && bytes[3] != '0' && bytes[3] != '1') return Cut::OutOfStep;
  bool extended = bytes.size() >= 4 && bytes[3] == '1';
  if (extended) {
    *length = 8;
    if (bytes.size() < 8) return Cut::More;
    if (!ReadHex(bytes, 4, 4, &size) || size == 0 || size > kMaxDataSize) return Cut::OutOfStep;
    *length = 10 + size;
  }
  if (bytes.size() < *length) return Cut::More;
  unsigned long sum = 0;
  if (!ReadHex(bytes, *length - 2, 2, &sum)) return Cut::OutOfStep;
  std::string data;
  if (sum != Checksum(bytes, 1, *length - 2) ||
      (extended && !Unescape(bytes.substr(8, size), &data)))
    return Cut::Corrupt;
  packet->type = static_cast<unsigned char>(bytes[0]);
  packet->subtype = static_cast<int>(subtype);
  packet->extended = extended;
  packet->data = data;
  return Cut::Whole;
}

}  // namespace seven
