#include "memory_line.h"

MemoryLine::MemoryLine() : previous_(&UseSerialBackend(*this)) {}

MemoryLine::~MemoryLine() {
  UseSerialBackend(*previous_);
}

MemoryLine& MemoryLine::Then(std::vector<unsigned char> bytes, long afterMs) {
  lastArrival_ += afterMs;
  for (unsigned char byte : bytes) pending_.push_back({lastArrival_, byte});
  return *this;
}

// The whole read is bounded by the total time-out; it ends at once when the
// count is complete.
int MemoryLine::Read(unsigned char* buffer, int count, int* bytesRead) {
  ++reads_;
  *bytesRead = 0;
  if (pending_.empty()) {
    if (idleReadsLeft_-- <= 0) return 0;
    now_ += g_cto.ReadTotalTimeoutConstant;
    return 1;
  }
  long deadline = now_ + static_cast<long>(g_cto.ReadTotalTimeoutConstant);
  int got = 0;
  while (got < count && !pending_.empty() && pending_.front().at <= deadline) {
    if (pending_.front().at > now_) now_ = pending_.front().at;
    buffer[got++] = pending_.front().byte;
    pending_.pop_front();
  }
  if (got < count) now_ = deadline;
  *bytesRead = got;
  // With no idle read left, the end of the script is a hang-up: the read
  // that runs into it fails, as a real line's does.
  return got < count && pending_.empty() && idleReadsLeft_ <= 0 ? 0 : 1;
}

int MemoryLine::Write(const unsigned char* buffer, int count, int* bytesWritten) {
  *bytesWritten = 0;
  if (failWrites_ || writesLeft_ == 0) return 0;
  if (writesLeft_ > 0) --writesLeft_;
  written_.insert(written_.end(), buffer, buffer + count);
  *bytesWritten = count;
  return 1;
}
