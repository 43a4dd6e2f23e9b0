#include "seven/stream.h"

#include "seven/packet.h"

namespace seven {

namespace {

const std::string kMono("\x0BTYP01", 6), kColour("\x0BTYPZ1", 6), kLong("\x0BTYPZ2", 6),
    kStreamCheck(
        "\x16"
        "CAL00",
        6);
constexpr unsigned long kMaxFrameData = 1 << 20;  // far more than any screen

// The checksum of bytes 1 to `end` (excluded), as the two hex digits after them.
bool SoundAt(const std::string& bytes, size_t at, size_t length) {
  unsigned sum = 0;
  for (size_t i = at + 1; i < at + length - 2; ++i) sum += static_cast<unsigned char>(bytes[i]);
  unsigned long cs = 0;
  return ReadHex(bytes, at + length - 2, 2, &cs) && cs == ((0x100 - (sum & 0xFF)) & 0xFF);
}

bool Bit(const std::string& data, size_t byte, int x) {
  return (static_cast<unsigned char>(data[byte]) & (0x80 >> (x % 8))) != 0;
}

}  // namespace

std::string StreamAck() {
  return std::string(
      "\x06"
      "02001"
      "0D",
      8);
}

void StreamReader::Feed(const unsigned char* bytes, size_t count) {
  if (at_ > 65536) {  // what was read is let go
    bytes_.erase(0, at_);
    at_ = 0;
  }
  bytes_.append(reinterpret_cast<const char*>(bytes), count);
}

StreamReader::Event StreamReader::Next(Frame* frame) {
  for (;;) {
    size_t start = std::string::npos;
    for (const std::string* s : {&kMono, &kColour, &kLong, &kStreamCheck}) {
      size_t found = bytes_.find(*s, at_);
      if (found < start) start = found;
    }
    if (start == std::string::npos) {
      // The last bytes may be the beginning of a start.
      size_t keep = bytes_.size() - at_ < 5 ? bytes_.size() - at_ : 5;
      skipped_ += bytes_.size() - at_ - keep;
      at_ = bytes_.size() - keep;
      return Event::None;
    }
    skipped_ += start - at_;
    at_ = start;
    std::string type = bytes_.substr(at_, 6);
    size_t length = 8;
    unsigned long size = 0, height = 0, width = 0;
    std::string format = "TYP01";
    if (type == kMono) {
      length = 6 + 1024 + 2;
      width = 128;
      height = 64;
    } else if (type == kColour || type == kLong) {
      int digits = type == kColour ? 6 : 8;
      size_t head = 6 + static_cast<size_t>(digits) + 12;
      if (bytes_.size() - at_ < head) return Event::None;
      if (!ReadHex(bytes_, at_ + 6, digits, &size) ||
          !ReadHex(bytes_, at_ + 6 + static_cast<size_t>(digits), 4, &height) ||
          !ReadHex(bytes_, at_ + 10 + static_cast<size_t>(digits), 4, &width) ||
          size > kMaxFrameData) {
        ++at_;  // no frame starts here after all
        ++skipped_;
        continue;
      }
      format = bytes_.substr(at_ + 14 + static_cast<size_t>(digits), 4);
      length = head + size + 2;
    }
    if (bytes_.size() - at_ < length) return Event::None;
    if (!SoundAt(bytes_, at_, length)) {
      ++at_;  // lost bytes: the next start is looked for from here
      ++skipped_;
      return Event::Dropped;
    }
    size_t begin = at_;
    at_ += length;
    if (type == kStreamCheck) return Event::Check;
    size_t dataAt = begin + length - 2 - (type == kMono ? 1024 : size);
    std::string data = bytes_.substr(dataAt, length - 2 - (dataAt - begin));
    return DecodeFrame(format, static_cast<int>(width), static_cast<int>(height), data, frame)
               ? Event::Frame
               : Event::Dropped;
  }
}

namespace {

// The largest screen streamed is 384 x 216: a frame announcing more than
// this is no screen, and takes no memory.
constexpr int kMaxSide = 1024;

// The bytes a frame of this format and size carries; 0 for a format not known.
size_t FrameBytes(const std::string& format, size_t width, size_t height) {
  size_t rowBytes = (width + 7) / 8;
  if (format == "TYP01") return width == 128 && height == 64 ? 1024 : 0;
  if (format == "1RM2") return 2 * rowBytes * height;
  if (format == "1RC2") return 2 * width * height;
  if (format == "1RC3") return (width * height + 1) / 2;
  return 0;
}

}  // namespace

bool DecodeFrame(const std::string& format, int width, int height, const std::string& data,
                 Frame* frame) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
  size_t expected = FrameBytes(format, static_cast<size_t>(width), static_cast<size_t>(height));
  if (expected == 0 || data.size() != expected) return false;
  frame->width = width;
  frame->height = height;
  frame->colour = format != "TYP01";
  frame->pixels.assign(pixels, 0xFFFFFF);
  auto at = [&](int x, int y) -> std::uint32_t& {
    return frame
        ->pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  };
  if (format == "TYP01" || format == "1RM2") {
    bool two = format == "1RM2";
    if (data.size() != rowBytes * static_cast<size_t>(height) * (two ? 2 : 1)) return false;
    static const std::uint32_t kGreys[4] = {0xFFFFFF, 0xAAAAAA, 0x777777, 0x000000};
    size_t plane = rowBytes * static_cast<size_t>(height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        size_t byte = static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x / 8);
        int first = Bit(data, byte, x), second = two && Bit(data, plane + byte, x);
        at(x, y) = two ? kGreys[first * 2 + second] : first ? 0x000000 : 0xFFFFFF;
      }
    return true;
  }
  if (format == "1RC2") {
    if (data.size() != pixels * 2) return false;
    for (size_t i = 0; i < pixels; ++i) {
      unsigned v = static_cast<unsigned char>(data[2 * i]) << 8 |
                   static_cast<unsigned char>(data[2 * i + 1]);
      std::uint32_t r = ((v >> 11) & 31) * 255 / 31, g = ((v >> 5) & 63) * 255 / 63,
                    b = (v & 31) * 255 / 31;
      frame->pixels[i] = r << 16 | g << 8 | b;
    }
    return true;
  }
  if (format == "1RC3") {
    if (data.size() != (pixels + 1) / 2) return false;
    for (size_t i = 0; i < pixels; ++i) {
      unsigned nibble = static_cast<unsigned char>(data[i / 2]) >> (i % 2 ? 0 : 4) & 0xF;
      frame->pixels[i] = (nibble & 8 ? 0xFF0000u : 0) | (nibble & 4 ? 0x00FF00u : 0) |
                         (nibble & 2 ? 0x0000FFu : 0);
    }
    return true;
  }
  return false;
}

}  // namespace seven
