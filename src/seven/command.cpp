#include "seven/command.h"

namespace seven {

bool Fields::Empty() const {
  if (overwrite || type || size) return false;
  for (const std::string& s : d)
    if (!s.empty()) return false;
  return true;
}

Packet Command(int code, const Fields& fields) {
  if (fields.Empty()) return Basic(kCommand, code);
  std::string payload = Hex(static_cast<unsigned long>(fields.overwrite), 2) +
                        Hex(static_cast<unsigned long>(fields.type), 2) + Hex(fields.size, 8);
  for (const std::string& s : fields.d) payload += Hex(s.size(), 2);
  for (const std::string& s : fields.d) payload += s;
  return Extended(kCommand, code, payload);
}

bool ReadFields(const Packet& command, Fields* fields) {
  *fields = Fields();
  if (!command.extended) return true;
  const std::string& p = command.data;
  unsigned long ow = 0, type = 0, lengths[6] = {};
  if (!ReadHex(p, 0, 2, &ow) || !ReadHex(p, 2, 2, &type) || !ReadHex(p, 4, 8, &fields->size))
    return false;
  size_t total = 24;
  for (int i = 0; i < 6; ++i) {
    if (!ReadHex(p, 12 + 2 * i, 2, &lengths[i])) return false;
    total += lengths[i];
  }
  if (p.size() != total) return false;
  fields->overwrite = static_cast<int>(ow);
  fields->type = static_cast<int>(type);
  size_t at = 24;
  for (int i = 0; i < 6; ++i) {
    fields->d[i] = p.substr(at, lengths[i]);
    at += lengths[i];
  }
  return true;
}

Fields MainFields(const std::string& directory, const std::string& name, const std::string& group,
                  int type, unsigned long size) {
  Fields f;
  f.type = type;
  f.size = size;
  f.d[0] = directory;
  f.d[1] = name;
  f.d[2] = group;
  return f;
}

Fields StorageFields(const std::string& folder, const std::string& name, unsigned long size,
                     const std::string& device) {
  Fields f;
  f.size = size;
  f.d[0] = folder;
  f.d[1] = name;
  f.d[4] = device;
  return f;
}

std::vector<Packet> DataPackets(int code, const std::string& content) {
  std::vector<Packet> packets;
  unsigned long total = (content.size() + kDataPiece - 1) / kDataPiece;
  for (unsigned long i = 0; i < total; ++i)
    packets.push_back(Extended(
        kData, code, Hex(total, 4) + Hex(i + 1, 4) + content.substr(i * kDataPiece, kDataPiece)));
  return packets;
}

bool DataReceiver::Take(const Packet& packet, std::string* why) {
  unsigned long total = 0, current = 0;
  if (packet.type != kData || packet.subtype != code_ || packet.data.size() < 9 ||
      !ReadHex(packet.data, 0, 4, &total) || !ReadHex(packet.data, 4, 4, &current)) {
    *why = "paquet de donnees mal forme";
    return false;
  }
  if (total == 0 || (total_ != 0 && total != total_)) {
    *why = "nombre de paquets " + std::to_string(total) + " au lieu de " + std::to_string(total_);
    return false;
  }
  if (current != current_ + 1 || current > total) {
    *why = "paquet " + std::to_string(current) + " apres le paquet " + std::to_string(current_);
    return false;
  }
  size_t bytes = packet.data.size() - 8;
  if (content_.size() + bytes > size_ || (current == total && content_.size() + bytes != size_)) {
    *why = "donnees de " + std::to_string(content_.size() + bytes) + " octets pour " +
           std::to_string(size_) + " annonces";
    return false;
  }
  total_ = total;
  current_ = current;
  content_.append(packet.data, 8, bytes);
  return true;
}

namespace {

constexpr size_t kInfoSize = 164;

// A text field ends at its first 00 or FF, or any byte from 80 on.
std::string TextAt(const std::string& p, size_t at, size_t length) {
  std::string text;
  for (size_t i = at; i < at + length; ++i) {
    unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == 0 || c >= 0x80) break;
    text += static_cast<char>(c);
  }
  return text;
}

// A version is there when its third byte is '.'.
std::string VersionAt(const std::string& p, size_t at) {
  return p[at + 2] == '.' ? TextAt(p, at, 16) : "";
}

void Put(std::string* p, const std::string& text, size_t length) {
  std::string field = text.substr(0, length);
  field.resize(length, '\xFF');
  *p += field;
}

}  // namespace

bool ReadDeviceInfo(const std::string& p, DeviceInfo* info) {
  if (p.size() < kInfoSize) return false;
  info->hardwareId = TextAt(p, 0, 8);
  info->processor = TextAt(p, 8, 16);
  info->romKiB = TextAt(p, 24, 8);
  info->flashKiB = TextAt(p, 32, 8);
  info->ramKiB = TextAt(p, 40, 8);
  info->romVersion = VersionAt(p, 48);
  info->bootVersion = VersionAt(p, 64);
  info->bootOffset = TextAt(p, 80, 8);
  info->bootSizeKiB = TextAt(p, 88, 8);
  info->osVersion = VersionAt(p, 96);
  info->osOffset = TextAt(p, 112, 8);
  info->osSizeKiB = TextAt(p, 120, 8);
  info->protocol = TextAt(p, 128, 4);
  info->productId = TextAt(p, 132, 16);
  // The colour models' longer form: 20 bytes of user name, then the
  // organisation.
  bool longer = p.size() >= 188;
  info->userName = TextAt(p, 148, longer ? 20 : 16);
  info->organisation = longer ? TextAt(p, 168, 20) : "";
  return true;
}

std::string DeviceInfoPayload(const DeviceInfo& info) {
  std::string p;
  Put(&p, info.hardwareId, 8);
  Put(&p, info.processor, 16);
  Put(&p, info.romKiB, 8);
  Put(&p, info.flashKiB, 8);
  Put(&p, info.ramKiB, 8);
  Put(&p, info.romVersion, 16);
  Put(&p, info.bootVersion, 16);
  Put(&p, info.bootOffset, 8);
  Put(&p, info.bootSizeKiB, 8);
  Put(&p, info.osVersion, 16);
  Put(&p, info.osOffset, 8);
  Put(&p, info.osSizeKiB, 8);
  Put(&p, info.protocol, 4);
  Put(&p, info.productId, 16);
  Put(&p, info.userName, 16);
  return p;
}

bool IsCalculatorSpeed(const std::string& baud) {
  static const char* const kSpeeds[] = {"300",  "600",   "1200",  "2400",  "4800",
                                        "9600", "19200", "38400", "57600", "115200"};
  for (const char* speed : kSpeeds)
    if (baud == speed) return true;
  return false;
}

std::string ModelOf(const std::string& id) {
  struct Model {
    const char* id;
    const char* name;
  };
  static const Model models[] = {
      {"Gy362006", "Graph 35+ (SH3)"},
      {"Gy362007", "Graph 35+ (SH4) ou Graph 35+E"},
      {"Gy36200F", "Graph 35+E"},
      {"Gy363006", "Graph 75 (SH3)"},
      {"Gy363007", "Graph 75 ou Graph 95 (SH4)"},
      {"Gy36300F", "Graph 75+E"},
      {"Ly755000", "fx-CG20 (Prizm)"},
      {"Gy362000", "code de demarrage (fx-9750G, fx-9860GII SD...)"},
      {"Gy363000", "code de demarrage (Graph 35+E, Graph 75+E...)"},
      {"Gy490000", "code de demarrage (fx-7400GII-2)"},
  };
  for (const Model& m : models)
    if (id == m.id) return m.name;
  return "";
}

}  // namespace seven
