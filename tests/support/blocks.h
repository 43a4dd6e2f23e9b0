// The calculator's blocks as tests write them: bytes, headers, data blocks,
// and the worked example (name "ABC", content ":abc") in hexadecimal.
#pragma once

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A program header (or, with another type, a header of that type) announcing
// a content of `contentLength` bytes, with a sound checksum.
Bytes ProgramHeader(const char* name, int contentLength, const char* type = "TXT");
// The content, 0xFF and the checksum.
Bytes DataBlock(const std::string& content);
// Whole items as a calculator sends them (header and parts), made here from
// the layouts, so that an archive in a test never comes from the code it
// tests. `Sealed` appends the checksum that makes a block sound.
Bytes Sealed(Bytes block);
Bytes Header50(const std::string& format, const std::string& type, unsigned long sizeField,
               const std::string& name, const std::string& password = "");
Bytes ProgramItemBytes(const std::string& name, const std::string& program,
                       const std::string& password = "");
Bytes ListItemBytes(const std::string& name, int values);
Bytes MatrixItemBytes(const std::string& name, int rows, int columns);
Bytes BackupItemBytes(int size);
Bytes Join(const std::vector<Bytes>& pieces);
// A screen capture (40-byte header, then its parts) of pictures given as rows
// of '#' (dark) and ' ': one picture monochrome, three the colour sheets,
// with their colour codes; `outOfSum`: sheet checksums without the colour.
using Picture = std::vector<std::string>;
Bytes CaptureBytes(const std::vector<Picture>& sheets, const std::vector<int>& colours = {},
                   bool outOfSum = false);
Bytes Slice(const Bytes& bytes, size_t from, size_t to);
Bytes Hex(const std::string& spaced);  // "16 3A FF" → bytes

// The worked example's program header, as the console dumps it ("%02X ").
extern const char kWorkedHeaderHex[];
// What envoyer sends first to find the calculator's protocol, when a Graph
// 35/65 answers at once: Protocol 7.00's initial check, then 0x16.
extern const char kGuessHex[];
// The end header, always the same 50 bytes.
extern const char kEndHeaderHex[];

// Main-memory archives (.g1m) made from their layout here: a file of group,
// directory, name, type and content; one group header for each run of files
// of the same group.
struct G1mEntry {
  std::string group, directory, name;
  int type;
  std::string content;
};
std::string G1mBytes(const std::vector<G1mEntry>& files);
// A program's content: the password (00-padded to 8), 00 00, the program.
std::string G1mProgramContent(const std::string& program, const std::string& password = "");
G1mEntry G1mProgram(const std::string& name, const std::string& program,
                    const std::string& password = "");
// The worked example: DEMO, 20 bytes, no password, in a 106-byte archive.
extern const char kDemoG1mHex[];
extern const char kDemoProgramHex[];

// A packet of the screen a calculator streams (Projector mode): its type
// byte and five letters, the payload, the checksum of all but the type byte.
std::string StreamPacket(const std::string& head, const std::string& payload);
