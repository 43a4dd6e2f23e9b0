// A Graph 90+E in ScreenRecv mode, at the level of its USB mass-storage
// interface: it takes the PC's command wrappers (bulk-only transport), and
// answers Casio's three commands: C0 (how many bytes wait), C1 (read them),
// C2 (the PC writes). What waits is its screen stream, made here from
// pictures with packet code of its own.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "wire.h"

struct ScreenRecvPlan {
  std::vector<std::string> pictures;  // P6/P3 colour pictures, or P1 (a 128 x 64 monochrome)
  int frames = 0;                     // frames to stream (0: each picture once)
  int fps = 30;                       // its pace
  std::string format = "1RC2";        // colour frames: 1RC2 or 1RC3
  int lose = 0;                       // the N-th frame loses bytes in its middle
  int damage = 0;                     // the N-th frame goes with a wrong checksum
  bool noAck = false;                 // streams without waiting for the PC's answer
};

// Streams until the PC closes its end; false when a picture cannot be read.
bool ServeScreenRecv(Wire& wire, const ScreenRecvPlan& plan, FILE* report);
