#include "app/command_line.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "app/words.h"
#include "seven/command.h"
#include "serial/serial.h"

int Usage(const char* usage) {
  std::fprintf(stderr, "usage : %s\n", usage);
  return 2;
}

bool WordAfter(const std::vector<std::string>& args, size_t* i, std::string* word) {
  const std::string& option = args[*i];
  if (*i + 1 >= args.size()) {
    std::fprintf(stderr, "liaison : %s attend une valeur\n", option.c_str());
    return false;
  }
  *word = args[++*i];
  return true;
}

bool NumberAfter(const std::vector<std::string>& args, size_t* i, int low, int high, int* value) {
  const std::string& option = args[*i];
  std::string text;
  if (!WordAfter(args, i, &text)) return false;
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || *end != '\0' || n < low || n > high) {
    std::fprintf(stderr, "liaison : %s %s : un nombre entier de %d a %d est attendu\n",
                 option.c_str(), Shown(text).c_str(), low, high);
    return false;
  }
  *value = static_cast<int>(n);
  return true;
}

bool SpeedAfter(const std::vector<std::string>& args, size_t* i, unsigned long* baud) {
  std::string text;
  if (!WordAfter(args, i, &text)) return false;
  if (seven::IsCalculatorSpeed(text)) {
    *baud = std::strtoul(text.c_str(), nullptr, 10);
    return true;
  }
  std::fprintf(stderr,
               "liaison : --vitesse %s : une calculatrice ne prend que 300, 600, 1200, 2400, "
               "4800, 9600, 19200, 38400, 57600 ou 115200 bit/s\n",
               Shown(text).c_str());
  return false;
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

std::string PortWords(int port) {
  return CurrentSerialBackend().IsUsb() ? "le cable USB" : "COM" + std::to_string(port);
}

bool OpenPort(Console& con, int port) {
  if (!OpenCOM(port)) {
    Say(con, "\n");
    return false;
  }
  return true;
}

int Worst(int status, int other) {
  return status == -1 || other == -1 ? -1 : status != 0 ? status : other;
}
