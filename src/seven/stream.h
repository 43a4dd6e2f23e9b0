// The screen a calculator of the fx-9860G family streams in Projector mode
// (USB): its own packets, the same checksum rule, no escaping. The PC answers
// the calculator's check once; frames then come without end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace seven {

struct Frame {
  int width = 0, height = 0;
  bool colour = false;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB, row after row; monochrome: black or white
};

// The PC's one answer to the calculator's check "16 CAL00 D0".
std::string StreamAck();

// Cuts the stream into packets as bytes come. Bytes that begin no packet
// (lost bytes, a packet cut short) are passed over up to the next start of
// one; a frame whose checksum is wrong is dropped.
class StreamReader {
 public:
  enum class Event { None, Check, Frame, Dropped };
  void Feed(const unsigned char* bytes, size_t count);
  // The next event, and the frame when it is one.
  Event Next(Frame* frame);
  // Bytes passed over so far, to find the next packet.
  unsigned long long Skipped() const { return skipped_; }

 private:
  std::string bytes_;
  size_t at_ = 0;
  unsigned long long skipped_ = 0;
};

// A frame's pixels from its format and data: "TYP01" 128 x 64 monochrome,
// or the colour formats "1RC2", "1RC3", "1RM2". False for another.
bool DecodeFrame(const std::string& format, int width, int height, const std::string& data,
                 Frame* frame);

}  // namespace seven
