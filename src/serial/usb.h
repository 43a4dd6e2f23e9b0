// The calculators of the fx-9860G family on their USB cable (07CF:6101):
// the same Protocol 7.00 bytes as on the serial line, carried by bulk
// transfers. A small interface stands for the USB library (libusb on Linux
// and macOS, WinUSB on Windows, a fake in the tests); the line backend on
// top of it is the same everywhere.
#pragma once

#include <string>
#include <vector>

#include "serial/serial.h"

struct UsbCalculator {
  int bus = 0, address = 0;
  std::string manufacturer;  // "CESG502" on the Graph 35+ to 95
  std::string path;          // Windows: the device's interface path
  int product = 0x6101;      // 6102 (fx-CG20), 6103 (Graph 90+E, Graph 35+E II)
  bool storage = false;      // interface class 08: mass storage, not the bulk stream
};
// "Graph 90+E / 35+E II, disque USB" for a mass-storage calculator; "" for
// the bulk one.
std::string UsbKind(const UsbCalculator& device);

enum class UsbOpen { Opened, NoPermission, Busy, Gone, Failed };

class UsbBus {
 public:
  virtual ~UsbBus() = default;
  // Every device with the ids 07CF:6101 (calculators, and ClassPads), 6102
  // and 6103 (the colour models, the Graph 35+E II).
  virtual std::vector<UsbCalculator> Calculators() = 0;
  // Claims interface 0 and finds its bulk endpoints.
  virtual UsbOpen Open(const UsbCalculator& device, std::string* why) = 0;
  // A control request with no data (300 ms at most); its result does not
  // matter to the calculators that do not need it.
  virtual void Control(int requestType, int request, int value, int index) = 0;
  // Bytes read (up to `size`), 0 when nothing came within `timeoutMs`, -1
  // when the device is gone.
  virtual int Read(unsigned char* bytes, int size, int timeoutMs) = 0;
  // Bytes written, -1 when the device is gone.
  virtual int Write(const unsigned char* bytes, int size, int timeoutMs) = 0;
  virtual void Close() = 0;
  // Clears a halt on both bulk endpoints (after a mass-storage reset).
  virtual void ClearHalt() {}
  // The library's own words for its last failure (for the trace).
  virtual std::string LibraryWords() const { return ""; }
};

// libusb or WinUSB, as the platform has it.
UsbBus& NativeUsbBus();

// The port operations over a USB calculator: reads served from a buffer of
// 4 KiB filled by bulk transfers (a transfer's bounds mean nothing: packets
// are cut by their own lengths), with the time-outs of g_cto; no speed.
class UsbLine final : public SerialBackend {
 public:
  explicit UsbLine(UsbBus& bus) : bus_(bus) {}
  // Opens the one calculator on USB and sends it the enabling request
  // (41 01 0000 0000) that some older models need before they answer; a
  // ClassPad (which answers the first two bytes of the initial check with its
  // own 05 at once) is refused.
  OpenResult Open(int port) override;
  void Close() override;
  int Read(unsigned char* buffer, int count, int* bytesRead) override;
  int Write(const unsigned char* buffer, int count, int* bytesWritten) override;
  std::string OpenError() const override { return why_; }
  std::string LibraryWords() const override { return bus_.LibraryWords(); }
  bool IsUsb() const override { return true; }
  // Only liaison ecran asks for another mode: the screen is what it wants,
  // which a mass-storage calculator gives too.
  void SetModeHint(const std::string& mode) override {
    mode_ = mode;
    screen_ = true;
  }

 private:
  bool Fill(int timeoutMs);  // false when the device is gone
  UsbBus& bus_;
  unsigned char buffer_[4096];
  int start_ = 0, end_ = 0;
  bool open_ = false, screen_ = false;
  std::string why_;
  std::string mode_ = "TransfDon (DataTrans)";
};
