// The simulated calculator's end of the line: every byte logged with a time
// stamp, and optionally paced at the real line rate.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

class Wire {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kGone = -2;
  static constexpr int kNothing = -1;

  // Creates a pseudo-terminal pair and returns the path of the PC's side.
  bool CreatePty(std::string* path);
  // Opens a real serial device at the calculator's line settings.
  bool OpenDevice(const std::string& device);
  // Waits until the PC has opened and configured its side of the pty.
  bool AwaitPc();
  void Close();

  void SetLog(FILE* log) { log_ = log; }
  void SetPace(bool pace) { pace_ = pace; }
  // A new speed (parity, stop bits) for the line from now on: the pacing,
  // and a real device's own settings; the log says it ("S 115200/11").
  bool SetSpeed(long baud, bool evenParity, bool twoStops);
  // The speed the PC's side of the pty is set to, or 0 where it is not told.
  long PcSpeed() const;

  bool Send(const unsigned char* bytes, int count);
  bool SendByte(unsigned char byte) { return Send(&byte, 1); }
  // The next byte from the PC, kNothing after timeoutMs (< 0: no limit), or kGone.
  int Receive(int timeoutMs);
  // After the PC closed its side of the pty: true once it has opened it
  // again (within a minute), false otherwise or on a real device.
  bool AwaitReopen();
  // Whether a byte from the PC is there, or comes within timeoutMs; it
  // stays to be received.
  bool Waiting(int timeoutMs);
  // Waits for `wanted`, skipping other bytes; false when the line is gone.
  bool Expect(unsigned char wanted);
  // Reads count bytes; returns how many came before timeoutMs of silence.
  int ReceiveBlock(unsigned char* bytes, int count, int timeoutMs);

 private:
  void Log(char direction, unsigned char byte);
  bool WriteAll(const unsigned char* bytes, int count);
  Clock::time_point Paced(Clock::time_point previous) const;
  // 1 start bit, 8 data bits and 2 stop bits at 9600 bit/s, to begin with.
  std::chrono::nanoseconds byteTime_{11 * 1000000000LL / 9600};
  int fd_ = -1;
  bool pty_ = false;
  FILE* log_ = nullptr;
  bool pace_ = false;
  Clock::time_point start_ = Clock::now();
  // One wire for both directions: a byte starts once the one before it,
  // whichever way it went, has crossed.
  Clock::time_point lastOnLine_{};
};
