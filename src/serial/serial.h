// The one serial port that links the PC to the calculator: its fixed line
// settings, its handle, and the six operations the transfers use.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
using ComHandle = HANDLE;
#else
#include "serial/records_posix.h"
using ComHandle = int;
#endif

extern ComHandle g_hCOM;
extern DCB g_dcb;
extern COMMTIMEOUTS g_cto;

// The platform's "no handle" value, also left in g_hCOM once a line is lost.
ComHandle InvalidComHandle();

// Results follow the platform's convention: non-zero on success, 0 on failure.
// OpenCOM prints its own error message.
int OpenCOM(int port);
int CloseCOM();
int ReadCOM(void* buffer, int count, int* bytesRead);
int WriteCOM(const void* buffer, int count, int* bytesWritten);
int OneCharCOM(int c);
int ReadOneCharCOM();
// Applies g_dcb and g_cto to the open port, as they stand: a new speed,
// parity or stop bits, new read time-outs.
int ConfigureCOM();
// The line settings the port opens with: 9600 bit/s, 8 bits, no parity, 2
// stop bits (g_dcb as the program starts).
void ResetLineSettings();

// What stands behind "COM<number>": the device opened and why that one.
struct PortChoice {
  int number = 1;
  std::string device;
  std::string why;
  std::string error;  // not empty: LIAISON_PORT names no port of this platform
  bool usb = false;   // the calculator on its USB cable, not a serial port
};

// LIAISON_PORT=usb (any case) names the calculator on its USB cable; unset,
// that calculator is chosen when it is the only one (`usbCalculators`).
// POSIX: else the device LIAISON_PORT names; unset, the one USB serial
// adapter among `adapters`; else /dev/ttyS0.
PortChoice ChoosePosixPort(const char* named, const std::vector<std::string>& adapters,
                           int usbCalculators = 0);
// Windows: else the port LIAISON_PORT names (COM1 to COM256); unset, COM1.
PortChoice ChooseWindowsPort(const char* named, int usbCalculators = 0);
std::string WindowsComDevice(int number);  // \\.\COMn
// This platform's choice, from the environment and the devices present.
PortChoice ChoosePort();
// The serial ports this machine shows, for `liaison --ports`.
std::vector<std::string> ListSerialPorts();
// "" for a device that may be a serial port (or is not there); else what it
// is instead: "/dev/x : un dossier, pas un port serie".
std::string NotASerialPort(const std::string& device);

// The operations above forward to one backend. The program uses the native
// one; tests and fuzzers plug in an in-memory line, and a trace of the line
// wraps another backend.
enum class OpenResult { Opened, CannotOpen, CannotConfigure };

class SerialBackend {
 public:
  virtual ~SerialBackend() = default;
  virtual OpenResult Open(int port) = 0;
  virtual void Close() = 0;
  virtual int Read(unsigned char* buffer, int count, int* bytesRead) = 0;
  virtual int Write(const unsigned char* buffer, int count, int* bytesWritten) = 0;
  // Applies g_dcb and g_cto to the open line; false when the device refuses.
  virtual bool Configure() { return true; }
  // The calculator's own USB cable rather than a serial line.
  virtual bool IsUsb() const { return false; }
  // The mode to choose on the calculator, said when none is found on USB.
  virtual void SetModeHint(const std::string& /*mode*/) {}
  // After a failed Open: the device and the system's reason.
  virtual std::string OpenError() const { return ""; }
  // A library's own words for its last failure (libusb's English), kept for
  // the trace rather than shown.
  virtual std::string LibraryWords() const { return ""; }
};

SerialBackend& NativeSerialBackend();
// The backend the port operations use now.
SerialBackend& CurrentSerialBackend();
// Returns the backend that was in use.
SerialBackend& UseSerialBackend(SerialBackend& backend);
