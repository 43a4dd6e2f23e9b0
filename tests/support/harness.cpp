#include "harness.h"

#include <dirent.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;
#include <sstream>
#include <vector>

#include <gtest/gtest.h>
#include <thread>

const char kStart[] = "Ouverture et configuration du port COM1...\r\n...OK\r\n";
const char kMenu[] =
    "\r\n1 : Test de reception avec une calculatrice Casio Graph.\r\n2 : Test d'emmission vers "
    "une calculatrice Casio Graph.\n3 : Quitter.\r\nChoix : ";
const char kPause[] = "Appuyez sur une touche pour continuer...\n";

namespace {

using Clock = std::chrono::steady_clock;

std::string Env(const char* name, const char* otherwise = "") {
  const char* value = std::getenv(name);
  return value ? value : otherwise;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The text-mode console of Windows writes every "\n" as "\r\n": each line
// feed must come so, and is taken back for the comparisons. The command
// interpreter's PAUSE shows its own prompt.
std::string FromWindowsConsole(const std::string& raw) {
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) {
      ADD_FAILURE() << "a bare line feed at " << i << " of the console text";
      break;
    }
  }
  std::string text = Replace(raw, "\r\n", "\n");
  return Replace(text, "Press any key to continue... ", kPause);
}

// Everything the child needs is made before fork(): the bench forks from
// several threads, and after fork() only async-signal-safe calls are sound.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& dir, int in, int out,
            const RunOptions& options) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.push_back(*e);
  std::vector<std::string> settings = {"LC_ALL=C"};  // the text must not hang on the locale
  settings.insert(settings.end(), options.env.begin(), options.env.end());
  for (const std::string& setting : settings) {  // a later setting replaces an earlier one
    std::string name = setting.substr(0, setting.find('=') + 1);
    for (auto e = env.begin(); e != env.end();)
      e = e->compare(0, name.size(), name) == 0 ? env.erase(e) : e + 1;
    env.push_back(setting);
  }
  std::vector<char*> envp, args;
  for (std::string& setting : env) envp.push_back(&setting[0]);
  envp.push_back(nullptr);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
               static_cast<rlim_t>(options.fileSizeLimit)};

  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // nothing outlives a test that is stopped
  if (in >= 0) dup2(in, 0);
  if (options.closedStdin) close(0);
  if (out >= 0) dup2(out, 1);
  if (options.nullStderr) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
  } else if (!options.stderrPath.empty()) {
    int file = open(options.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(file, 2);
  }
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
  if (options.fileSizeLimit >= 0) setrlimit(RLIMIT_FSIZE, &limit);
  execve(args[0], args.data(), envp.data());
  _exit(127);
}

int StatusOf(int raw) {
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -WTERMSIG(raw);
}

}  // namespace

bool OnWindows() {
  return !Env("LIAISON_WINE_BUILD").empty();
}

std::string WineBuild() {
  return Env("LIAISON_WINE_BUILD");
}

std::string WineTool(const std::string& name) {
  return Env("LIAISON_WINE_DIR", "/usr/lib/wine") + "/" + name;
}

// A wineserver started by a case would hold that case's console pipe open,
// and write into it; one started apart, with no console, serves them all.
void StartWineServer() {
  std::string command = "WINEPREFIX='" + (WineBuild() + "/wineprefix") + "' '" +
                        WineTool("wineserver") + "' -p30 </dev/null >/dev/null 2>&1";
  if (std::system(command.c_str()) < 0) ADD_FAILURE() << "cannot start wineserver";
}

std::string TextFile(const std::string& bytes) {
  return OnWindows() ? Replace(bytes, "\n", "\r\n") : bytes;
}

