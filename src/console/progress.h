// The "done out of total, time left" line of a long data phase. Shown only on
// a terminal, rewritten in place and erased at the end, so that the console
// text around it is the program's usual text.
#pragma once

#include <chrono>

#include "console/console.h"

class Progress {
 public:
  // A total below zero is unknown: the line then shows the bytes so far only.
  Progress(Console& con, int total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  void Update(int done);

 private:
  Console& con_;
  int total_;
  bool shown_;
  int column_;  // where the line begins: after the phase's message
  std::chrono::steady_clock::time_point start_;
};
