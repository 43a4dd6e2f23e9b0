#include "blocks.h"

#include <cstdio>

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

Bytes Sealed(Bytes block) {
  int sum = 0;
  for (unsigned char b : block) sum += b;
  block.push_back(static_cast<unsigned char>((0x3A - sum % 256 + 256) % 256));
  return block;
}

// 0x3A, format (4), type (2), size (4, big-endian), name (8), 8 × FF,
// password (8 × FF), "NL", 12 × FF, checksum.
Bytes Header50(const std::string& format, const std::string& type, unsigned long sizeField,
               const std::string& name, const std::string& password) {
  Bytes h(49, 0xFF);
  h[0] = 0x3A;
  for (size_t i = 0; i < 4; ++i) h[1 + i] = i < format.size() ? format[i] : 0;
  h[5] = type[0];
  h[6] = type[1];
  for (int i = 0; i < 4; ++i) h[7 + i] = (sizeField >> (24 - 8 * i)) & 0xFF;
  for (size_t i = 0; i < name.size() && i < 8; ++i) h[11 + i] = name[i];
  for (size_t i = 0; i < password.size() && i < 8; ++i) h[27 + i] = password[i];
  h[35] = 'N';
  h[36] = 'L';
  return Sealed(h);
}

Bytes ProgramItemBytes(const std::string& name, const std::string& program,
                       const std::string& password) {
  Bytes part = {0x3A};
  part.insert(part.end(), program.begin(), program.end());
  part.push_back(0xFF);
  return Join({Header50("TXT", "PG", program.size() + 3, name, password), Sealed(part)});
}

// A VAL header holds its height and width where others hold the size; each
// cell is a part: row, column, and a number of 10 bytes.
static Bytes Cells(const std::string& type, const std::string& name, int rows, int columns) {
  Bytes item = Header50("VAL", type, static_cast<unsigned long>(rows) << 16 | columns, name);
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= (columns ? columns : 1); ++c) {
      Bytes cell = {0x3A,
                    0,
                    static_cast<unsigned char>(r),
                    0,
                    static_cast<unsigned char>(c),
                    static_cast<unsigned char>(0x10 + r),
                    static_cast<unsigned char>(c << 4),
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    static_cast<unsigned char>(r == 2 ? 0x50 : 0),
                    0x01};
      Bytes part = Sealed(cell);
      item.insert(item.end(), part.begin(), part.end());
    }
  }
  return item;
}

Bytes ListItemBytes(const std::string& name, int values) {
  return Cells("LT", name, values, 1);
}

Bytes MatrixItemBytes(const std::string& name, int rows, int columns) {
  return Cells("MT", name, rows, columns);
}

Bytes BackupItemBytes(int size) {
  Bytes part = {0x3A};
  for (int i = 0; i < size; ++i) part.push_back(static_cast<unsigned char>(i * 7));
  return Join({Header50("MEM", "BU", size + 2, "BACKUP"), Sealed(part)});
}

Bytes Join(const std::vector<Bytes>& pieces) {
  Bytes all;
  for (const Bytes& piece : pieces) all.insert(all.end(), piece.begin(), piece.end());
  return all;
}

