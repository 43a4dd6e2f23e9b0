// The byte-level vocabulary of the link with the calculator: control bytes,
// the checksum rule and the 50-byte headers.
#pragma once

constexpr unsigned char CODE_REQUEST = 0x16;  // sender: I have something to send
constexpr unsigned char CODE_READY = 0x13;    // receiver: ready for the header
constexpr unsigned char CODE_ACK = 0x06;      // either side: accepted / acknowledged
constexpr unsigned char CODE_CANCEL = 0x15;   // sender: give up after CODE_EXISTS
constexpr unsigned char CODE_EXISTS = 0x21;   // receiver: a program of that name exists
constexpr unsigned char CODE_ERROR = 0x2B;    // receiver: error (read as a checksum error)

constexpr int CHECKSUM_BASE = 0x3A;  // ':' — every sound block sums to this, modulo 256
constexpr int HEADER_SIZE = 50;
constexpr int NAME_LENGTH = 8;
constexpr int HEADER_NAME = 11;      // offset of the program name
constexpr int HEADER_PASSWORD = 27;  // offset of the password
constexpr int HEADER_SIZE_HIGH = 9;  // the data block's length, big-endian
constexpr int HEADER_CHECKSUM = 49;

using LinkHeader = unsigned char[HEADER_SIZE];

int sumtable8bit(const unsigned char* data, int count);
int create_checksum8bit(int sum);
int checksum8bit(int sum);

void InitHeader_Programme(unsigned char* header, const char* name);
void InitHeader_End(unsigned char* header);

// A name byte as a file name and the console may show it: the filler 0xFF,
// the folder separators, control bytes and 0x7F become "_", and so does a
// first "." (never a hidden file, never "." or "..").
char SafeNameChar(unsigned char c, bool first);

// Bytes 1 to 3 alone tell a program header ("TXT") on reception.
bool IsProgramHeader(const unsigned char* header);
// The data block length that a program header announces.
int AnnouncedBlockLength(const unsigned char* header);
void SetBlockLength(unsigned char* header, int blockLength);
void SealBlock(unsigned char* block, int length);  // sets its last byte, the checksum
