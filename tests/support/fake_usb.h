// A USB bus with one scripted device, for the USB line's logic: what it
// lists, how opening goes, what the calculator answers to each write, in
// transfers cut where the test says; a device that goes away.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "serial/usb.h"

class FakeUsbBus : public UsbBus {
 public:
  std::vector<UsbCalculator> devices = {UsbCalculator{1, 5, "CESG502", ""}};
  UsbOpen openResult = UsbOpen::Opened;
  // Called with the bytes of each write: the transfers to be read after it.
  std::function<std::vector<std::string>(const std::string&)> answer;
  int goneAfterReads = -1;   // reads that still work before the device is gone
  int goneAfterWrites = -1;  // writes likewise
  int silentReads = 0;       // reads that time out before the queue is served
  double bitsPerSecond = 0;  // > 0: each transfer takes its bytes' time on such a link
  std::string written;       // every byte written, in order
  std::vector<std::vector<int>> controls;
  int opened = 0, closed = 0, halts = 0;

  std::vector<UsbCalculator> Calculators() override { return devices; }
  UsbOpen Open(const UsbCalculator&, std::string* why) override;
  void Control(int requestType, int request, int value, int index) override {
    controls.push_back({requestType, request, value, index});
  }
  int Read(unsigned char* bytes, int size, int timeoutMs) override;
  int Write(const unsigned char* bytes, int size, int timeoutMs) override;
  void Close() override { ++closed; }
  void ClearHalt() override { ++halts; }
  // Transfers to be read, as the device would send them.
  void Queue(const std::string& transfer) { pending_.push_back(transfer); }

 private:
  void Pace(int bytes) const;
  std::deque<std::string> pending_;
  bool gone_ = false;
};