// The pixel (x, y) is bit 0x80 >> (x mod 8) of byte ((w - 1 - x) div 8) * h + y;
// colour sheets are upside down.
Bytes CaptureBytes(const std::vector<Picture>& sheets, const std::vector<int>& colours,
                   bool outOfSum) {
  int h = static_cast<int>(sheets[0].size()), w = static_cast<int>(sheets[0][0].size());
  bool colour = sheets.size() == 3;
  Bytes header = {0x3A, 'D', static_cast<unsigned char>(colour ? 'C' : 'D'),
                  static_cast<unsigned char>(h), static_cast<unsigned char>(w)};
  Bytes kind = colour ? Bytes{0x11, 0x55, 0x57, 0x46, 0x03} : Bytes{0x10, 0x44, 0x57, 0x46};
  header.insert(header.end(), kind.begin(), kind.end());
  header.resize(39, 0);
  Bytes all = Sealed(header);
  for (size_t s = 0; s < sheets.size(); ++s) {
    Bytes part = {0x3A};
    if (colour) part.push_back(static_cast<unsigned char>(colours[s]));
    size_t bits = part.size();
    part.resize(bits + static_cast<size_t>((w + 7) / 8 * h), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (sheets[s][static_cast<size_t>(y)][static_cast<size_t>(x)] == '#')
          part[bits + static_cast<size_t>((w - 1 - x) / 8 * h + (colour ? h - 1 - y : y))] |=
              static_cast<unsigned char>(0x80 >> (x % 8));
    Bytes sealed = Sealed(part);
    if (colour && outOfSum) sealed.back() = static_cast<unsigned char>(sealed.back() + colours[s]);
    all.insert(all.end(), sealed.begin(), sealed.end());
  }
  return all;
}

namespace {

void Put(std::string* out, unsigned long value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>(value >> (8 * i)));
}

std::string Padded(const std::string& text, size_t length) {
  std::string field = text;
  field.resize(length, '\0');
  return field;
}

}  // namespace

std::string G1mBytes(const std::vector<G1mEntry>& files) {
  std::string body;
  for (size_t i = 0; i < files.size();) {
    size_t run = i;
    while (run < files.size() && files[run].group == files[i].group) ++run;
    body += Padded(files[i].group, 16);
    Put(&body, run - i, 4);
    for (; i < run; ++i) {
      body += Padded(files[i].directory, 8) + Padded(files[i].name, 8);
      body.push_back(static_cast<char>(files[i].type));
      Put(&body, files[i].content.size(), 4);
      body += std::string(3, '\0') + files[i].content;
    }
  }
  unsigned long size = 32 + body.size();
  std::string header = std::string("USBPower\x62\x00\x10\x00\x10\x00", 14);
  header.push_back(static_cast<char>(size + 0x41));
  header.push_back('\0');
  Put(&header, size, 4);
  header.push_back(static_cast<char>(size + 0xB8));
  header += std::string(9, '\0');
  Put(&header, files.size(), 2);
  for (char& c : header) c = static_cast<char>(~c);
  return header + body;
}

std::string G1mProgramContent(const std::string& program, const std::string& password) {
  return Padded(password, 10) + program;
}

G1mEntry G1mProgram(const std::string& name, const std::string& program,
                    const std::string& password) {
  return {"PROGRAM", "system", name, 1, G1mProgramContent(program, password)};
}

const char kDemoG1mHex[] =
    "AA AC BD AF 90 88 9A 8D 9D FF EF FF EF FF 54 FF "
    "FF FF FF 95 DD FF FF FF FF FF FF FF FF FF FF FE "
    "50 52 4F 47 52 41 4D 00 00 00 00 00 00 00 00 00 "
    "00 00 00 01 73 79 73 74 65 6D 00 00 44 45 4D 4F "
    "00 00 00 00 01 00 00 00 1E 00 00 00 00 00 00 00 "
    "00 00 00 00 00 00 22 48 45 4C 4C 4F 22 0D 3F 0E "
    "41 0D 41 A9 41 0E 42 0D 42 0C";
const char kDemoProgramHex[] = "22 48 45 4C 4C 4F 22 0D 3F 0E 41 0D 41 A9 41 0E 42 0D 42 0C";

const char kGuessHex[] = "05 30 30 30 37 30 16";

std::string StreamPacket(const std::string& head, const std::string& payload) {
  std::string bytes = head + payload;
  unsigned sum = 0;
  for (size_t i = 1; i < bytes.size(); ++i) sum += static_cast<unsigned char>(bytes[i]);
  char cs[3];
  std::snprintf(cs, sizeof cs, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return bytes + cs;
}
