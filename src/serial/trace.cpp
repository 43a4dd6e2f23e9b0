#include "serial/trace.h"

#include <ctime>
#include <string>

LineTrace::LineTrace(SerialBackend& line, FILE* file, const std::string& port)
    : line_(line), file_(file), start_(std::chrono::steady_clock::now()) {
  std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::fprintf(file_, "# liaison %s, port %s, %lu bit/s, %d bits de donnees, %s, %s\n", date,
               port.c_str(), static_cast<unsigned long>(g_dcb.BaudRate), g_dcb.ByteSize,
               g_dcb.Parity == 0 ? "sans parite" : "avec parite",
               g_dcb.StopBits == 2 ? "2 bits de stop" : "1 bit de stop");
  std::fflush(file_);
}

LineTrace::~LineTrace() {
  std::fclose(file_);
}

int LineTrace::Read(unsigned char* buffer, int count, int* bytesRead) {
  int ok = line_.Read(buffer, count, bytesRead);
  Log("calc>PC", buffer, *bytesRead);
  return ok;
}

int LineTrace::Write(const unsigned char* buffer, int count, int* bytesWritten) {
  int ok = line_.Write(buffer, count, bytesWritten);
  Log("PC>calc", buffer, *bytesWritten);
  return ok;
}

// One write to the file for each operation on the line, so that a program
// killed in mid-transfer leaves every byte it had moved in the trace.
void LineTrace::Log(const char* direction, const unsigned char* bytes, int count) {
  if (count <= 0) return;
  double at = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.6f ", at);
  std::string lines;
  lines.reserve(static_cast<size_t>(count) * 28);
  char hex[8];
  for (int i = 0; i < count; ++i) {
    std::snprintf(hex, sizeof hex, " %02X\n", bytes[i]);
    lines.append(stamp).append(direction).append(hex);
  }
  std::fwrite(lines.data(), 1, lines.size(), file_);
  std::fflush(file_);
}
