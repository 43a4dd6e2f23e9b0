// Which device liaison opens: decided from LIAISON_PORT and the adapters
// present, without any hardware.
#include <gtest/gtest.h>

#include "serial/serial.h"

namespace {

TEST(PortChoice, Posix) {
  struct Case {
    const char* named;
    std::vector<std::string> adapters;
    std::string device;
  };
  const std::string usb = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";
  const Case cases[] = {
      {nullptr, {}, "/dev/ttyS0"},
      {"", {}, "/dev/ttyS0"},
      {nullptr, {usb}, usb},
      {"", {usb}, usb},
      {nullptr, {usb, usb + "1"}, "/dev/ttyS0"},  // two: the user must say which
      {"/dev/ttyACM3", {usb}, "/dev/ttyACM3"},    // the variable always wins
      {nullptr, {"/dev/cu.usbserial-1420"}, "/dev/cu.usbserial-1420"},
  };
  for (const Case& c : cases) {
    PortChoice choice = ChoosePosixPort(c.named, c.adapters);
    EXPECT_EQ(choice.device, c.device) << (c.named ? c.named : "unset") << c.adapters.size();
    EXPECT_EQ(choice.number, 1);
    EXPECT_TRUE(choice.error.empty());
    EXPECT_FALSE(choice.why.empty());
  }
}

TEST(PortChoice, Windows) {
  struct Case {
    const char* named;
    int number;  // 0: an error
  };
  const Case cases[] = {
      {nullptr, 1},    {"", 1},           {"COM1", 1},   {"COM7", 7},  {"com12", 12},
      {"COM256", 256}, {"COM0", 0},       {"COM257", 0}, {"COM07", 0}, {"COM", 0},
      {"COM1x", 0},    {"/dev/ttyS0", 0}, {"LPT1", 0},   {"COM-1", 0}, {"COM99999999999", 0},
  };
  for (const Case& c : cases) {
    PortChoice choice = ChooseWindowsPort(c.named);
    if (c.number == 0) {
      EXPECT_FALSE(choice.error.empty()) << c.named;
      EXPECT_NE(choice.error.find(c.named), std::string::npos) << choice.error;
    } else {
      EXPECT_TRUE(choice.error.empty()) << (c.named ? c.named : "unset");
      EXPECT_EQ(choice.number, c.number);
      EXPECT_EQ(choice.device, "\\\\.\\COM" + std::to_string(c.number));
    }
  }
}

}  // namespace

namespace {

// LIAISON_PORT=usb names the calculator on its cable; unset, the one Casio
// calculator on USB is taken before any serial port.
TEST(PortChoiceUsb, NamedOrTheOnlyOne) {
  struct Case {
    const char* named;
    int calculators;
    bool usb;
  };
  const Case cases[] = {{"usb", 0, true},     {"USB", 2, true},    {nullptr, 1, true},
                        {"", 1, true},        {nullptr, 0, false}, {nullptr, 2, false},
                        {"/dev/x", 1, false}, {"COM3", 1, false}};
  for (const Case& c : cases) {
    PortChoice posix = ChoosePosixPort(c.named, {"/dev/ttyUSB0"}, c.calculators);
    PortChoice windows = ChooseWindowsPort(c.named, c.calculators);
    EXPECT_EQ(posix.usb, c.usb) << (c.named ? c.named : "(unset)") << c.calculators;
    EXPECT_EQ(windows.usb, c.usb) << (c.named ? c.named : "(unset)") << c.calculators;
  }
}

}  // namespace
