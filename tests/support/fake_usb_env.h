// The environment that plugs the libusb stand-in's calculator into the real
// liaison (FAKE_LIBUSB: the stand-in's path, defined by the target that
// includes this): its pty, its options (LIAISON_FAKE_USB), its call log.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> FakeUsbEnvironment(const std::string& pty,
                                                   const std::string& options,
                                                   const std::string& log = "") {
  std::vector<std::string> env = {"LD_PRELOAD=" FAKE_LIBUSB, "LIAISON_FAKE_USB_PTY=" + pty,
                                  "LIAISON_FAKE_USB=" + options,
                                  // The sanitizers' runtime need not come first for the stand-in.
                                  "ASAN_OPTIONS=verify_asan_link_order=0"};
  if (!log.empty()) env.push_back("LIAISON_FAKE_USB_LOG=" + log);
  return env;
}
