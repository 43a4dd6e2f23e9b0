#include "serial/trace.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

FILE* OpenTraceFile(const char* path) {
#ifdef _WIN32
  return std::fopen(path, "a");
#else
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;  // ENXIO: a FIFO with no reader
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* file = fdopen(fd, "a");
  if (!file) close(fd);
  return file;
#endif
}

LineTrace::LineTrace(SerialBackend& line, FILE* file, const std::string& port,
                     const std::string& path)
    : line_(line),
      file_(file),
      path_(path),
      start_(std::chrono::steady_clock::now()),
      shown_(g_dcb) {
  std::time_t now = std::time(nullptr);
  char date[32], head[256];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::snprintf(head, sizeof head, "# liaison %s, port %s, %lu bit/s, %d bits de donnees, %s, %s\n",
                date, port.c_str(), static_cast<unsigned long>(g_dcb.BaudRate), g_dcb.ByteSize,
                g_dcb.Parity == 0 ? "sans parite" : "avec parite",
                g_dcb.StopBits == 2 ? "2 bits de stop" : "1 bit de stop");
  Write(head);
}

// A trace that stops being written is said once; the line goes on without it.
void LineTrace::Write(const std::string& lines) {
  if (failed_) return;
  errno = 0;
  bool written = std::fwrite(lines.data(), 1, lines.size(), file_) == lines.size();
  if (written && std::fflush(file_) == 0) return;
  failed_ = true;
  std::fprintf(stderr, "liaison: la trace %s ne s'ecrit plus (%s) : la suite n'y sera pas\n",
               path_.c_str(), errno ? std::strerror(errno) : "erreur d'ecriture");
}

LineTrace::~LineTrace() {
  std::fclose(file_);
}

// A new speed is a line of its own: the bytes after it cross at that speed.
bool LineTrace::Configure() {
  bool ok = line_.Configure();
  if (g_dcb.BaudRate != shown_.BaudRate || g_dcb.Parity != shown_.Parity ||
      g_dcb.StopBits != shown_.StopBits) {
    shown_ = g_dcb;
    BYTE parity = g_dcb.Parity;
    char line[128];
    std::snprintf(line, sizeof line, "# ligne : %lu bit/s, %s, %s%s\n",
                  static_cast<unsigned long>(g_dcb.BaudRate),
                  parity == 0   ? "sans parite"
                  : parity == 1 ? "parite impaire"
                                : "parite paire",
                  g_dcb.StopBits == 2 ? "2 bits de stop" : "1 bit de stop", ok ? "" : " (refuse)");
    Write(std::string(line));
  }
  return ok;
}

OpenResult LineTrace::Open(int port) {
  OpenResult result = line_.Open(port);
  LogLibraryWords();
  return result;
}

int LineTrace::Read(unsigned char* buffer, int count, int* bytesRead) {
  int ok = line_.Read(buffer, count, bytesRead);
  Log("calc>PC", buffer, *bytesRead);
  if (!ok) LogLibraryWords();
  return ok;
}

int LineTrace::Write(const unsigned char* buffer, int count, int* bytesWritten) {
  int ok = line_.Write(buffer, count, bytesWritten);
  Log("PC>calc", buffer, *bytesWritten);
  if (!ok) LogLibraryWords();
  return ok;
}

void LineTrace::LogLibraryWords() {
  std::string words = line_.LibraryWords();
  if (words.empty() || words == words_) return;
  words_ = words;
  Write("# bibliotheque : " + words + "\n");
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
  Write(lines);
}
