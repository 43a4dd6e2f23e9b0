#include "wire.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "serial/serial.h"

bool Wire::CreatePty(std::string* path) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
  const char* name = ptsname(master_);
  if (!name) return false;
  *path = name;
  g_hCOM = master_;
  return true;
}

bool Wire::OpenDevice(const std::string& device) {
  setenv("LIAISON_PORT", device.c_str(), 1);
  if (!OpenCOM(1)) return false;
  master_ = -1;
  return true;
}

// The PC's OpenCOM ends with a purge of both directions: a byte sent before it
// would be lost. Its line settings (two stop bits at 9600 bit/s) show on the
// pty once it is configured; the purge follows within microseconds.
bool Wire::AwaitPc() {
  if (master_ < 0) return true;
  for (int i = 0; i < 12000; ++i) {  // a minute: liaison opens its port as it starts
    termios tio{};
    if (tcgetattr(master_, &tio) == 0 && (tio.c_cflag & CSTOPB) && cfgetospeed(&tio) == B9600) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

void Wire::Close() {
  CloseCOM();
  master_ = -1;
}

// A byte takes one byte time after the one before it. The line keeps its own
// clock: a late wake-up within a burst is caught up, not added to every byte
// after it; only after a real pause does the schedule start again.
Wire::Clock::time_point Wire::Paced(Clock::time_point previous) {
  Clock::time_point now = Clock::now();
  Clock::time_point due = previous + kByteTime;
  if (now - due > std::chrono::milliseconds(50)) due = now;
  std::this_thread::sleep_until(due);
  return due;
}

void Wire::Log(char direction, unsigned char byte) {
  if (!log_) return;
  double at = std::chrono::duration<double>(Clock::now() - start_).count();
  std::fprintf(log_, "%.6f %c %02X\n", at, direction, byte);
  std::fflush(log_);
}

bool Wire::Send(const unsigned char* bytes, int count) {
  if (!pace_) {
    for (int i = 0; i < count; ++i) Log('>', bytes[i]);
    int written = 0;
    return WriteCOM(bytes, count, &written) && written == count;
  }
  for (int i = 0; i < count; ++i) {
    lastSent_ = Paced(lastSent_);
    Log('>', bytes[i]);
    int written = 0;
    if (!WriteCOM(bytes + i, 1, &written) || written != 1) return false;
  }
  return true;
}

int Wire::Receive(int timeoutMs) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    long wait = 1000;
    if (timeoutMs >= 0) {
      wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (wait <= 0) return kNothing;
    }
    g_cto.ReadTotalTimeoutConstant = static_cast<DWORD>(wait < 1000 ? wait : 1000);
    unsigned char byte = 0;
    int got = 0;
    if (!ReadCOM(&byte, 1, &got)) return kGone;
    if (got == 1) {
      if (pace_) lastReceived_ = Paced(lastReceived_);  // no sooner than the line brings it
      Log('<', byte);
      return byte;
    }
  }
}

bool Wire::Expect(unsigned char wanted) {
  for (;;) {
    int byte = Receive(-1);
    if (byte == kGone) return false;
    if (byte == wanted) return true;
  }
}

int Wire::ReceiveBlock(unsigned char* bytes, int count, int timeoutMs) {
  for (int i = 0; i < count; ++i) {
    int byte = Receive(timeoutMs);
    if (byte < 0) return i;
    bytes[i] = static_cast<unsigned char>(byte);
  }
  return count;
}
