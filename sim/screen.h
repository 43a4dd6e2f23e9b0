// Screen captures as the calculator sends them, drawn from plain netpbm
// pictures (P1) that the tests make.
#pragma once

#include <string>
#include <vector>

#include "transmission.h"

struct ScreenPlan {
  std::vector<std::string> pictures;  // one: monochrome; three: colour sheets
  std::vector<int> colours = {1, 2, 4};
  bool colourOutOfSum = false;  // the sheets' checksums leave their colour byte out
  bool badHeader = false;
};

// False, with a message on stderr, for a picture that cannot be read.
bool BuildCapture(const ScreenPlan& plan, SimItem* capture);
