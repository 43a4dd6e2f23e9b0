#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "serial/usb.h"

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

long MsUntil(Clock::time_point when) {
  return static_cast<long>(std::chrono::duration_cast<Ms>(when - Clock::now()).count());
}

}  // namespace

std::string UsbKind(const UsbCalculator& device) {
  if (!device.storage) return "";
  return device.product == 0x6102 ? "fx-CG20, disque USB" : "Graph 90+E / 35+E II, disque USB";
}

OpenResult UsbLine::Open(int) {
  std::vector<UsbCalculator> found = bus_.Calculators();
  if (found.empty()) {
    why_ =
        "aucune calculatrice Casio branchee en USB (07CF:6101, 6102, 6103) : branchez-la et "
        "choisissez " +
        mode_ + " sur la calculatrice";
    return OpenResult::CannotOpen;
  }
  if (found.size() > 1) {
    why_ = std::to_string(found.size()) + " calculatrices Casio en USB : n'en laissez qu'une";
    return OpenResult::CannotOpen;
  }
  const UsbCalculator& device = found[0];
  std::string where = "USB bus " + std::to_string(device.bus) + ", adresse " +
                      std::to_string(device.address) + " : ";
  std::string why;
  switch (bus_.Open(device, &why)) {
    case UsbOpen::Opened:
      break;
    case UsbOpen::NoPermission:
      why_ = where +
             "pas le droit d'ouvrir la calculatrice. Linux : installez le paquet liaison (sa "
             "regle udev) ou copiez packaging/60-liaison-casio.rules dans /etc/udev/rules.d/, "
             "puis rebranchez-la. Windows : le pilote WinUSB (Zadig).";
      return OpenResult::CannotOpen;
    case UsbOpen::Busy:
      why_ = where + "deja prise par un autre programme ou un autre pilote";
      return OpenResult::CannotOpen;
    case UsbOpen::Gone:
    case UsbOpen::Failed:
      why_ = where + why;
      return OpenResult::CannotOpen;
  }
  open_ = true;
  start_ = end_ = 0;
  // On its mass-storage interface a calculator carries its screen
  // (ScreenRecv); whether its files answer there is not known: they go by
  // its disk.
  if (device.storage) {
    if (screen_) return OpenResult::Opened;
    Close();
    why_ = where + "calculatrice en mode disque (" + UsbKind(device) +
           ") : ses fichiers se lisent et s'ecrivent sur son disque (mode USB Flash), son "
           "ecran avec liaison ecran (mode ScreenRecv)";
    return OpenResult::CannotOpen;
  }
  bus_.Control(0x41, 0x01, 0, 0);
  // A ClassPad shares the ids and answers the check's first two bytes at
  // once with its own 05; a calculator of the fx-9860G family waits for the
  // rest, and its ACK is taken here, before the session's own check.
  static const unsigned char kCheck[] = {0x05, 0x30, 0x30, 0x30, 0x37, 0x30};
  int got = bus_.Write(kCheck, 2, 1000) == 2 ? bus_.Read(buffer_, sizeof buffer_, 100) : -1;
  if (got > 0 && buffer_[0] == 0x05) {
    Close();
    why_ = where + "une ClassPad : elle parle un autre protocole, que Liaison ne connait pas";
    return OpenResult::CannotOpen;
  }
  if (got < 0 || bus_.Write(kCheck + 2, 4, 1000) != 4) {
    Close();
    why_ = where + "la calculatrice ne prend rien";
    return OpenResult::CannotOpen;
  }
  // What else comes is drained until the line is quiet, but not for ever:
  // a calculator streaming its screen is never quiet.
  const Clock::time_point enough = Clock::now() + Ms(1500);
  while (Clock::now() < enough && bus_.Read(buffer_, sizeof buffer_, 700) > 0) {
  }
  start_ = end_ = 0;
  return OpenResult::Opened;
}

void UsbLine::Close() {
  if (open_) bus_.Close();
  open_ = false;
}

bool UsbLine::Fill(int timeoutMs) {
  int n = bus_.Read(buffer_, sizeof buffer_, timeoutMs);
  if (n < 0) return false;
  start_ = 0;
  end_ = n;
  return true;
}

// As the serial line's reads: at most the total time-out in all, at most
// the interval time-out between two bytes, back at once when the count is
// complete. A device that goes away is said at once, as the library tells
// it; a read on a line already lost fails after its time-out, so that no
// caller can spin on it.
int UsbLine::Read(unsigned char* buffer, int count, int* bytesRead) {
  const Clock::time_point total =
      Clock::now() + Ms(g_cto.ReadTotalTimeoutConstant +
                        static_cast<long long>(g_cto.ReadTotalTimeoutMultiplier) * count);
  Clock::time_point deadline = total;
  int got = 0;
  while (got < count) {
    if (start_ == end_) {
      long left = MsUntil(deadline);
      if (left <= 0) break;
      if (!open_) std::this_thread::sleep_until(total);
      if (!open_ || !Fill(static_cast<int>(left))) {
        open_ = false;
        *bytesRead = got;
        return 0;
      }
      if (start_ == end_) break;  // nothing within the time-out
    }
    int take = std::min(count - got, end_ - start_);
    std::memcpy(buffer + got, buffer_ + start_, static_cast<size_t>(take));
    got += take;
    start_ += take;
    if (g_cto.ReadIntervalTimeout > 0)
      deadline = std::min(total, Clock::now() + Ms(g_cto.ReadIntervalTimeout));
  }
  *bytesRead = got;
  return 1;
}

int UsbLine::Write(const unsigned char* buffer, int count, int* bytesWritten) {
  int done = 0;
  while (open_ && done < count) {
    int n = bus_.Write(buffer + done, count - done, 5000);
    if (n <= 0) {
      open_ = n == 0;  // 0: nothing taken in 5 s; -1: gone
      break;
    }
    done += n;
  }
  *bytesWritten = done;
  return done == count ? 1 : 0;
}
