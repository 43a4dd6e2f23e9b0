// An X server of the caller's own (Debian's xvfb), on the display it picks:
// for the window's tests and bench.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

class Xvfb {
 public:
  Xvfb() {
    int fds[2];
    if (access("/usr/bin/Xvfb", X_OK) != 0 || pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], 3);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten",
            "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char number[16] = {};
    ssize_t n = read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    if (n > 0) display_ = ":" + std::string(number, static_cast<size_t>(n - 1));
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  // ":5"; empty when no server could start.
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