// With no port from the simulator, the program would fall back to a real
// device: the case fails, and the program is pointed at a path that is none.
static Command LiaisonCommand(std::string port, RunOptions options) {
  if (port.empty()) {
    ADD_FAILURE() << "no serial port to run liaison on";
    port = "/nonexistent/liaison-no-port";
  }
  if (!OnWindows()) {
    options.env.push_back("LIAISON_PORT=" + port);
    std::vector<std::string> argv = {LIAISON_BIN};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    return {argv, options};
  }
  StartWineServer();
  // The prefix maps COM1 (or the COM7 or COM12 that the case names in
  // LIAISON_PORT) to a fixed link, which now leads to this port.
  std::string com = "com1";
  for (const std::string& setting : options.env)
    if (setting.compare(0, 16, "LIAISON_PORT=COM") == 0) com = "com" + setting.substr(16);
  std::string link = WineBuild() + "/" + com;
  unlink(link.c_str());
  if (symlink(port.c_str(), link.c_str()) != 0) ADD_FAILURE() << "cannot link " << link;
  std::vector<std::string> argv = {WineTool("wine64"), WineBuild() + "/liaison.exe"};
  argv.insert(argv.end(), options.args.begin(), options.args.end());
  return {argv, options};
}

Process::Process(const std::vector<std::string>& argv, const std::string& dir,
                 const RunOptions& options)
    : timeoutSeconds_(options.timeoutSeconds) {
  int in[2], out[2];
  if (options.terminalColumns > 0) {
    // One pty for both: the program sees a terminal, the test its master end.
    winsize size{};
    size.ws_col = static_cast<unsigned short>(options.terminalColumns);
    size.ws_row = 24;
    if (openpty(&terminal_, &in[0], nullptr, nullptr, &size) != 0) return;
    out[1] = in[0];
    in[1] = fcntl(terminal_, F_DUPFD_CLOEXEC, 0);
    out[0] = fcntl(terminal_, F_DUPFD_CLOEXEC, 0);
    fcntl(terminal_, F_SETFD, FD_CLOEXEC);
  } else if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
    return;
  }
  RunOptions all = options;
  if (OnWindows()) {
    // Wine's helpers write to standard error; the program itself never does.
    all.nullStderr = true;
    all.env.insert(all.env.begin(),
                   {"WINEPREFIX=" + (WineBuild() + "/wineprefix"), "WINEDEBUG=-all"});
  }
  pid_ = Spawn(argv, dir, in[0], out[1], all);
  close(in[0]);
  if (out[1] != in[0]) close(out[1]);
  in_ = in[1];
  out_ = out[0];
  fcntl(in_, F_SETFL, O_NONBLOCK);
  fcntl(out_, F_SETFL, O_NONBLOCK);
}

