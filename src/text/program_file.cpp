#include "text/program_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

struct Closer {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, Closer>;

bool Say(std::string* error, const std::string& what, const std::string& path) {
  *error = what + " " + path + " : " + std::strerror(errno);
  return false;
}

}  // namespace

// Read in binary: a text-mode read on Windows would also end the file at its
// first 0x1A, which is a byte of programs (ClrList is F7 1A).
bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return Say(error, "impossible de lire", path);
  text->clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text->append(chunk, n);
  if (std::ferror(file.get())) return Say(error, "impossible de lire", path);
  return true;
}

bool ReadProgramFile(const std::string& path, std::string* bytes, std::string* error) {
  if (!ReadTextFile(path, bytes, error)) return false;
#ifdef _WIN32
  std::string out;
  for (size_t i = 0; i < bytes->size(); ++i) {
    if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') continue;
    out += (*bytes)[i];
  }
  bytes->swap(out);
#endif
  return true;
}

bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string* error) {
#ifdef _WIN32
  std::string temporary = path + ".tmp" + std::to_string(_getpid());
#else
  std::string temporary = path + ".tmp" + std::to_string(getpid());
#endif
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return Say(error, "impossible d'ecrire", path);
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  written = std::fflush(file) == 0 && written;
  written = std::fclose(file) == 0 && written;
#ifdef _WIN32
  written = written && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
#else
  written = written && std::rename(temporary.c_str(), path.c_str()) == 0;
#endif
  if (written) return true;
  Say(error, "impossible d'ecrire", path);
  std::remove(temporary.c_str());
  return false;
}
