// An in-memory serial line with a virtual clock: the calculator's bytes are
// scripted with their arrival times, the PC's bytes are recorded, and a
// read time-out costs no real time.
#pragma once

#include <deque>
#include <vector>

#include "serial/serial.h"

class MemoryLine : public SerialBackend {
 public:
  MemoryLine();
  ~MemoryLine() override;

  // Bytes that arrive `afterMs` after the previous arrival.
  MemoryLine& Then(std::vector<unsigned char> bytes, long afterMs = 0);
  // Once the script is used up, this many reads report nothing, then the
  // line is gone (so that every run ends).
  void SetIdleReads(int reads) { idleReadsLeft_ = reads; }
  void FailWrites(bool fail) { failWrites_ = fail; }
  // Writes after the first `n` fail: the line goes at that moment.
  void FailWritesAfter(int n) { writesLeft_ = n; }

  OpenResult Open(int) override { return OpenResult::Opened; }
  void Close() override {}
  int Read(unsigned char* buffer, int count, int* bytesRead) override;
  int Write(const unsigned char* buffer, int count, int* bytesWritten) override;
  // Each new speed, with how many bytes the PC had written before it.
  bool Configure() override {
    if (g_dcb.BaudRate != (speeds_.empty() ? startSpeed_ : speeds_.back().second))
      speeds_.push_back({written_.size(), g_dcb.BaudRate});
    return true;
  }
  const std::vector<std::pair<size_t, unsigned long>>& Speeds() const { return speeds_; }

  const std::vector<unsigned char>& Written() const { return written_; }
  long NowMs() const { return now_; }
  int Reads() const { return reads_; }

 private:
  struct Arrival {
    long at;
    unsigned char byte;
  };
  std::deque<Arrival> pending_;
  std::vector<unsigned char> written_;
  std::vector<std::pair<size_t, unsigned long>> speeds_;
  unsigned long startSpeed_ = g_dcb.BaudRate;
  long lastArrival_ = 0;
  long now_ = 0;
  int idleReadsLeft_ = 1000;
  int reads_ = 0;
  bool failWrites_ = false;
  int writesLeft_ = -1;
  SerialBackend* previous_;
};
