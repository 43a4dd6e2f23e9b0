// Runs one serial operation through the Win32 backend and prints what it saw,
// for the tests that drive it under wine: "read N" (ReadCOM of N bytes),
// "readone" (ReadOneCharCOM) or "write" (OneCharCOM(0x116)).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "serial/serial.h"

int main(int argc, char** argv) {
  if (argc < 2 || !OpenCOM(1)) return 2;
  std::printf("open\n");
  std::fflush(stdout);
  ULONGLONG start = GetTickCount64();
  if (std::strcmp(argv[1], "read") == 0 && argc > 2) {
    unsigned char buffer[256];
    int count = std::atoi(argv[2]);
    int got = -1;
    int ok = ReadCOM(buffer, count > 256 ? 256 : count, &got);
    std::printf("ok=%d got=%d ms=%llu\n", ok != 0, got, GetTickCount64() - start);
  } else if (std::strcmp(argv[1], "readone") == 0) {
    int byte = ReadOneCharCOM();
    std::printf("byte=%d ms=%llu\n", byte, GetTickCount64() - start);
  } else if (std::strcmp(argv[1], "write") == 0) {
    std::printf("ok=%d\n", OneCharCOM(0x116) != 0);
  }
  CloseCOM();
  return 0;
}
