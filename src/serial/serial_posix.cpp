// POSIX backend: COM1 is the device named by LIAISON_PORT, else the one USB
// serial adapter plugged in, else /dev/ttyS0.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "serial/serial.h"
#include "serial/usb.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

std::string DeviceFor(int port) {
  return port == 1 ? ChoosePort().device : "/dev/ttyS" + std::to_string(port - 1);
}

// The entries of `dir` whose names begin with one of `prefixes`, sorted.
std::vector<std::string> Entries(const std::string& dir, std::vector<std::string> prefixes) {
  std::vector<std::string> found;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      for (const std::string& prefix : prefixes) {
        if (name != "." && name != ".." && name.compare(0, prefix.size(), prefix) == 0) {
          found.push_back(dir + "/" + name);
          break;
        }
      }
    }
    closedir(d);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Linux names every USB serial adapter once under /dev/serial/by-id; macOS
// gives each a call-out device of its own.
std::vector<std::string> UsbAdapters() {
#ifdef __APPLE__
  return Entries("/dev", {"cu.usbserial", "cu.usbmodem"});
#else
  return Entries("/dev/serial/by-id", {""});
#endif
}

bool SpeedFor(DWORD baud, speed_t* speed) {
  struct Rate {
    DWORD baud;
    speed_t speed;
  };
  static const Rate rates[] = {{300, B300},     {600, B600},      {1200, B1200},   {2400, B2400},
                               {4800, B4800},   {9600, B9600},    {19200, B19200}, {38400, B38400},
                               {57600, B57600}, {115200, B115200}};
  for (const Rate& rate : rates) {
    if (rate.baud == baud) {
      *speed = rate.speed;
      return true;
    }
  }
  return false;
}

