// The console: every message the user sees, every answer the user types, and
// the three console operations (clear screen, pause, silent pause).
#pragma once

#include <cstdio>
#include <string>

struct Console {
  int inFd = 0;         // where answers come from; -1 once all of them are in `pending`
  std::string pending;  // bytes read from inFd and not yet taken
  size_t taken = 0;
  bool lastWasNewline = true;
  bool inIsTerminal = false;  // a pause takes one key rather than one line (POSIX)
  FILE* out = stdout;
  bool outIsTerminal = false;
  bool utf8 = false;  // the terminal wants "é" in UTF-8 rather than as the byte 0xE9
  int column = 0;     // of the cursor, after what Say wrote
};

// Binds the console to the process's standard streams and prepares the platform.
void OpenConsole(Console& con);

// Printed and flushed at once: every message must be on screen before the
// program waits on the line or on the user.
void Say(Console& con, const char* format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;
void SayHex(Console& con, const unsigned char* bytes, int count);
const char* EAcute(const Console& con);

enum class Answer { Given, NotNumber, EndOfInput };

// Whitespace-separated words of any length, as scanf("%s") would take them.
Answer ReadWord(Console& con, std::string* word);
// A word that is a whole decimal number. Any other word is dropped together
// with the rest of its line; `number` is only written when one is given.
Answer ReadNumber(Console& con, int* number);
// Reads numbers until one in [low, high] comes; false at end of input.
bool AskChoice(Console& con, int* choice, int low, int high);

void ClearScreen(Console& con);
void Pause(Console& con);
void SilentPause(Console& con);

// Takes input up to the end of the current line (a pause on non-terminal input).
void TakeLineOfInput(Console& con);

// Whether the console shows the drawing's UTF-8 blocks: a Windows console is
// switched to UTF-8 for as long as the program runs (false when it cannot
// be); elsewhere the bytes go as they are.
bool DrawsUtf8(Console& con);

// A byte the user typed, if one is waiting (never waits); false for none.
bool KeyWaiting(Console& con, char* key);

// While on, Ctrl-C (SIGINT, SIGTERM, SIGHUP; Windows' Ctrl-C and Ctrl-Break)
// asks the program to stop rather than ending it: what runs then stops at
// its next clean point (a Protocol 7.00 session brings the calculator back
// first). A second one ends it at once.
void StopOnSignals(bool on);
// The signal that asked to stop (SIGINT 2, SIGTERM 15, SIGHUP 1), or 0.
int StopAsked();

// The words said on standard output when a signal (Ctrl-C) ends the program,
// such as a summary of what was done; empty: none. At most 200 bytes.
void SetLastWords(const std::string& words);

// Platform pieces, one file per OS.
// The terminal's width now (it may have been resized); 0 when unknown.
int ConsoleColumns(const Console& con);
// The terminal's height in lines, 0 when not known.
int ConsoleRows(const Console& con);
// Whether the terminal says it draws 24-bit colour (COLORTERM truecolor or
// 24bit; Windows Terminal).
bool TerminalHasTrueColour();
long ReadConsoleBytes(int fd, char* buffer, unsigned long size);
void WaitForKey(Console& con, bool withPrompt);
