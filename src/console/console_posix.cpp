#include <fcntl.h>
#include <poll.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>

#include "console/console.h"

namespace {

// The terminal's modes while a pause holds it in raw mode: a signal that
// ends the program puts them back first, or the user's shell would be left
// without echo and without line editing.
termios savedModes;
int savedModesFd = -1;
volatile sig_atomic_t modesChanged = 0;

char lastWords[256];
volatile sig_atomic_t lastWordsLength = 0;

volatile sig_atomic_t stopOnSignals = 0;
volatile sig_atomic_t stopAsked = 0;

extern "C" void EndOnSignal(int signal) {
  if (stopOnSignals && !stopAsked) {  // the first: a stop at the next clean point
    stopAsked = signal;
    return;
  }
  if (modesChanged) tcsetattr(savedModesFd, TCSANOW, &savedModes);
  if (lastWordsLength > 0) {
    ssize_t written = write(STDOUT_FILENO, lastWords, static_cast<size_t>(lastWordsLength));
    (void)written;  // nothing more can be done for them now
  }
  // Then the end the signal asks for, with its conventional status; the
  // system releases the serial line as it does at a normal end.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void EndCleanlyOn(int signal) {
  struct sigaction action {
  }, previous{};
  sigaction(signal, nullptr, &previous);
  if (previous.sa_handler == SIG_IGN) return;  // started under nohup, say: left as it is
  action.sa_handler = EndOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

bool KeyWaiting(Console& con, char* key) {
  if (con.taken < con.pending.size()) {
    *key = con.pending[con.taken++];
    return true;
  }
  if (con.inFd < 0) return false;
  pollfd p{con.inFd, POLLIN, 0};
  if (poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) return false;
  return ReadConsoleBytes(con.inFd, key, 1) == 1;
}

bool DrawsUtf8(Console&) {
  return true;
}

void StopOnSignals(bool on) {
  stopOnSignals = on;
}

int StopAsked() {
  return stopAsked;
}

void SetLastWords(const std::string& words) {
  lastWordsLength = 0;  // a signal meanwhile says nothing rather than half
  size_t n = words.size() < sizeof lastWords - 1 ? words.size() : sizeof lastWords - 1;
  std::memcpy(lastWords, words.data(), n);
  lastWordsLength = static_cast<sig_atomic_t>(n);
}

void OpenConsole(Console& con) {
  // Started with a standard stream closed, the serial device would be given
  // its number, and the console would read from the line: hold the three.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) < 0) open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
  }
  con.inFd = STDIN_FILENO;
  con.out = stdout;
  con.inIsTerminal = isatty(STDIN_FILENO) == 1;
  con.outIsTerminal = isatty(STDOUT_FILENO) == 1;
  std::setlocale(LC_CTYPE, "");
  con.utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  // A full disk or a file size limit must come back as a failed write that
  // the program reports, not as a signal that kills it in mid-transfer.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) EndCleanlyOn(signal);
}

int ConsoleColumns(const Console& con) {
  winsize size{};
  return ioctl(fileno(con.out), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

int ConsoleRows(const Console& con) {
  winsize size{};
  return ioctl(fileno(con.out), TIOCGWINSZ, &size) == 0 ? size.ws_row : 0;
}

long ReadConsoleBytes(int fd, char* buffer, unsigned long size) {
  for (;;) {
    ssize_t n = read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

void ClearScreen(Console& con) {
  if (con.outIsTerminal) Say(con, "\033[H\033[2J\033[3J");
}

// One key on a terminal (raw mode, restored at once), one line otherwise.
void WaitForKey(Console& con, bool withPrompt) {
  if (withPrompt) Say(con, "Appuyez sur une touche pour continuer...");
  bool keyWaiting = con.taken < con.pending.size();
  termios saved{};
  if (con.inFd >= 0 && con.inIsTerminal && !keyWaiting && tcgetattr(con.inFd, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    savedModes = saved;
    savedModesFd = con.inFd;
    modesChanged = 1;
    tcsetattr(con.inFd, TCSANOW, &raw);
    char key;
    ReadConsoleBytes(con.inFd, &key, 1);
    tcsetattr(con.inFd, TCSANOW, &saved);
    modesChanged = 0;
  } else {
    TakeLineOfInput(con);
  }
  if (withPrompt) Say(con, "\n");
}
