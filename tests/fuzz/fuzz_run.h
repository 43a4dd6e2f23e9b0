// One run of the whole program for a fuzzer: typed answers and calculator
// bytes in, everything else thrown away. The in-memory line ends every run.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/liaison.h"
#include "support/memory_line.h"

namespace fuzz {

constexpr unsigned char kGap = 0xF0;  // F0 k: k × 100 ms of silence before the next byte

// The calculator's bytes, with the silences the input asks for.
inline void Script(MemoryLine& line, const unsigned char* data, size_t size) {
  long gap = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == kGap && i + 1 < size) {
      gap += data[++i] * 100L;
      continue;
    }
    line.Then({data[i]}, gap);
    gap = 0;
  }
  line.SetIdleReads(3);
}

inline WorkState& State() {
  static WorkState* state = [] {
    char dir[] = "/tmp/liaison-fuzz-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0) std::abort();
    auto* s = new WorkState();
    s->con.out = std::fopen("/dev/null", "w");
    return s;
  }();
  return *state;
}

inline void Run(const std::string& typed) {
  WorkState& s = State();
  s.con.inFd = -1;
  s.con.pending = typed;
  s.con.taken = 0;
  s.con.lastWasNewline = true;
  RunLiaison(s);
  if (s.name[0]) unlink(s.name);  // a received file: the next run starts clean
}

}  // namespace fuzz
