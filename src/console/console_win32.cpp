#include <conio.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "console/console.h"

namespace {

char lastWords[256];
volatile LONG lastWordsLength = 0;
volatile UINT codePageBefore = 0;  // the console's, while the program has it in UTF-8

void GiveCodePageBack() {
  if (codePageBefore) SetConsoleOutputCP(codePageBefore);
}

volatile LONG stopOnSignals = 0;
volatile LONG stopAsked = 0;

// Ctrl-C, Ctrl-Break, the window closed: the last words, the console as it
// was, then the end the system would give (on a thread of its own). While a
// stop is wanted instead, the first Ctrl-C or Ctrl-Break only asks for it.
BOOL WINAPI SayLastWords(DWORD event) {
  bool key = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  if (key && stopOnSignals && InterlockedCompareExchange(&stopAsked, 2, 0) == 0) return TRUE;
  LONG n = lastWordsLength;
  if (n > 0) _write(1, lastWords, static_cast<unsigned>(n));
  GiveCodePageBack();
  return FALSE;
}

bool HandlerInstalled() {
  static bool installed = SetConsoleCtrlHandler(SayLastWords, TRUE) != 0;
  return installed;
}

}  // namespace

bool KeyWaiting(Console& con, char* key) {
  if (con.taken < con.pending.size()) {
    *key = con.pending[con.taken++];
    return true;
  }
  if (!_isatty(0) || !_kbhit()) return false;
  int c = _getch();
  *key = c == '\r' ? '\n' : static_cast<char>(c);
  return true;
}

bool DrawsUtf8(Console& con) {
  if (!con.outIsTerminal) return true;
  if (codePageBefore) return true;
  UINT before = GetConsoleOutputCP();
  if (!SetConsoleOutputCP(CP_UTF8)) return false;
  codePageBefore = before;
  HandlerInstalled();
  std::atexit(GiveCodePageBack);
  return true;
}

void StopOnSignals(bool on) {
  HandlerInstalled();
  stopOnSignals = on ? 1 : 0;
}

int StopAsked() {
  return static_cast<int>(stopAsked);
}

void SetLastWords(const std::string& words) {
  HandlerInstalled();
  lastWordsLength = 0;
  size_t n = words.size() < sizeof lastWords - 1 ? words.size() : sizeof lastWords - 1;
  std::memcpy(lastWords, words.data(), n);
  lastWordsLength = static_cast<LONG>(n);
}

void OpenConsole(Console& con) {
  con.inFd = 0;
  con.out = stdout;
  con.utf8 = false;
  // The progress line rewrites itself with terminal sequences: only on a
  // console that takes them.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  con.outIsTerminal = _isatty(1) != 0 && GetConsoleMode(out, &mode) &&
                      SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

// One byte at a time: whatever the program has not taken stays with the
// system, where the command interpreter's PAUSE finds it.
long ReadConsoleBytes(int fd, char* buffer, unsigned long size) {
  return _read(fd, buffer, size > 0 ? 1u : 0u);
}

int ConsoleColumns(const Console&) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int ConsoleRows(const Console&) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return 0;
  return info.srWindow.Bottom - info.srWindow.Top + 1;
}

void ClearScreen(Console& con) {
  std::fflush(con.out);
  std::system("cls");
}

void WaitForKey(Console& con, bool withPrompt) {
  std::fflush(con.out);
  std::system(withPrompt ? "PAUSE" : "PAUSE>>nul");
}
