#include "serial/serial.h"

#include <cstdio>

namespace {

DCB LineSettings() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;  // every other flag stays 0: no parity, no flow control, DTR and RTS off
  dcb.XonLim = 256;
  dcb.XoffLim = 256;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.ErrorChar = 0x3F;
  dcb.EofChar = 0x1A;
  dcb.EvtChar = 0x10;
  return dcb;
}

COMMTIMEOUTS LineTimeouts() {
  COMMTIMEOUTS cto{};
  cto.ReadIntervalTimeout = 5000;
  cto.ReadTotalTimeoutMultiplier = 0;
  cto.ReadTotalTimeoutConstant = 5000;
  cto.WriteTotalTimeoutMultiplier = 0;
  cto.WriteTotalTimeoutConstant = 0;  // a write returns once all its bytes are out
  return cto;
}

SerialBackend* g_backend = nullptr;

SerialBackend& Backend() {
  return g_backend ? *g_backend : NativeSerialBackend();
}

}  // namespace

ComHandle g_hCOM = InvalidComHandle();
DCB g_dcb = LineSettings();
COMMTIMEOUTS g_cto = LineTimeouts();

SerialBackend& CurrentSerialBackend() {
  return Backend();
}

SerialBackend& UseSerialBackend(SerialBackend& backend) {
  SerialBackend& previous = Backend();
  g_backend = &backend;
  return previous;
}

// The port messages are the program's console text: no line feed follows.
int OpenCOM(int port) {
  OpenResult result = Backend().Open(port);
  if (result == OpenResult::Opened) return 1;
  if (Backend().IsUsb())
    std::printf("Erreur lors de l'ouverture de la calculatrice USB");
  else
    std::printf(result == OpenResult::CannotOpen ? "Erreur lors de l'ouverture du port COM%d"
                                                 : "Erreur lors de la configuration du port COM%d",
                port);
  std::fflush(stdout);
  // The console line is the program's own; the device and the reason go to
  // standard error, for the user who has to mend it.
  std::string why = Backend().OpenError();
  if (!why.empty()) std::fprintf(stderr, "\nliaison: %s\n", why.c_str());
  return 0;
}

int CloseCOM() {
  Backend().Close();
  return 1;
}

int ReadCOM(void* buffer, int count, int* bytesRead) {
  return Backend().Read(static_cast<unsigned char*>(buffer), count, bytesRead);
}

int WriteCOM(const void* buffer, int count, int* bytesWritten) {
  return Backend().Write(static_cast<const unsigned char*>(buffer), count, bytesWritten);
}

int OneCharCOM(int c) {
  unsigned char byte = static_cast<unsigned char>(c & 0xFF);
  int written = 0;
  return WriteCOM(&byte, 1, &written);
}

int ConfigureCOM() {
  return Backend().Configure() ? 1 : 0;
}

void ResetLineSettings() {
  g_dcb = LineSettings();
  g_cto = LineTimeouts();
}

int ReadOneCharCOM() {
  unsigned char byte = 0;
  int got = 0;
  ReadCOM(&byte, 1, &got);
  return got == 1 ? byte : 0;
}
