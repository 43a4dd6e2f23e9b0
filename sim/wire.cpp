// The calculator's own end of the line: plain poll, read and write on the pty
// master it creates, or on a serial device it sets up itself. None of it is
// the program's port code, so that a fault there cannot hide on both ends.
#include "wire.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

bool Wire::CreatePty(std::string* path) {
  fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) return false;
  const char* name = ptsname(fd_);
  if (!name) return false;
  // A serial port echoes nothing: neither does this line, whatever settings
  // the PC leaves on it when it closes (a pty starts as a cooked terminal).
  // Two stop bits are the PC's own sign that it has set the line.
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~CSTOPB;
  if (tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
  *path = name;
  pty_ = true;
  return true;
}

// A real line: raw bytes at 9600 bit/s, 8 data bits, no parity, 2 stop bits,
// no flow control, and no hang-up of the other side when this one closes.
bool Wire::OpenDevice(const std::string& device) {
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return false;
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS | HUPCL);
  tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (cfsetispeed(&tio, B9600) != 0 || cfsetospeed(&tio, B9600) != 0 ||
      tcsetattr(fd_, TCSANOW, &tio) != 0)
    return false;
  tcflush(fd_, TCIOFLUSH);
  pty_ = false;
  return true;
}

// The PC's OpenCOM ends with a purge of both directions: a byte sent before it
// would be lost. Its line settings (two stop bits at 9600 bit/s) show on the
// pty once it is configured; the purge follows within microseconds.
bool Wire::AwaitPc() {
  if (!pty_) return true;
  for (int i = 0; i < 12000; ++i) {  // a minute: liaison opens its port as it starts
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0 && (tio.c_cflag & CSTOPB) && cfgetospeed(&tio) == B9600) {
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

namespace {

struct Rate {
  long baud;
  speed_t speed;
};
const Rate kRates[] = {{300, B300},     {600, B600},      {1200, B1200},   {2400, B2400},
                       {4800, B4800},   {9600, B9600},    {19200, B19200}, {38400, B38400},
                       {57600, B57600}, {115200, B115200}};

}  // namespace

// A byte is a start bit, 8 data bits, the parity bit if any, the stop bits.
bool Wire::SetSpeed(long baud, bool evenParity, bool twoStops) {
  const Rate* rate = nullptr;
  for (const Rate& r : kRates)
    if (r.baud == baud) rate = &r;
  if (!rate) return false;
  int bits = 1 + 8 + (evenParity ? 1 : 0) + (twoStops ? 2 : 1);
  byteTime_ = std::chrono::nanoseconds(bits * 1000000000LL / baud);
  if (log_) {  // "S": the line's speed, and the bits of a byte, from here on
    double at = std::chrono::duration<double>(Clock::now() - start_).count();
    std::fprintf(log_, "%.6f S %ld/%d\n", at, baud, bits);
    std::fflush(log_);
  }
  if (pty_) return true;
  termios tio{};
  if (tcgetattr(fd_, &tio) != 0) return false;
  tio.c_cflag &= ~(PARENB | PARODD | CSTOPB);
  if (evenParity) tio.c_cflag |= PARENB;
  if (twoStops) tio.c_cflag |= CSTOPB;
  return cfsetispeed(&tio, rate->speed) == 0 && cfsetospeed(&tio, rate->speed) == 0 &&
         tcsetattr(fd_, TCSADRAIN, &tio) == 0;
}

long Wire::PcSpeed() const {
  termios tio{};
  if (!pty_ || tcgetattr(fd_, &tio) != 0) return 0;
  speed_t speed = cfgetospeed(&tio);
  for (const Rate& r : kRates)
    if (r.speed == speed) return r.baud;
  return 0;
}

void Wire::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

// A byte takes one byte time after the one before it. The line keeps its own
// clock: a late wake-up within a burst is caught up, not added to every byte
// after it; only after a real pause does the schedule start again.
Wire::Clock::time_point Wire::Paced(Clock::time_point previous) const {
  Clock::time_point now = Clock::now();
  Clock::time_point due = previous + byteTime_;
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

// Writes every byte, waiting while the line's buffer is full; false once the
// PC's side is gone.
bool Wire::WriteAll(const unsigned char* bytes, int count) {
  int done = 0;
  while (done < count) {
    ssize_t n = write(fd_, bytes + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return false;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, 1000) < 0 && errno != EINTR) return false;
    if (p.revents & (POLLHUP | POLLERR)) return false;
  }
  return true;
}

bool Wire::Send(const unsigned char* bytes, int count) {
  if (!pace_) {
    for (int i = 0; i < count; ++i) Log('>', bytes[i]);
    return WriteAll(bytes, count);
  }
  for (int i = 0; i < count; ++i) {
    lastOnLine_ = Paced(lastOnLine_);
    Log('>', bytes[i]);
    if (!WriteAll(bytes + i, 1)) return false;
  }
  return true;
}

// A pty master reports a hang-up once no one holds the PC's side; a read
// after it fails (EIO). Bytes that came before are read first.
int Wire::Receive(int timeoutMs) {
  if (fd_ < 0) return kGone;  // closed here, as a cable pulled out
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return kNothing;
      wait = static_cast<int>(left.count());
    }
    pollfd p{fd_, POLLIN, 0};
    int ready = poll(&p, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return kGone;
    if (ready == 0) continue;
    if (!(p.revents & POLLIN)) return kGone;
    unsigned char byte = 0;
    ssize_t n = read(fd_, &byte, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return kGone;
    if (pace_) lastOnLine_ = Paced(lastOnLine_);  // no sooner than the line brings it
    Log('<', byte);
    return byte;
  }
}

bool Wire::AwaitReopen() {
  if (!pty_ || fd_ < 0) return false;
  // While the PC's side is closed, the master end hangs up at once.
  for (int i = 0; i < 6000; ++i) {  // a minute
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) {
      if (!AwaitPc()) return false;  // its settings made again
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

bool Wire::Waiting(int timeoutMs) {
  if (fd_ < 0) return false;
  pollfd p{fd_, POLLIN, 0};
  int ready;
  do {
    ready = poll(&p, 1, timeoutMs);
  } while (ready < 0 && errno == EINTR);
  return ready > 0 && (p.revents & POLLIN);
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
