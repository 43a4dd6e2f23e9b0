#include "screenrecv.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

struct Picture {
  int width = 0, height = 0;
  bool colour = true;
  std::vector<unsigned> rgb;  // 0xRRGGBB, row after row
};

// Netpbm words, '#' comments left out.
bool Words(std::istream& in, int count, std::vector<int>* values) {
  std::string word;
  while (static_cast<int>(values->size()) < count && in >> word) {
    if (word[0] == '#') {
      std::getline(in, word);
      continue;
    }
    values->push_back(std::atoi(word.c_str()));
  }
  return static_cast<int>(values->size()) == count;
}

bool ReadPicture(const std::string& path, Picture* p) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  std::vector<int> head;
  if (!(in >> magic) || (magic != "P6" && magic != "P3" && magic != "P1")) return false;
  p->colour = magic != "P1";
  if (!Words(in, p->colour ? 3 : 2, &head) || head[0] <= 0 || head[1] <= 0 || head[0] > 1024 ||
      head[1] > 1024)
    return false;
  p->width = head[0];
  p->height = head[1];
  size_t pixels = static_cast<size_t>(p->width) * static_cast<size_t>(p->height);
  if (magic == "P6") {
    in.get();  // the one white space before the bytes
    std::string bytes(pixels * 3, '\0');
    if (!in.read(&bytes[0], static_cast<std::streamsize>(bytes.size()))) return false;
    for (size_t i = 0; i < pixels; ++i)
      p->rgb.push_back(static_cast<unsigned char>(bytes[3 * i]) << 16 |
                       static_cast<unsigned char>(bytes[3 * i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[3 * i + 2]));
    return true;
  }
  std::vector<int> values;
  if (!Words(in, static_cast<int>(p->colour ? pixels * 3 : pixels), &values)) return false;
  for (size_t i = 0; i < pixels; ++i)
    p->rgb.push_back(p->colour   ? static_cast<unsigned>(values[3 * i] << 16 |
                                                       values[3 * i + 1] << 8 | values[3 * i + 2])
                     : values[i] ? 0x000000u
                                 : 0xFFFFFFu);
  return true;
}

// The packet: type, subtype, payload, then the checksum (the two's
// complement of the sum of all but the type byte) in two hex digits.
std::string Packet(char type, const std::string& subtype, const std::string& payload) {
  std::string bytes = std::string(1, type) + subtype + payload;
  unsigned sum = 0;
  for (size_t i = 1; i < bytes.size(); ++i) sum += static_cast<unsigned char>(bytes[i]);
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02X", (256 - sum % 256) % 256);
  return bytes + digits;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string MonochromeFrame(const Picture& p) {
  std::string screen(1024, '\0');
  for (int y = 0; y < 64 && y < p.height; ++y)
    for (int x = 0; x < 128 && x < p.width; ++x)
      if (p.rgb[static_cast<size_t>(y * p.width + x)] == 0)
        screen[static_cast<size_t>(y * 16 + x / 8)] |= static_cast<char>(0x80 >> (x % 8));
  return Packet(0x0B, "TYP01", screen);
}

std::string ColourFrame(const Picture& p, const std::string& format) {
  std::string data;
  if (format == "1RC3") {  // 4 bits a pixel: red 8, green 4, blue 2
    data.assign((p.rgb.size() + 1) / 2, '\0');
    for (size_t i = 0; i < p.rgb.size(); ++i) {
      unsigned v = p.rgb[i];
      int nibble = ((v >> 16 & 0xFF) >= 0x80 ? 8 : 0) | ((v >> 8 & 0xFF) >= 0x80 ? 4 : 0) |
                   ((v & 0xFF) >= 0x80 ? 2 : 0);
      data[i / 2] |= static_cast<char>(i % 2 == 0 ? nibble << 4 : nibble);
    }
  } else {  // 5-6-5, big-endian
    for (unsigned v : p.rgb) {
      unsigned word = (v >> 19 & 31) << 11 | (v >> 10 & 63) << 5 | (v >> 3 & 31);
      data += static_cast<char>(word >> 8);
      data += static_cast<char>(word & 0xFF);
    }
  }
  bool longFrame = data.size() > 0xFFFFFF;
  std::string head = Hex(static_cast<unsigned>(data.size()), longFrame ? 8 : 6) +
                     Hex(static_cast<unsigned>(p.height), 4) +
                     Hex(static_cast<unsigned>(p.width), 4) + format;
  return Packet(0x0B, longFrame ? "TYPZ2" : "TYPZ1", head + data);
}

std::uint32_t Little(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0] | at[1] << 8 | at[2] << 16) |
         static_cast<std::uint32_t>(at[3]) << 24;
}

class Device {
 public:
  Device(Wire& wire, const ScreenRecvPlan& plan, std::vector<Picture> pictures)
      : wire_(wire), plan_(plan), pictures_(std::move(pictures)) {}

