// The one serial port that links the PC to the calculator: its fixed line
// settings, its handle, and the six operations the transfers use.
#pragma once

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
int OpenCOM(int port);
int CloseCOM();
int ReadCOM(void* buffer, int count, int* bytesRead);
int WriteCOM(const void* buffer, int count, int* bytesWritten);
int OneCharCOM(int c);
int ReadOneCharCOM();

// The operations above forward to one backend. The program uses the native
// one; tests and fuzzers plug in an in-memory line.
class SerialBackend {
 public:
  virtual ~SerialBackend() = default;
  virtual int Open(int port) = 0;
  virtual int Close() = 0;
  virtual int Read(unsigned char* buffer, int count, int* bytesRead) = 0;
  virtual int Write(const unsigned char* buffer, int count, int* bytesWritten) = 0;
};

SerialBackend& NativeSerialBackend();
// Returns the backend that was in use.
SerialBackend& UseSerialBackend(SerialBackend& backend);
