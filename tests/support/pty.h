// A raw pseudo-terminal pair: the test holds the master end, the program
// under test opens `name` as its serial device.
#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

struct PtyPair {
  PtyPair() {
    char path[256];
    termios raw{};
    cfmakeraw(&raw);  // a cooked pty would echo what the test writes back to it
    if (openpty(&master, &slave, path, &raw, nullptr) == 0) name = path;
  }
  ~PtyPair() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  bool Ok() const { return !name.empty(); }

  int master = -1;
  int slave = -1;
  std::string name;
};
