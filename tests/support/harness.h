// End-to-end runs: the built liaison against liaison-sim over a pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "session.h"

using Bytes = std::vector<unsigned char>;

struct Exit {
  std::string out;
  int status = -1000;  // the exit status, or minus the signal
  bool timedOut = false;
};

struct RunOptions {
  int timeoutSeconds = 60;
  long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes
  std::vector<std::string> env;  // NAME=VALUE
};

// A running liaison: typed answers go in, console text comes out.
class Liaison {
 public:
  Liaison(const std::string& dir, const std::string& port, const RunOptions& options = {});
  ~Liaison();
  void Type(const std::string& text);
  Exit Finish();  // closes the input and waits for the end

 private:
  void Pump(bool waitForEnd);
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string pendingIn_;
  Exit exit_;
  int timeoutSeconds_;
};

Exit RunLiaison(const std::string& dir, const std::string& port, const std::string& typed,
                const RunOptions& options = {});

// A running liaison-sim, with its byte log and report in `dir`.
class Calculator {
 public:
  Calculator(const TempDir& dir, std::vector<std::string> args);
  ~Calculator();
  const std::string& Port() const { return port_; }
  void Finish();  // waits until it has ended (it ends when liaison has)
  Bytes FromPc() const { return Logged('<'); }
  Bytes ToPc() const { return Logged('>'); }
  std::string Report() const { return ReadAll(dir_ / "report.txt"); }

 private:
  Bytes Logged(char direction) const;
  const TempDir& dir_;
  pid_t pid_ = -1;
  std::string port_;
};

Bytes Hex(const std::string& spaced);  // "16 3A FF" → bytes
std::string Repeat(const std::string& text, int times);

extern const char kStart[];
extern const char kMenu[];
extern const char kPause[];
