// Win32 backend: the port is opened and driven exactly through the Win32
// communications calls; the driver applies the time-outs itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/serial.h"
#include "serial/usb.h"

namespace {

class Win32Serial final : public SerialBackend {
 private:
  // The system's own words for the last error, in the user's language.
  OpenResult Failed(const std::string& device, OpenResult result) {
    DWORD code = GetLastError();
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, sizeof text, nullptr);
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' '))
      text[--n] = 0;
    why_ = device + " : " + text + " (erreur " + std::to_string(code) + ")";
    return result;
  }
  std::string why_;
  DCB found_{};
  bool foundKept_ = false;

 public:
  OpenResult Open(int port) override {
    std::string device = WindowsComDevice(port);
    g_hCOM = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_SYSTEM, nullptr);
    if (g_hCOM == INVALID_HANDLE_VALUE) return Failed(device, OpenResult::CannotOpen);
    SetupComm(g_hCOM, 4096, 4096);
    found_.DCBlength = sizeof found_;
    foundKept_ = GetCommState(g_hCOM, &found_) != 0;
    if (!SetCommTimeouts(g_hCOM, &g_cto) || !SetCommState(g_hCOM, &g_dcb)) {
      OpenResult failed = Failed(device, OpenResult::CannotConfigure);
      CloseHandle(g_hCOM);
      g_hCOM = INVALID_HANDLE_VALUE;
      return failed;
    }
    PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    EscapeCommFunction(g_hCOM, SETDTR);
    return OpenResult::Opened;
  }

  std::string OpenError() const override { return why_; }

  bool Configure() override {
    return SetCommState(g_hCOM, &g_dcb) && SetCommTimeouts(g_hCOM, &g_cto);
  }

  // The port is left with the settings it had when it was opened.
  void Close() override {
    if (g_hCOM != INVALID_HANDLE_VALUE) {
      if (foundKept_) SetCommState(g_hCOM, &found_);
      CloseHandle(g_hCOM);
    }
    g_hCOM = INVALID_HANDLE_VALUE;
    foundKept_ = false;
  }

  // A read that fails (adapter pulled out) returns at once; it is held until
  // its time-out has passed so that no wait turns into a busy loop.
  int Read(unsigned char* buffer, int count, int* bytesRead) override {
    ULONGLONG start = GetTickCount64();
    DWORD got = 0;
    BOOL ok = ReadFile(g_hCOM, buffer, static_cast<DWORD>(count), &got, nullptr);
    *bytesRead = static_cast<int>(got);
    // Some drivers (wine's over a hung-up line among them) end a read on a
    // vanished device as a mere time-out; the port's state tells it apart.
    DWORD errors = 0;
    COMSTAT state{};
    if (ok && got < static_cast<DWORD>(count) && !ClearCommError(g_hCOM, &errors, &state))
      ok = FALSE;
    if (!ok) {
      ULONGLONG spent = GetTickCount64() - start;
      if (spent < g_cto.ReadTotalTimeoutConstant)
        Sleep(static_cast<DWORD>(g_cto.ReadTotalTimeoutConstant - spent));
    }
    return ok;
  }

  int Write(const unsigned char* buffer, int count, int* bytesWritten) override {
    DWORD done = 0;
    BOOL ok = WriteFile(g_hCOM, buffer, static_cast<DWORD>(count), &done, nullptr);
    *bytesWritten = static_cast<int>(done);
    return ok;
  }
};

}  // namespace

ComHandle InvalidComHandle() {
  return INVALID_HANDLE_VALUE;
}

SerialBackend& NativeSerialBackend() {
  static Win32Serial backend;
  return backend;
}

PortChoice ChoosePort() {
  const char* named = std::getenv("LIAISON_PORT");
  int usb = named && *named ? 0 : static_cast<int>(NativeUsbBus().Calculators().size());
  return ChooseWindowsPort(named, usb);
}

// Every DOS device name that is a COM port.
// Windows names its ports COM1 to COM256: a name is checked as it is chosen.
std::string NotASerialPort(const std::string&) {
  return "";
}

std::vector<std::string> ListSerialPorts() {
  std::vector<char> names(1 << 16);
  DWORD size = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
  std::vector<std::string> ports;
  for (const char* name = names.data(); size > 0 && *name; name += std::strlen(name) + 1) {
    if (std::strncmp(name, "COM", 3) == 0) ports.push_back(name);
  }
  return ports;
}
