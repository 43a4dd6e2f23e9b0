// A trace of the line: every byte that crosses it, with its time and its
// direction, appended to a file as it goes, for comparing cables and drivers.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "serial/serial.h"

class LineTrace final : public SerialBackend {
 public:
  // Writes through `file` (which it then owns) and passes every operation on to `line`.
  LineTrace(SerialBackend& line, FILE* file, const std::string& port);
  ~LineTrace() override;
  LineTrace(const LineTrace&) = delete;
  LineTrace& operator=(const LineTrace&) = delete;

  OpenResult Open(int port) override { return line_.Open(port); }
  void Close() override { line_.Close(); }
  int Read(unsigned char* buffer, int count, int* bytesRead) override;
  int Write(const unsigned char* buffer, int count, int* bytesWritten) override;

 private:
  void Log(const char* direction, const unsigned char* bytes, int count);
  SerialBackend& line_;
  FILE* file_;
  std::chrono::steady_clock::time_point start_;
};
