// End-to-end runs: the built liaison against liaison-sim over a pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "blocks.h"
#include "session.h"

// The end-to-end cases run against the native liaison, or against
// liaison.exe under wine when LIAISON_WINE_BUILD names the Windows build
// (with its wine prefix and the COM1 link in it).
bool OnWindows();
std::string WineBuild();
// A program of wine's own (wine64, wineserver), where LIAISON_WINE_DIR says.
std::string WineTool(const std::string& name);
void StartWineServer();
// What a text-mode write stores for these bytes on the target.
std::string TextFile(const std::string& bytes);

struct Exit {
  std::string out;     // under wine: each "\r\n" of the console taken back to "\n"
  int status = -1000;  // the exit status, or minus the signal
  bool timedOut = false;
  double cpuSeconds = -1;  // the processor time the program used, all in all
  long maxRssKb = -1;      // its peak resident memory
};

struct RunOptions {
  std::vector<std::string> args;  // on the program's command line
  int timeoutSeconds = 60;
  long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes
  std::vector<std::string> env;  // NAME=VALUE
  bool nullStderr = false;
  bool closedStdin = false;
  int terminalColumns = 0;  // > 0: the console is a terminal (a pty) this wide
  std::string stderrPath;   // standard error into this file
};

struct Command {
  std::vector<std::string> argv;
  RunOptions options;
};

// A running program: typed answers go in, console text comes out.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& dir, const RunOptions& options);
  virtual ~Process();
  void Type(const std::string& text);
  // Waits until the console text holds `text`; false if the program ended first.
  bool WaitFor(const std::string& text);
  virtual Exit Finish();  // closes the input and waits for the end
  pid_t Pid() const { return pid_; }
  int Terminal() const { return terminal_; }  // the pty's master end, or -1

 protected:
  // Helpers of a program (wine's services) may keep its console open after it
  // has ended: the end of the process, not of its output, ends a run.
  bool Pump(bool untilEnd, const std::string* text = nullptr);
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, terminal_ = -1;
  std::string pendingIn_;
  Exit exit_;
  int timeoutSeconds_;
  int rawStatus_ = 0;
  bool ended_ = false;
};

class Liaison : public Process {
 public:
  Liaison(const std::string& dir, const std::string& port, const RunOptions& options = {});
  Exit Finish() override;

 private:
  Liaison(const std::string& dir, const Command& command);
};

Exit RunLiaison(const std::string& dir, const std::string& port, const std::string& typed,
                const RunOptions& options = {});

// liaison-texte with these arguments, in `dir`: the native program, or
// liaison-texte.exe under wine. Its standard error is not kept.
Exit RunTexte(const std::string& dir, const std::vector<std::string>& args,
              RunOptions options = {});

// A running liaison-sim, with its byte log and report in `dir`.
class Calculator {
 public:
  // `log`: every byte in sim.log (a bench of large frames goes without).
  Calculator(const TempDir& dir, std::vector<std::string> args, bool log = true);
  ~Calculator();
  const std::string& Port() const { return port_; }
  // Waits until it has ended (it ends when liaison has), or, as a Graph 35+
  // whose session outlives the port, until it waits for the port again:
  // then it is switched off.
  void Finish();
  Bytes FromPc() const { return Logged('<'); }
  Bytes ToPc() const { return Logged('>'); }
  std::string Report() const { return ReadAll(dir_ / "report.txt"); }
  // One line "key=value" of the report of what it received.
  std::string Field(const std::string& key) const;

 private:
  Bytes Logged(char direction) const;
  const TempDir& dir_;
  pid_t pid_ = -1;
  std::string port_;
};

std::string Repeat(const std::string& text, int times);
// What a folder holds, but its hidden entries, sorted.
std::vector<std::string> Listed(const std::string& folder);
// Files whose name begins with ".liaison": temporary files left behind.
int LeftBehind(const TempDir& dir);

extern const char kStart[];
extern const char kMenu[];
extern const char kPause[];
