#include "serial/scsi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

void PutLittle(unsigned char* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint32_t Little(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0] | at[1] << 8 | at[2] << 16) |
         static_cast<std::uint32_t>(at[3]) << 24;
}

// A vendor command with its count at bytes 6 and 7, big-endian.
void Block(unsigned char (&block)[16], unsigned char code, int count) {
  std::memset(block, 0, sizeof block);
  block[0] = code;
  block[6] = static_cast<unsigned char>(count >> 8);
  block[7] = static_cast<unsigned char>(count);
}

constexpr int kPollMs = 10;         // the wait after an empty poll
constexpr int kQuietPolls = 30;     // empty polls before the calculator is taken as resting
constexpr int kRestingPollMs = 50;  // the wait then
constexpr int kCommandMs = 1000;    // no transfer of a command waits longer
constexpr int kMostPerCommand = 0xFFFF;

}  // namespace

bool BulkOnly::ReadAll(unsigned char* bytes, int length, int timeoutMs, bool* gone) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int done = 0; done < length;) {
    int left = MsLeft(deadline);
    if (left == 0) return false;
    int got = pipe_.Read(bytes + done, length - done, left);
    if (got < 0) {
      *gone = true;
      return false;
    }
    done += got;
  }
  return true;
}

bool BulkOnly::WriteAll(const unsigned char* bytes, int length, int timeoutMs, bool* gone) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int done = 0; done < length;) {
    int left = MsLeft(deadline);
    if (left == 0) return false;
    int put = pipe_.Write(bytes + done, length - done, left);
    if (put < 0) {
      *gone = true;
      return false;
    }
    done += put;
  }
  return true;
}

Scsi BulkOnly::Reset(const std::string& why) {
  words_ = why + " : liaison USB remise a zero";
  pipe_.Control(0x21, 0xFF, 0, 0);  // bulk-only mass storage reset, interface 0
  pipe_.ClearHalt();
  return Scsi::Broken;
}

Scsi BulkOnly::Command(const unsigned char (&block)[16], bool in, unsigned char* data, int length,
                       int timeoutMs) {
  unsigned char wrapper[31] = {'U', 'S', 'B', 'C'};
  PutLittle(wrapper + 4, ++tag_);
  PutLittle(wrapper + 8, static_cast<std::uint32_t>(length));
  wrapper[12] = in ? 0x80 : 0x00;
  wrapper[13] = 0;   // LUN
  wrapper[14] = 16;  // the command block's length
  std::memcpy(wrapper + 15, block, 16);
  bool gone = false;
  if (!WriteAll(wrapper, sizeof wrapper, timeoutMs, &gone))
    return gone ? Scsi::Gone : Reset("commande non prise");
  bool moved = length == 0 || (in ? ReadAll(data, length, timeoutMs, &gone)
                                  : WriteAll(data, length, timeoutMs, &gone));
  if (!moved) return gone ? Scsi::Gone : Reset("donnees incompletes");
  unsigned char status[13];
  if (!ReadAll(status, sizeof status, timeoutMs, &gone))
    return gone ? Scsi::Gone : Reset("pas d'etat de la commande");
  if (std::memcmp(status, "USBS", 4) != 0) return Reset("etat sans signature USBS");
  if (Little(status + 4) != tag_) return Reset("etat d'une autre commande");
  if (status[12] == 0x00) return Scsi::Passed;
  if (status[12] == 0x01) {
    words_ = "commande " + std::to_string(block[0]) + " refusee par la calculatrice";
    return Scsi::Failed;
  }
  return Reset("erreur de phase");
}

