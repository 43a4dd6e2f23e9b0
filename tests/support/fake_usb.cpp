#include "fake_usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

void FakeUsbBus::Pace(int bytes) const {
  if (bitsPerSecond > 0)
    std::this_thread::sleep_for(std::chrono::duration<double>(bytes * 8 / bitsPerSecond));
}

UsbOpen FakeUsbBus::Open(const UsbCalculator&, std::string* why) {
  ++opened;
  if (openResult != UsbOpen::Opened) *why = "refuse";
  return openResult;
}

int FakeUsbBus::Read(unsigned char* bytes, int size, int) {
  if (goneAfterReads == 0) gone_ = true;
  if (gone_) return -1;
  if (goneAfterReads > 0) --goneAfterReads;
  if (silentReads > 0) {
    --silentReads;
    return 0;
  }
  if (pending_.empty()) return 0;  // the time-out, at once
  std::string& next = pending_.front();
  int n = std::min(size, static_cast<int>(next.size()));
  std::memcpy(bytes, next.data(), static_cast<size_t>(n));
  Pace(n);
  next.erase(0, static_cast<size_t>(n));
  if (next.empty()) pending_.pop_front();
  return n;
}

int FakeUsbBus::Write(const unsigned char* bytes, int size, int) {
  if (goneAfterWrites == 0) gone_ = true;
  if (gone_) return -1;
  if (goneAfterWrites > 0) --goneAfterWrites;
  std::string chunk(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  written += chunk;
  Pace(size);
  if (answer)
    for (const std::string& transfer : answer(chunk)) pending_.push_back(transfer);
  return size;
}
