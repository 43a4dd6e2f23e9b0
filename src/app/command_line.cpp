#include "app/command_line.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "serial/serial.h"

int Usage(const char* usage) {
  std::fprintf(stderr, "usage : %s\n", usage);
  return 2;
}

// A whole number in [low, high], as a command-line value.
bool Count(const std::string& text, int low, int high, int* value) {
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high) return false;
  *value = static_cast<int>(n);
  return true;
}

bool Seconds(const std::string& text, int* seconds) {
  return Count(text, 0, 1000000, seconds);
}

// The one word of a command line that is no option: its folder. False for an
// unknown option or a second folder.
bool TakeFolder(const std::string& word, std::string* folder, bool* named) {
  if (word.compare(0, 2, "--") == 0 || *named) return false;
  *folder = word;
  *named = true;
  return true;
}

// A folder named on the command line that is none is a wrong command line.
bool IsFolder(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  std::fprintf(stderr, "liaison : %s n'est pas un dossier\n", folder.c_str());
  return false;
}

bool OpenPort(Console& con, int port) {
  if (!OpenCOM(port)) {
    Say(con, "\n");
    return false;
  }
  return true;
}
