// The simulated calculator of the fx-9860G family, speaking Protocol 7.00
// with its own packet code: passive (the PC drives it) with a main memory and
// a storage memory, or active (LINK, Transmit) sending the files of a .g1m.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "wire.h"

struct SevenFile {
  std::string group, directory, name;  // storage: directory = folder, group unused
  int type = 0;
  std::string content;
};

struct SevenPlan {
  std::vector<SevenFile> main;     // main memory, from .g1m files
  std::vector<SevenFile> storage;  // fls0
  std::string keep;                // a folder: every file received is written there
  std::string user = "ALICE";
  bool noStorage = false;  // a model without storage memory: its commands get NAK 00
  int corruptOnce = 0;     // its N-th packet (from 1) goes with a wrong checksum, once
  int askResend = 0;       // its answer to the PC's N-th packet is NAK 01, once
  int silentOnce = 0;      // no answer to the PC's N-th packet, once
  int vanishAfter = 0;     // the line closes after the PC's N-th packet
  bool silent = false;     // answers nothing at all
  bool full = false;       // a file sent to it: NAK 05, memory full
  // Each data packet's ACK held up to this many milliseconds, as a
  // calculator on USB does; sent at once when the PC's next packet begins.
  int ackDelay = 0;
  bool shift = false;  // its own files of 3 packets or more go one packet ahead
  int refuseData = 0;  // the N-th data packet of a file gets NAK 00; the file is not kept
  std::string hardwareId = "Gy362007";
  int transmitGap = 0;   // milliseconds between two files it transmits
  bool misname = false;  // a file it sends names the folder AUTRE, whatever was asked
  // Active: the files it transmits; its line goes to this speed first.
  std::vector<SevenFile> transmit;
  long transmitSpeed = 115200;
  bool tenBytes = true;  // a burst of 0x10 first
};

// A .g1m's files, read here from the layout; false for a file that is none.
bool ReadG1mFiles(const std::string& path, std::vector<SevenFile>* files);
// The PC drives: until the line closes.
bool ServeSeven(Wire& wire, SevenPlan& plan, FILE* report);
// The calculator sends its files by itself, then ends the link.
bool TransmitSeven(Wire& wire, const SevenPlan& plan, FILE* report);
