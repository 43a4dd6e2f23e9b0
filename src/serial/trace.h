// A trace of the line: every byte that crosses it, with its time and its
// direction, appended to a file as it goes, for comparing cables and drivers.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "serial/serial.h"

// The trace file, opened to append without ever blocking: a FIFO that no
// one reads is refused (null), not waited on.
FILE* OpenTraceFile(const char* path);

class LineTrace final : public SerialBackend {
 public:
  // Writes through `file` (which it then owns, and which `path` names) and
  // passes every operation on to `line`.
  LineTrace(SerialBackend& line, FILE* file, const std::string& port, const std::string& path);
  ~LineTrace() override;
  LineTrace(const LineTrace&) = delete;
  LineTrace& operator=(const LineTrace&) = delete;

  OpenResult Open(int port) override;
  std::string OpenError() const override { return line_.OpenError(); }
  std::string LibraryWords() const override { return line_.LibraryWords(); }
  void Close() override { line_.Close(); }
  bool Configure() override;
  bool IsUsb() const override { return line_.IsUsb(); }
  void SetModeHint(const std::string& mode) override { line_.SetModeHint(mode); }
  int Read(unsigned char* buffer, int count, int* bytesRead) override;
  int Write(const unsigned char* buffer, int count, int* bytesWritten) override;

 private:
  void Log(const char* direction, const unsigned char* bytes, int count);
  // The library's words for a failure, once each time they change.
  void LogLibraryWords();
  void Write(const std::string& lines);
  SerialBackend& line_;
  FILE* file_;
  std::string path_;
  bool failed_ = false;
  std::chrono::steady_clock::time_point start_;
  DCB shown_;  // the settings the trace last wrote down
  std::string words_;  // the library's words last written down
};
