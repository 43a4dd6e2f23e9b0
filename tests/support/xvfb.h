// An X server of the caller's own (Debian's xvfb), on the display it picks,
// ready for clients: for the window's tests and bench.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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
    // Its number, then a line feed: read to the line feed, in what pieces
    // it comes.
    std::string number;
    char c = 0;
    while (number.size() < 8 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return;
    display_ = ":" + number;
    // Ready once its socket is there and a client gets in (a busy machine
    // may be slow to let the first one in).
    std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
    for (int i = 0; i < 100 && !Accepts(socket); ++i) usleep(50000);
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  Xvfb(const Xvfb&) = delete;
  static bool Accepts(const std::string& socket) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
    bool in = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) close(fd);
    return in;
  }
  Xvfb& operator=(const Xvfb&) = delete;
  // ":5"; empty when no server could start.
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};
