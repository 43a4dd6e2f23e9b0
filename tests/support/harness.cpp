#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

const char kStart[] = "Ouverture et configuration du port COM1...\r\n...OK\r\n";
const char kMenu[] =
    "\r\n1 : Test de reception avec une calculatrice Casio Graph.\r\n2 : Test d'emmission vers "
    "une calculatrice Casio Graph.\n3 : Quitter.\r\nChoix : ";
const char kPause[] = "Appuyez sur une touche pour continuer...\n";

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& argv, const std::string& dir, int in, int out,
            const RunOptions& options) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (in >= 0) dup2(in, 0);
  if (out >= 0) dup2(out, 1);
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
  putenv(strdup("LC_ALL=C"));  // the console text must not hang on the tester's locale
  for (const std::string& setting : options.env) putenv(strdup(setting.c_str()));
  if (options.fileSizeLimit >= 0) {
    rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                 static_cast<rlim_t>(options.fileSizeLimit)};
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

int StatusOf(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

}  // namespace

Liaison::Liaison(const std::string& dir, const std::string& port, const RunOptions& options)
    : timeoutSeconds_(options.timeoutSeconds) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
  RunOptions withPort = options;
  withPort.env.push_back("LIAISON_PORT=" + port);
  pid_ = Spawn({LIAISON_BIN}, dir, in[0], out[1], withPort);
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
  fcntl(in_, F_SETFL, O_NONBLOCK);
}

Liaison::~Liaison() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
}

void Liaison::Type(const std::string& text) {
  pendingIn_ += text;
  Pump(false);
}

// Feeds the typed answers and gathers the console text; with waitForEnd,
// until the console closes or the time is up.
void Liaison::Pump(bool waitForEnd) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
  for (;;) {
    if (!waitForEnd && pendingIn_.empty()) return;
    if (!pendingIn_.empty() && in_ >= 0) {
      ssize_t n = write(in_, pendingIn_.data(), pendingIn_.size());
      if (n > 0) pendingIn_.erase(0, static_cast<size_t>(n));
      if (n < 0 && errno == EPIPE) pendingIn_.clear();
    }
    if (waitForEnd && pendingIn_.empty() && in_ >= 0) {
      close(in_);
      in_ = -1;
    }
    pollfd fds[2] = {{out_, POLLIN, 0}, {pendingIn_.empty() ? -1 : in_, POLLOUT, 0}};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      exit_.timedOut = true;
      return;
    }
    poll(fds, 2, static_cast<int>(left.count() < 200 ? left.count() : 200));
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char chunk[65536];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n > 0) exit_.out.append(chunk, static_cast<size_t>(n));
      if (n == 0 && waitForEnd) return;
    }
  }
}

Exit Liaison::Finish() {
  signal(SIGPIPE, SIG_IGN);
  Pump(true);
  if (exit_.timedOut) kill(pid_, SIGKILL);
  int raw = 0;
  waitpid(pid_, &raw, 0);
  pid_ = -1;
  exit_.status = StatusOf(raw);
  return exit_;
}

Exit RunLiaison(const std::string& dir, const std::string& port, const std::string& typed,
                const RunOptions& options) {
  Liaison liaison(dir, port, options);
  liaison.Type(typed);
  return liaison.Finish();
}

Calculator::Calculator(const TempDir& dir, std::vector<std::string> args) : dir_(dir) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  args.insert(args.begin(), LIAISON_SIM_BIN);
  args.insert(args.end(), {"--log", dir / "sim.log", "--report", dir / "report.txt"});
  pid_ = Spawn(args, "", -1, out[1], RunOptions{});
  close(out[1]);
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') port_ += c;
  close(out[0]);
}

Calculator::~Calculator() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void Calculator::Finish() {
  for (int i = 0; i < 200 && pid_ > 0; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_)
      pid_ = -1;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

Bytes Calculator::Logged(char direction) const {
  std::istringstream log(ReadAll(dir_ / "sim.log"));
  Bytes bytes;
  std::string at, dir, hex;
  while (log >> at >> dir >> hex) {
    if (at == "#") {
      std::getline(log, hex);
      continue;
    }
    if (dir[0] == direction)
      bytes.push_back(static_cast<unsigned char>(std::stoi(hex, nullptr, 16)));
  }
  return bytes;
}

Bytes Hex(const std::string& spaced) {
  std::istringstream in(spaced);
  Bytes bytes;
  std::string hex;
  while (in >> hex) bytes.push_back(static_cast<unsigned char>(std::stoi(hex, nullptr, 16)));
  return bytes;
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}
