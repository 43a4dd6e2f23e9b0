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
Bytes Slice(const Bytes& bytes, size_t from, size_t to);
Bytes Hex(const std::string& spaced);  // "16 3A FF" → bytes

// The worked example's program header, as the console dumps it ("%02X ").
extern const char kWorkedHeaderHex[];
// The end header, always the same 50 bytes.
extern const char kEndHeaderHex[];
