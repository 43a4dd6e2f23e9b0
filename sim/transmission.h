// The simulated calculator's whole transmissions: sending the items of an
// archive, and receiving into a memory that already holds some names.
#pragma once

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "wire.h"

struct TransmitPlan {
  std::string archive;          // the items to send, as an archive file
  int badPart = 0;              // item N (from 1): its first part's checksum is wrong
  int silentPart = 0;           // item N: half its first part, then silence
  int vanishPart = 0;           // item N: half its first part, then the line closes
  bool noEnd = false;           // no end header after the last item
  bool requestBetween = false;  // a new 0x16 before every item after the first
  int noise = 0;
  int headerGapMs = 0;   // each header in 4 pieces, this long apart
  int cutHeader = 0;     // item N: 20 bytes of its header, then silence
  int startDelayMs = 0;  // the first 0x16 this long after the PC opened the line
};

struct TakePlan {
  std::set<std::string> holds;   // names already in memory: answered 0x21
  std::set<std::string> refuse;  // formats ("VAL", "IMG"...) answered 0x24
  std::string archive;           // where the items received are written
};

using Block = std::vector<unsigned char>;
struct SimItem {
  Block header;
  std::vector<Block> parts;
};

bool Transmit(Wire& wire, const TransmitPlan& plan, FILE* report);
// The items given, as one transmission (with plan's faults and options).
bool TransmitItems(Wire& wire, const std::vector<SimItem>& items, const TransmitPlan& plan,
                   FILE* report);
bool Take(Wire& wire, const TakePlan& plan, FILE* report);