tcflag_t DataBits(BYTE size) {
  switch (size) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

// Translates the Win32 line-setting record into termios: raw bytes, no echo,
// no line discipline, and reads that never block (poll() does the waiting).
bool ApplyLineSettings(int fd, const DCB& dcb) {
  termios tio{};
  speed_t speed;
  if (!SpeedFor(dcb.BaudRate, &speed) || tcgetattr(fd, &tio) != 0) return false;
  cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | DataBits(dcb.ByteSize);
  if (dcb.Parity != NOPARITY) tio.c_cflag |= PARENB | (dcb.Parity == 1 ? PARODD : 0);
  if (dcb.StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
  if (dcb.fOutxCtsFlow) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
  if (dcb.fParity) tio.c_iflag |= INPCK;
  if (dcb.fOutX) tio.c_iflag |= IXON;
  if (dcb.fInX) tio.c_iflag |= IXOFF;
  tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0 &&
         tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Pseudo-terminals and some USB adapters refuse modem-line calls (EINVAL,
// ENOTTY); the line works without them, so their result is not looked at.
void SetModemLine(int fd, int line, bool raised) {
  ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line);
}

// Exclusive use: TIOCEXCL keeps other openers out (but not root), the lock
// keeps out every program that also asks for it, root included.
bool TakeExclusive(int fd) {
  ioctl(fd, TIOCEXCL);
  return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

int PollFor(int fd, short events, Clock::time_point deadline, bool forever) {
  for (;;) {
    int wait = -1;
    if (!forever) {
      auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) + 1 : 0;
    }
    pollfd p{fd, events, 0};
    int n = poll(&p, 1, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return POLLERR;
    if (n == 0 && !forever && Clock::now() < deadline) continue;
    return n == 0 ? 0 : p.revents;
  }
}

// Why a device cannot be opened, in the user's words.
std::string OpenFailure(int code) {
  switch (code) {
    case ENOENT:
      return "n'existe pas (adaptateur debranche ?)";
    case EACCES:
    case EPERM:
      return "permission refusee (ajoutez-vous au groupe dialout, puis reconnectez-vous)";
    case EBUSY:
      return "deja pris par un autre programme";
    case ENXIO:
    case ENODEV:
      return "aucun appareil derriere ce nom";
    case EIO:
      return "erreur d'entree-sortie";
    default:
      return std::strerror(code);
  }
}

// A port opened at once on a tty; anything else named is said for what it is.
std::string KindOfNoPort(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return "un dossier";
  if (S_ISREG(st.st_mode)) return "un fichier";
  if (S_ISFIFO(st.st_mode)) return "un tube (FIFO)";
  if (S_ISSOCK(st.st_mode)) return "une socket";
  return "un peripherique";
}

}  // namespace

std::string NotASerialPort(const std::string& device) {
  struct stat st {};
  if (stat(device.c_str(), &st) != 0 || S_ISCHR(st.st_mode)) return "";
  return device + " : " + KindOfNoPort(st) + ", pas un port serie";
}

namespace {

class PosixSerial final : public SerialBackend {
 public:
  OpenResult Open(int port) override {
    std::string device = DeviceFor(port);
    // A folder does not open; a file, a FIFO or a device that is no serial
    // port opens but takes no line settings. Either is said for what it is.
    std::string notPort = NotASerialPort(device);
    if (notPort.empty()) notPort = device + " : un peripherique qui n'est pas un port serie";
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EISDIR) return Failed(notPort, OpenResult::CannotOpen);
    if (fd < 0 && device != "/dev/tty")
      return Failed(device + " : " + OpenFailure(errno), OpenResult::CannotOpen);
    if (fd < 0 || IsOwnConsole(fd, device)) {
      if (fd >= 0) close(fd);
      return Failed(device + " est le terminal de liaison lui-meme, pas un port serie",
                    OpenResult::CannotOpen);
    }
    if (!isatty(fd)) {
      close(fd);
      return Failed(notPort, OpenResult::CannotConfigure);
    }
    if (!TakeExclusive(fd)) {
      close(fd);
      return Failed(device + " : deja pris par un autre programme", OpenResult::CannotOpen);
    }
    g_hCOM = fd;
    foundKept_ = tcgetattr(fd, &found_) == 0;
    if (!ApplyLineSettings(fd, g_dcb)) {
      std::string why = device + " : le port refuse ses reglages (" + OpenFailure(errno) + ")";
      close(fd);
      g_hCOM = InvalidComHandle();
      return Failed(why, OpenResult::CannotConfigure);
    }
    tcflush(fd, TCIOFLUSH);
    SetModemLine(fd, TIOCM_DTR, true);
    SetModemLine(fd, TIOCM_RTS, false);
    return OpenResult::Opened;
  }

  std::string OpenError() const override { return why_; }

  // The read time-outs are read at each read; only the line is set here.
  bool Configure() override { return ApplyLineSettings(g_hCOM, g_dcb); }

  // The port is left with the settings it had when it was opened: speed,
  // parity, modes, as another program or the system set them.
  void Close() override {
    if (g_hCOM >= 0) {
      if (foundKept_) tcsetattr(g_hCOM, TCSANOW, &found_);
      close(g_hCOM);
    }
    g_hCOM = InvalidComHandle();
    foundKept_ = false;
  }

  // Whole read bounded by the total time-out, at most the interval time-out
  // between two bytes, back at once when the count is complete. A failed read
  // (hang-up, device gone) still waits out its time-out so that no caller can
  // spin on a dead line.
  int Read(unsigned char* buffer, int count, int* bytesRead) override {
    const Clock::time_point start = Clock::now();
    const Clock::time_point total =
        start + Ms(g_cto.ReadTotalTimeoutConstant +
                   static_cast<long long>(g_cto.ReadTotalTimeoutMultiplier) * count);
    Clock::time_point deadline = total;
    int got = 0;
    while (got < count) {
      int events = PollFor(g_hCOM, POLLIN, deadline, false);
      if (events == 0) break;
      if (!(events & POLLIN)) return Failed(total, got, bytesRead);
      ssize_t n = read(g_hCOM, buffer + got, static_cast<size_t>(count - got));
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return Failed(total, got, bytesRead);  // 0 after POLLIN: hang-up
      got += static_cast<int>(n);
      if (g_cto.ReadIntervalTimeout > 0) {
        Clock::time_point interval = Clock::now() + Ms(g_cto.ReadIntervalTimeout);
        deadline = interval < total ? interval : total;
      }
    }
    *bytesRead = got;
    return 1;
  }

  int Write(const unsigned char* buffer, int count, int* bytesWritten) override {
    int done = 0;
    while (done < count) {
      ssize_t n = write(g_hCOM, buffer + done, static_cast<size_t>(count - done));
      if (n > 0) {
        done += static_cast<int>(n);
      } else if (n < 0 && errno == EAGAIN) {
        if (!(PollFor(g_hCOM, POLLOUT, Clock::time_point(), true) & POLLOUT)) break;
      } else if (!(n < 0 && errno == EINTR)) {
        break;
      }
    }
    *bytesWritten = done;
    if (done < count) return 0;
    while (tcdrain(g_hCOM) != 0 && errno == EINTR) {
    }
    return 1;
  }

 private:
  OpenResult Failed(const std::string& why, OpenResult result) {
    why_ = why;
    return result;
  }
  termios found_{};
  bool foundKept_ = false;
  // The terminal the user types in would be set to 9600 bit/s without echo.
  static bool IsOwnConsole(int fd, const std::string& device) {
    if (device == "/dev/tty") return true;  // the controlling terminal, whichever it is
    struct stat line {};
    if (!isatty(fd) || fstat(fd, &line) != 0) return false;
    for (int console = STDIN_FILENO; console <= STDERR_FILENO; ++console) {
      struct stat st {};
      if (isatty(console) && fstat(console, &st) == 0 && st.st_rdev == line.st_rdev) return true;
    }
    return false;
  }
  std::string why_;

  static int Failed(Clock::time_point total, int got, int* bytesRead) {
    std::this_thread::sleep_until(total);
    *bytesRead = got;
    return 0;
  }
};

}  // namespace

ComHandle InvalidComHandle() {
  return -1;
}

SerialBackend& NativeSerialBackend() {
  static PosixSerial backend;
  return backend;
}

PortChoice ChoosePort() {
  const char* named = std::getenv("LIAISON_PORT");
  // USB is looked at only when the choice may fall on it.
  int usb = named && *named ? 0 : static_cast<int>(NativeUsbBus().Calculators().size());
  return ChoosePosixPort(named, UsbAdapters(), usb);
}

// Linux makes ttyS0 to ttyS31 whether or not a UART stands behind them; the
// type that sysfs gives is 0 where none does.
static bool HasUart(const std::string& device) {
  std::string name = device.substr(device.rfind('/') + 1);
  FILE* file = std::fopen(("/sys/class/tty/" + name + "/type").c_str(), "r");
  if (!file) return true;  // nothing tells: list it
  int type = -1;
  bool read = std::fscanf(file, "%d", &type) == 1;
  std::fclose(file);
  return !read || type != 0;
}

std::vector<std::string> ListSerialPorts() {
#ifdef __APPLE__
  return Entries("/dev", {"cu."});
#else
  std::vector<std::string> ports = UsbAdapters();
  for (const std::string& dev : Entries("/dev", {"ttyUSB", "ttyACM", "ttyS"}))
    if (HasUart(dev)) ports.push_back(dev);
  return ports;
#endif
}
