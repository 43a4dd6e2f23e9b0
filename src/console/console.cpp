#include "console/console.h"

#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <string>

namespace {

constexpr unsigned long kInputChunk = 4096;

bool IsBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next byte of input without taking it; EOF at the end of input.
int Peek(Console& con) {
  if (con.taken == con.pending.size()) {
    con.pending.clear();
    con.taken = 0;
    if (con.inFd < 0) return EOF;
    char chunk[kInputChunk];
    long n = ReadConsoleBytes(con.inFd, chunk, sizeof chunk);
    if (n <= 0) {
      con.inFd = -1;  // end of input stays the end: never read again
      return EOF;
    }
    con.pending.assign(chunk, static_cast<size_t>(n));
  }
  return static_cast<unsigned char>(con.pending[con.taken]);
}

int Take(Console& con) {
  int c = Peek(con);
  if (c != EOF) {
    ++con.taken;
    con.lastWasNewline = c == '\n';
  }
  return c;
}

bool ParseNumber(const std::string& word, int* number) {
  size_t i = (word[0] == '-' || word[0] == '+') ? 1 : 0;
  if (i == word.size()) return false;
  long long value = 0;
  for (; i < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return false;
    if (value <= INT_MAX) value = value * 10 + (word[i] - '0');
  }
  if (word[0] == '-') value = -value;
  *number = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
  return true;
}

}  // namespace

void Say(Console& con, const char* format, ...) {
  char small[512];
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (length >= static_cast<int>(sizeof small)) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<size_t>(length));
  } else if (length > 0) {
    text.assign(small, static_cast<size_t>(length));
  }
  va_end(again);
  std::fwrite(text.data(), 1, text.size(), con.out);
  std::fflush(con.out);
  // Where the cursor stands, for the progress line.
  for (char c : text) con.column = c == '\n' || c == '\r' ? 0 : con.column + 1;
}

void SayHex(Console& con, const unsigned char* bytes, int count) {
  for (int i = 0; i < count; ++i) std::fprintf(con.out, "%02X ", bytes[i]);
  std::fflush(con.out);
  con.column += 3 * count;
}

const char* EAcute(const Console& con) {
  return con.utf8 ? "\xC3\xA9" : "\xE9";
}

Answer ReadWord(Console& con, std::string* word) {
  int c = Peek(con);
  while (c != EOF && IsBlank(c)) {
    Take(con);
    c = Peek(con);
  }
  if (c == EOF) return Answer::EndOfInput;
  word->clear();
  while (c != EOF && !IsBlank(c)) {
    word->push_back(static_cast<char>(Take(con)));
    c = Peek(con);
  }
  return Answer::Given;
}

Answer ReadNumber(Console& con, int* number) {
  std::string word;
  if (ReadWord(con, &word) == Answer::EndOfInput) return Answer::EndOfInput;
  if (ParseNumber(word, number)) return Answer::Given;
  if (!con.lastWasNewline) TakeLineOfInput(con);
  return Answer::NotNumber;
}

bool AskChoice(Console& con, int* choice, int low, int high) {
  for (;;) {
    int number = 0;
    Answer answer = ReadNumber(con, &number);
    if (answer == Answer::EndOfInput) return false;
    if (answer == Answer::Given) {
      *choice = number;
      if (number >= low && number <= high) return true;
    }
  }
}

// The line feed that ended the last answer is no key press: a pause takes
// what comes after it. Only bytes already read are looked at, so this never
// waits on the user.
static void DropAnswerLineEnd(Console& con) {
  while (!con.lastWasNewline && con.taken < con.pending.size()) {
    char c = con.pending[con.taken];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
    Take(con);
  }
}

void Pause(Console& con) {
  DropAnswerLineEnd(con);
  WaitForKey(con, true);
}

void SilentPause(Console& con) {
  DropAnswerLineEnd(con);
  WaitForKey(con, false);
}

void TakeLineOfInput(Console& con) {
  for (int c = Take(con); c != EOF && c != '\n'; c = Take(con)) {
  }
}

bool TerminalHasTrueColour() {
  const char* colours = std::getenv("COLORTERM");
  std::string said = colours ? colours : "";
  const char* windowsTerminal = std::getenv("WT_SESSION");
  return said == "truecolor" || said == "24bit" || (windowsTerminal && *windowsTerminal);
}