Process::~Process() {
  if (pid_ > 0 && !ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (in_ >= 0) close(in_);
  if (out_ >= 0) close(out_);
  if (terminal_ >= 0) close(terminal_);
}

void Process::Type(const std::string& text) {
  pendingIn_ += text;
  Pump(false);
}

bool Process::WaitFor(const std::string& text) {
  return Pump(false, &text);
}

bool Process::Pump(bool untilEnd, const std::string* text) {
  signal(SIGPIPE, SIG_IGN);
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
  for (;;) {
    char chunk[65536];
    ssize_t n;
    while ((n = read(out_, chunk, sizeof chunk)) > 0)
      exit_.out.append(chunk, static_cast<size_t>(n));
    if (text && exit_.out.find(*text) != std::string::npos) return true;
    if (!untilEnd && !text && pendingIn_.empty()) return true;
    if (ended_) return false;
    if (!pendingIn_.empty() && in_ >= 0) {
      n = write(in_, pendingIn_.data(), pendingIn_.size());
      if (n > 0) pendingIn_.erase(0, static_cast<size_t>(n));
      if (n < 0 && errno == EPIPE) pendingIn_.clear();
    }
    if (untilEnd && pendingIn_.empty() && in_ >= 0) {
      close(in_);
      in_ = -1;
    }
    bool late = Clock::now() > deadline;
    if (late) {
      exit_.timedOut = true;
      kill(pid_, SIGKILL);
    }
    rusage usage{};
    if (wait4(pid_, &rawStatus_, late ? 0 : WNOHANG, &usage) == pid_) {
      exit_.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
      exit_.maxRssKb = usage.ru_maxrss;
      ended_ = true;
      continue;  // one last look at what it wrote
    }
    pollfd fds[2] = {{out_, POLLIN, 0}, {pendingIn_.empty() ? -1 : in_, POLLOUT, 0}};
    poll(fds, 2, 20);
  }
}

Exit Process::Finish() {
  Pump(true);
  exit_.status = StatusOf(rawStatus_);
  return exit_;
}

Liaison::Liaison(const std::string& dir, const std::string& port, const RunOptions& options)
    : Liaison(dir, LiaisonCommand(port, options)) {}

Liaison::Liaison(const std::string& dir, const Command& command)
    : Process(command.argv, dir, command.options) {}

Exit Liaison::Finish() {
  Process::Finish();
  if (OnWindows()) exit_.out = FromWindowsConsole(exit_.out);
  return exit_;
}

Exit RunLiaison(const std::string& dir, const std::string& port, const std::string& typed,
                const RunOptions& options) {
  Liaison liaison(dir, port, options);
  liaison.Type(typed);
  return liaison.Finish();
}

Exit RunTexte(const std::string& dir, const std::vector<std::string>& args, RunOptions options) {
  std::vector<std::string> argv = {LIAISON_TEXTE_BIN};
  if (OnWindows()) {
    StartWineServer();
    argv = {WineTool("wine64"), WineBuild() + "/liaison-texte.exe"};
  }
  argv.insert(argv.end(), args.begin(), args.end());
  options.nullStderr = options.stderrPath.empty();
  Exit exit = Process(argv, dir, options).Finish();
  if (OnWindows()) exit.out = FromWindowsConsole(exit.out);
  return exit;
}

Calculator::Calculator(const TempDir& dir, std::vector<std::string> args, bool log) : dir_(dir) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  args.insert(args.begin(), LIAISON_SIM_BIN);
  if (log) args.insert(args.end(), {"--log", dir / "sim.log"});
  args.insert(args.end(), {"--report", dir / "report.txt"});
  pid_ = Spawn(args, "", -1, out[1], RunOptions{});
  close(out[1]);
  char c;
  while (read(out[0], &c, 1) == 1 && c != '\n') port_ += c;
  close(out[0]);
  if (port_.empty()) ADD_FAILURE() << "liaison-sim gave no port";
}

Calculator::~Calculator() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void Calculator::Finish() {
  for (int i = 0; i < 200 && pid_ > 0; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    // Its last word: it has taken all that came and waits for the port.
    std::string report = Report();
    const std::string idle = "pc_closed\n";
    if (report.size() >= idle.size() &&
        report.compare(report.size() - idle.size(), idle.size(), idle) == 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string Calculator::Field(const std::string& key) const {
  std::string report = Report();
  size_t at = report.find(key + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 1;
  return report.substr(at, report.find('\n', at) - at);
}

Bytes Calculator::Logged(char direction) const {
  std::istringstream log(ReadAll(dir_ / "sim.log"));
  Bytes bytes;
  std::string at, dir, hex;
  while (log >> at >> dir >> hex) {
    if (dir[0] == direction)
      bytes.push_back(static_cast<unsigned char>(std::stoi(hex, nullptr, 16)));
  }
  return bytes;
}

std::string Repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

std::vector<std::string> Listed(const std::string& folder) {
  std::vector<std::string> found;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = d ? readdir(d) : nullptr)
    if (e->d_name[0] != '.') found.push_back(e->d_name);
  if (d) closedir(d);
  std::sort(found.begin(), found.end());
  return found;
}

int LeftBehind(const TempDir& dir) {
  int count = 0;
  DIR* d = opendir(dir.Path().c_str());
  while (dirent* e = d ? readdir(d) : nullptr)
    if (std::string(e->d_name).compare(0, 8, ".liaison") == 0) ++count;
  if (d) closedir(d);
  return count;
}
