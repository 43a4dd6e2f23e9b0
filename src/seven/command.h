// Protocol 7.00's commands: their codes, the payload that carries their
// fields, the data packets that carry a file, and the device information.
#pragma once

#include <string>
#include <vector>

#include "seven/packet.h"

namespace seven {

// The commands Liaison sends or answers. It never sends those that erase or
// reprogram a calculator (00, 2A, 4A, 4F, 50, 52 to 56, and the flashing
// codes): they have no code here.
enum Code : int {
  kDeviceInfo = 0x01,
  kLinkSettings = 0x02,
  kVerify = 0x09,
  kRequestMain = 0x24,
  kMainFile = 0x25,
  kDeleteMain = 0x26,
  kRequestAllMain = 0x29,
  kRequestMainFree = 0x2B,
  kMainFree = 0x2C,
  kRequestMainList = 0x2D,
  kMainInfo = 0x2E,
  kRequestStorage = 0x44,
  kStorageFile = 0x45,
  kDeleteStorage = 0x46,
  kRequestStorageFree = 0x4B,
  kStorageFree = 0x4C,
  kRequestStorageList = 0x4D,
  kStorageInfo = 0x4E,
  kOptimize = 0x51,
};

// Overwrite modes: ask (the calculator answers NAK 02 when the file exists),
// stop if it exists, overwrite without asking.
constexpr int kAsk = 0x00, kNoOverwrite = 0x01, kOverwrite = 0x02;

struct Fields {
  int overwrite = 0;
  int type = 0;            // main-memory type (01 program)
  unsigned long size = 0;  // file size or capacity
  std::string d[6];        // D1 directory, D2 name, D3 group, D4, D5 device, D6
  bool Empty() const;
};

// The command's packet: basic when every field is empty, else its payload.
Packet Command(int code, const Fields& fields = Fields());
// The fields of a command's payload; false for a payload of another length
// or with a fixed part that is not hexadecimal.
bool ReadFields(const Packet& command, Fields* fields);

// A main-memory file's fields (command 25, 24, 26): D1 directory, D2 name,
// D3 group; a storage file's (45, 44, 46): D1 folder, D2 name, D5 device.
Fields MainFields(const std::string& directory, const std::string& name, const std::string& group,
                  int type, unsigned long size = 0);
Fields StorageFields(const std::string& folder, const std::string& name, unsigned long size = 0,
                     const std::string& device = "fls0");

// A file in data packets of 256 bytes (the last one the rest), numbered from
// 1, their subtype the command's code. An empty file has none.
std::vector<Packet> DataPackets(int code, const std::string& content);
constexpr size_t kDataPiece = 256;

// The pieces of a file as they come, checked: numbering without gaps, the
// same total in every packet, at least one byte each, never more than the
// announced size, and the size reached exactly with the last.
class DataReceiver {
 public:
  DataReceiver(int code, unsigned long size) : code_(code), size_(size) {}
  // False, with why, for a packet that breaks these rules.
  bool Take(const Packet& packet, std::string* why);
  bool Done() const { return content_.size() == size_ && (size_ == 0 || current_ == total_); }
  const std::string& Content() const { return content_; }

 private:
  int code_;
  unsigned long size_;
  unsigned long total_ = 0, current_ = 0;
  std::string content_;
};

// The calculator's identity and sizes, as command 01's answer carries them.
struct DeviceInfo {
  std::string hardwareId, processor;
  std::string romKiB, flashKiB, ramKiB;  // 8 decimal digits each
  std::string romVersion, bootVersion, bootOffset, bootSizeKiB;
  std::string osVersion, osOffset, osSizeKiB;
  std::string protocol, productId, userName, organisation;
};
// False for a payload shorter than the 164 bytes of the fx-9860G family.
bool ReadDeviceInfo(const std::string& payload, DeviceInfo* info);
// The 164 bytes a PC answers with when the calculator asks (command 01).
std::string DeviceInfoPayload(const DeviceInfo& info);
// The model in words, from the hardware id: "Graph 35+ (SH4)"; empty when
// the id is not known.
std::string ModelOf(const std::string& hardwareId);
// Whether a calculator takes this speed (command 02's D1): 300, 600, 1200,
// 2400, 4800, 9600, 19200, 38400, 57600 or 115200, written so.
bool IsCalculatorSpeed(const std::string& baud);

}  // namespace seven
