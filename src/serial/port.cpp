// Which device stands for the port: the same rules on every platform, kept
// apart from the devices so that they are tested without hardware.
#include <cctype>
#include <cstdio>

#include <string>

#include "serial/serial.h"

namespace {

bool NamesUsb(const char* named) {
  if (!named) return false;
  std::string word;
  for (const char* c = named; *c; ++c)
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return word == "usb";
}

// The calculator on its USB cable, when it is named or the only one.
bool ChooseUsb(const char* named, int usbCalculators, PortChoice* choice) {
  bool unset = !named || !*named;
  if (!NamesUsb(named) && !(unset && usbCalculators == 1)) return false;
  choice->usb = true;
  choice->device = "USB";
  choice->why = unset ? "la seule calculatrice Casio branchee en USB" : "nomme par LIAISON_PORT";
  return true;
}

}  // namespace

PortChoice ChoosePosixPort(const char* named, const std::vector<std::string>& adapters,
                           int usbCalculators) {
  PortChoice choice;
  if (ChooseUsb(named, usbCalculators, &choice)) return choice;
  if (named && *named) {
    choice.device = named;
    choice.why = "nomme par LIAISON_PORT";
  } else if (adapters.size() == 1) {
    choice.device = adapters[0];
    choice.why = "le seul adaptateur USB serie branche";
  } else {
    choice.device = "/dev/ttyS0";
    choice.why = adapters.empty() ? "aucun adaptateur USB serie branche : le premier port serie"
                                  : std::to_string(adapters.size()) +
                                        " adaptateurs USB serie branches : choisissez-en un "
                                        "avec LIAISON_PORT; en attendant, le premier port serie";
  }
  return choice;
}

// "COM1" to "COM256", in any case, as the Device Manager names them.
static int ComNumber(const std::string& name) {
  if (name.size() < 4 || name.size() > 6) return 0;
  for (size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  if (name[3] == '0') return 0;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number <= 256 ? number : 0;
}

PortChoice ChooseWindowsPort(const char* named, int usbCalculators) {
  PortChoice choice;
  if (ChooseUsb(named, usbCalculators, &choice)) return choice;
  if (named && *named) {
    choice.number = ComNumber(named);
    choice.why = "nomme par LIAISON_PORT";
    if (choice.number == 0) {
      choice.error = std::string("LIAISON_PORT=") + named +
                     " ne nomme aucun port serie (COM1 a COM256 attendu)";
      return choice;
    }
  } else {
    choice.why = "LIAISON_PORT n'est pas defini : le premier port serie";
  }
  choice.device = WindowsComDevice(choice.number);
  return choice;
}

// Plain "COMn" names no device from COM10 on: the \\.\ form reaches them all.
std::string WindowsComDevice(int number) {
  return "\\\\.\\COM" + std::to_string(number);
}
