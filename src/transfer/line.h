// Waiting on the calculator, shared by both transfers.
#pragma once

#include <chrono>

#include "app/console.h"

// Reads single bytes until `wanted` comes; every other byte and every read
// that times out is ignored. False when the line to the calculator is gone.
bool AwaitByte(unsigned char wanted);
// One read of one byte: 0 when nothing came in time. False when the line is gone.
bool ReadAnswerByte(unsigned char* byte);

// The "done out of total, time left" line of a long data phase. Shown only on
// a terminal, rewritten in place and erased at the end, so that the console
// text around it is the program's usual text.
class Progress {
 public:
  Progress(Console& con, int total);
  ~Progress();
  // How many bytes to move at once: small steps while the line is shown.
  int Step(int left) const { return shown_ && left > kStep ? kStep : left; }
  void Update(int done);

 private:
  static constexpr int kStep = 256;
  Console& con_;
  int total_;
  bool shown_;
  std::chrono::steady_clock::time_point start_;
};