  void Run() {
    pending_ = Packet(0x16, "CAL00", "D0");  // asks to be answered first
    acked_ = plan_.noAck;
    for (;;) {
      unsigned char wrapper[31];
      if (!NextWrapper(wrapper)) return;
      ++commands_;
      std::uint32_t tag = Little(wrapper + 4), length = Little(wrapper + 8);
      int count = wrapper[15 + 6] << 8 | wrapper[15 + 7];
      unsigned char status = 0;
      switch (wrapper[15]) {
        case 0xC0:
          Refill();
          if (!Poll(length)) return;
          break;
        case 0xC1:
          if (!Give(static_cast<size_t>(count))) return;
          break;
        case 0xC2:
          if (!Take(length)) return;
          break;
        default:
          status = 1;
      }
      if (!Status(tag, status)) return;
    }
  }

  void Report(FILE* report) const {
    if (!report) return;
    std::fprintf(report, "commands=%d\nframes=%d\nacked=%d\nreceived=%s\n", commands_, sent_,
                 acked_ ? 1 : 0, received_.c_str());
  }

 private:
  // The next command wrapper; bytes before a "USBC" are passed over.
  bool NextWrapper(unsigned char* wrapper) {
    int have = 0;
    while (have < 31) {
      int byte = wire_.Receive(-1);
      if (byte < 0) return false;
      wrapper[have++] = static_cast<unsigned char>(byte);
      if (have <= 4 && wrapper[have - 1] != static_cast<unsigned char>("USBC"[have - 1])) have = 0;
    }
    return true;
  }

  // What waits: the check until answered, then one frame at the pace.
  void Refill() {
    if (!pending_.empty() || !acked_) {
      if (!acked_ && pending_.empty() && Clock::now() - lastCheck_ > std::chrono::milliseconds(500))
        pending_ = Packet(0x16, "CAL00", "D0");
      return;
    }
    int total = plan_.frames > 0 ? plan_.frames : static_cast<int>(pictures_.size());
    if (sent_ >= total) return;
    if (Clock::now() < nextFrame_) return;
    nextFrame_ = Clock::now() + std::chrono::microseconds(1000000 / std::max(plan_.fps, 1));
    const Picture& p = pictures_[static_cast<size_t>(sent_) % pictures_.size()];
    pending_ = p.colour ? ColourFrame(p, plan_.format) : MonochromeFrame(p);
    ++sent_;
    if (sent_ == plan_.damage) pending_[pending_.size() - 1] ^= 1;
    if (sent_ == plan_.lose) pending_.erase(pending_.size() / 2, 100);
  }

  bool Poll(std::uint32_t length) {
    std::string answer(16, '\0');
    answer[0] = static_cast<char>(0xD0);
    size_t waiting = std::min<size_t>(pending_.size(), 0xFFFF);
    answer[6] = static_cast<char>(waiting >> 8);
    answer[7] = static_cast<char>(waiting & 0xFF);
    answer.resize(std::min<size_t>(length, 16));
    return Send(answer);
  }

  bool Give(size_t count) {
    std::string part = pending_.substr(0, count);
    part.resize(count, '\0');  // asked for more than waits: zeros
    pending_.erase(0, std::min(count, pending_.size()));
    if (pending_.empty() && !acked_) lastCheck_ = Clock::now();
    return Send(part);
  }

  bool Take(std::uint32_t length) {
    std::string bytes(length, '\0');
    if (length > 0 &&
        wire_.ReceiveBlock(reinterpret_cast<unsigned char*>(&bytes[0]), static_cast<int>(length),
                           5000) != static_cast<int>(length))
      return false;
    for (unsigned char c : bytes) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X", c);
      received_ += hex;
    }
    if (bytes.find(std::string("\x06"
                               "02001"
                               "0D")) != std::string::npos)
      acked_ = true;
    return true;
  }

  bool Status(std::uint32_t tag, unsigned char status) {
    std::string s = "USBS";
    for (int i = 0; i < 4; ++i) s += static_cast<char>(tag >> (8 * i));
    s += std::string(4, '\0');
    s += static_cast<char>(status);
    return Send(s);
  }

  bool Send(const std::string& bytes) {
    return wire_.Send(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()));
  }

  Wire& wire_;
  const ScreenRecvPlan& plan_;
  std::vector<Picture> pictures_;
  std::string pending_, received_;
  bool acked_ = false;
  int sent_ = 0, commands_ = 0;
  Clock::time_point nextFrame_{}, lastCheck_ = Clock::now();
};

}  // namespace

bool ServeScreenRecv(Wire& wire, const ScreenRecvPlan& plan, FILE* report) {
  std::vector<Picture> pictures;
  for (const std::string& path : plan.pictures) {
    Picture p;
    if (!ReadPicture(path, &p)) {
      std::fprintf(stderr, "liaison-sim: %s is no P6, P3 or P1 picture\n", path.c_str());
      return false;
    }
    pictures.push_back(p);
  }
  if (pictures.empty()) return false;
  Device device(wire, plan, pictures);
  device.Run();
  device.Report(report);
  if (report) std::fflush(report);
  return true;
}
