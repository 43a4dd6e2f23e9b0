// The simulated Casio Graph calculator: the sending and the receiving side of
// one exchange, each with the deviations a test may ask for.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "wire.h"

struct SendPlan {
  std::string name = "DEMO";
  std::vector<unsigned char> content;
  std::string password;
  std::string type = "TXT";  // bytes 1 to 3 of the header
  bool badChecksum = false;
  int noise = 0;         // random bytes before the request
  int headerPieces = 1;  // the header sent in this many pieces...
  int pieceGapMs = 0;    // ...with this pause between them
  int headerCut = -1;    // only this many header bytes, then silence
  int dataCut = -1;      // only this many bytes of the data block
  bool badDataChecksum = false;
  std::string vanish;  // "request", "header" or "data": close the line there
};

struct ReceivePlan {
  int answer = 0x06;      // the answer to the header; -1: none
  int answerDelayMs = 0;  // a late answer
  std::string vanish;     // "ready", "answer", "data" or "ack": close the line there
};

bool SendNoise(Wire& wire, int count);
// Returns false when the line is gone.
bool SendProgram(Wire& wire, const SendPlan& plan, bool requestAlreadySent);
bool ReceiveProgram(Wire& wire, const ReceivePlan& plan, FILE* report, bool requestAlreadyRead);