CasioStream::CasioStream(ScsiDevice& device, std::function<void(int ms)> sleep)
    : device_(device), sleep_(std::move(sleep)) {
  if (!sleep_) sleep_ = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

int CasioStream::Poll(int timeoutMs) {
  unsigned char block[16], answer[16] = {};
  Block(block, 0xC0, 0);
  switch (device_.Command(block, true, answer, sizeof answer, std::min(timeoutMs, kCommandMs))) {
    case Scsi::Passed:
      return answer[6] << 8 | answer[7];
    case Scsi::Gone:
      return -1;
    case Scsi::Broken:
      ++resets_;
      return -2;
    case Scsi::Failed:
      break;
  }
  return -2;
}

int CasioStream::Read(unsigned char* bytes, int size, int timeoutMs) {
  if (at_ < buffer_.size()) return Serve(bytes, size);
  for (int slept = 0;;) {
    int waiting = Poll(kCommandMs);
    if (waiting == -1) return -1;
    if (waiting > 0) {
      quiet_ = 0;
      // All that waits in one command: a frame of a Graph 90+E is 166 KB.
      int count = std::min(waiting, kMostPerCommand);
      buffer_.resize(static_cast<size_t>(count));
      at_ = 0;
      unsigned char block[16];
      Block(block, 0xC1, count);
      Scsi read = device_.Command(block, true, reinterpret_cast<unsigned char*>(&buffer_[0]), count,
                                  kCommandMs);
      if (read == Scsi::Passed) return Serve(bytes, size);
      buffer_.clear();
      if (read == Scsi::Gone) return -1;
      if (read == Scsi::Broken) ++resets_;
    }
    if (slept >= timeoutMs) return 0;
    // Every 10 ms while the calculator is busy; once it has been quiet a
    // while, less often (the processor rests while no frame comes).
    int nap = ++quiet_ < kQuietPolls ? kPollMs : kRestingPollMs;
    sleep_(nap);
    slept += nap;
  }
}

int CasioStream::Serve(unsigned char* bytes, int size) {
  size_t count = std::min(static_cast<size_t>(size), buffer_.size() - at_);
  std::memcpy(bytes, buffer_.data() + at_, count);
  at_ += count;
  return static_cast<int>(count);
}

int CasioStream::Write(const unsigned char* bytes, int size, int timeoutMs) {
  int waiting = Poll(timeoutMs);
  if (waiting == -1) return -1;
  int done = 0;
  while (done < size) {
    int count = std::min(size - done, kMostPerCommand);
    unsigned char block[16];
    Block(block, 0xC2, count);
    Scsi wrote = device_.Command(block, false, const_cast<unsigned char*>(bytes) + done, count,
                                 std::max(timeoutMs, kCommandMs));
    if (wrote == Scsi::Gone) return -1;
    if (wrote != Scsi::Passed) {
      if (wrote == Scsi::Broken) ++resets_;
      break;
    }
    done += count;
  }
  return done;
}

UsbOpen StorageAwareBus::Open(const UsbCalculator& device, std::string* why) {
  stream_.reset();
  scsi_.reset();
  UsbOpen opened = raw_.Open(device, why);
  if (opened == UsbOpen::Opened && device.storage) {
    scsi_ = std::make_unique<BulkOnly>(raw_);
    stream_ = std::make_unique<CasioStream>(*scsi_);
  }
  return opened;
}

void StorageAwareBus::Control(int requestType, int request, int value, int index) {
  if (!stream_) raw_.Control(requestType, request, value, index);
}

int StorageAwareBus::Read(unsigned char* bytes, int size, int timeoutMs) {
  return stream_ ? stream_->Read(bytes, size, timeoutMs) : raw_.Read(bytes, size, timeoutMs);
}

int StorageAwareBus::Write(const unsigned char* bytes, int size, int timeoutMs) {
  return stream_ ? stream_->Write(bytes, size, timeoutMs) : raw_.Write(bytes, size, timeoutMs);
}

void StorageAwareBus::Close() {
  stream_.reset();
  scsi_.reset();
  raw_.Close();
}

std::string StorageAwareBus::LibraryWords() const {
  std::string words = raw_.LibraryWords();
  if (scsi_ && !scsi_->Words().empty()) words += (words.empty() ? "" : " ; ") + scsi_->Words();
  return words;
}
