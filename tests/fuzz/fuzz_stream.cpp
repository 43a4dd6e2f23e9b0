// Arbitrary bytes as the screen stream of a calculator on USB, fed in pieces
// of any size: every frame it gives is whole (its pixels fill its size), and
// no announced size takes memory before the frame is checked.
#include <cstdint>

#include "seven/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  seven::StreamReader reader;
  size_t at = 0;
  while (at < size) {
    size_t piece = 1 + data[at] % 64;
    if (piece > size - at) piece = size - at;
    reader.Feed(data + at, piece);
    at += piece;
    seven::Frame frame;
    for (seven::StreamReader::Event e;
         (e = reader.Next(&frame)) != seven::StreamReader::Event::None;) {
      if (e != seven::StreamReader::Event::Frame) continue;
      if (frame.width <= 0 || frame.height <= 0 || frame.width > 1024 || frame.height > 1024 ||
          frame.pixels.size() !=
              static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height))
        __builtin_trap();
    }
  }
  return 0;
}
