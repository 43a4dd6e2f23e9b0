// The working state: every buffer the two transfers use. main owns it for
// the whole run and lends it to them.
#pragma once

#include <string>

#include "console/console.h"
#include "link/link.h"

constexpr int CONTENT_SIZE = 66000;
constexpr int MAX_RECEIVED = CONTENT_SIZE - 1;  // the last byte is never written

struct WorkState {
  unsigned char content[CONTENT_SIZE];
  LinkHeader received;
  LinkHeader outgoing;
  char name[13];  // 8 name characters, then ".txt" for the file name, then 0
  char password[9];
  std::string fileName;
  unsigned char reply;
  unsigned char answer;
  int menuChoice;
  int answerChoice;
  Console con;
};

// How a transfer ends: back to the menu, end of the program (status 0), or
// end of the program because the line to the calculator is gone (status -1).
enum class Outcome { Menu, End, LineLost };
