// The colour calculators on their USB cable (07CF:6102, 6103): a USB
// mass-storage device. In ScreenRecv mode their screen travels inside it as
// a byte stream, through three vendor SCSI commands: C0 asks how many bytes
// wait, C1 reads them, C2 writes. Each command goes by the bulk-only
// transport: a 31-byte wrapper, the data, a 13-byte status.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/usb.h"

enum class Scsi {
  Passed,
  Failed,  // the device says the command failed
  Broken,  // a wrong status, tag or phase, or no answer in time: the link was reset
  Gone,    // the device is gone
};

// One SCSI command with its data phase, by whatever reaches the device.
class ScsiDevice {
 public:
  virtual ~ScsiDevice() = default;
  // `in`: the data comes from the device into `data`; else it goes to it.
  virtual Scsi Command(const unsigned char (&block)[16], bool in, unsigned char* data, int length,
                       int timeoutMs) = 0;
  virtual std::string Words() const { return words_; }

 protected:
  std::string words_;  // what went wrong last, for the trace
};

// Bulk-only transport over the interface's two bulk endpoints. A status with
// a wrong signature or tag, a phase error, or a transfer past its time means
// the two ends no longer agree: the link is reset (the class request 21 FF,
// then the halts cleared on both endpoints).
class BulkOnly final : public ScsiDevice {
 public:
  explicit BulkOnly(UsbBus& pipe) : pipe_(pipe) {}
  Scsi Command(const unsigned char (&block)[16], bool in, unsigned char* data, int length,
               int timeoutMs) override;

 private:
  // All `length` bytes, in as many transfers as they take; false (and
  // `gone`) when they do not come in time.
  bool ReadAll(unsigned char* bytes, int length, int timeoutMs, bool* gone);
  bool WriteAll(const unsigned char* bytes, int length, int timeoutMs, bool* gone);
  Scsi Reset(const std::string& why);
  UsbBus& pipe_;
  std::uint32_t tag_ = 0;
};

// The stream of a calculator in ScreenRecv, as the line's byte transfers:
// Read polls with C0 (every 10 ms while nothing waits, every 50 ms once the
// calculator has been quiet for 30 polls, up to its time-out), then reads
// all that waits with one C1 and serves it; Write polls, then writes with
// C2, at most FFFF bytes a command.
class CasioStream {
 public:
  explicit CasioStream(ScsiDevice& device, std::function<void(int ms)> sleep = nullptr);
  // Bytes read (at most `size`), 0 when none came in `timeoutMs`, -1 when
  // the device is gone.
  int Read(unsigned char* bytes, int size, int timeoutMs);
  int Write(const unsigned char* bytes, int size, int timeoutMs);
  int Resets() const { return resets_; }

 private:
  // Bytes waiting, -1 gone, -2 the poll failed (the link was reset).
  int Poll(int timeoutMs);
  int Serve(unsigned char* bytes, int size);  // from what the last C1 brought
  ScsiDevice& device_;
  std::function<void(int ms)> sleep_;
  int resets_ = 0, quiet_ = 0;
  std::string buffer_;
  size_t at_ = 0;
};

// A bus whose mass-storage calculators (interface class 08) speak through
// CasioStream over the bulk-only transport; the others go through as they
// are.
class StorageAwareBus final : public UsbBus {
 public:
  explicit StorageAwareBus(UsbBus& raw) : raw_(raw) {}
  std::vector<UsbCalculator> Calculators() override { return raw_.Calculators(); }
  UsbOpen Open(const UsbCalculator& device, std::string* why) override;
  void Control(int requestType, int request, int value, int index) override;
  int Read(unsigned char* bytes, int size, int timeoutMs) override;
  int Write(const unsigned char* bytes, int size, int timeoutMs) override;
  void Close() override;
  std::string LibraryWords() const override;

 private:
  UsbBus& raw_;
  std::unique_ptr<BulkOnly> scsi_;
  std::unique_ptr<CasioStream> stream_;
};
