// Win32 backend: the port is opened and driven exactly through the Win32
// communications calls; the driver applies the time-outs itself.
#include <cstdio>

#include "serial/serial.h"

namespace {

class Win32Serial final : public SerialBackend {
 public:
  int Open(int port) override {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", port);
    g_hCOM = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_SYSTEM, nullptr);
    if (g_hCOM == INVALID_HANDLE_VALUE)
      return Fail("Erreur lors de l'ouverture du port COM%d", port);
    SetupComm(g_hCOM, 4096, 4096);
    if (!SetCommTimeouts(g_hCOM, &g_cto) || !SetCommState(g_hCOM, &g_dcb)) {
      CloseHandle(g_hCOM);
      g_hCOM = INVALID_HANDLE_VALUE;
      return Fail("Erreur lors de la configuration du port COM%d", port);
    }
    PurgeComm(g_hCOM, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    EscapeCommFunction(g_hCOM, SETDTR);
    return 1;
  }

  int Close() override {
    if (g_hCOM != INVALID_HANDLE_VALUE) CloseHandle(g_hCOM);
    g_hCOM = INVALID_HANDLE_VALUE;
    return 1;
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

 private:
  static int Fail(const char* message, int port) {
    std::printf(message, port);
    std::fflush(stdout);
    return 0;
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
