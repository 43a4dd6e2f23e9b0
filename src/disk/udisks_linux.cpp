// UDisks2 through sd-bus (libsystemd), the system bus's own client library:
// DBUS_SYSTEM_BUS_ADDRESS, when set, names the bus (the tests' private one).
#include <systemd/sd-bus.h>

#include <memory>

#include "disk/udisks.h"

namespace {

const char kService[] = "org.freedesktop.UDisks2";
const char kBlock[] = "org.freedesktop.UDisks2.Block";
const char kDrive[] = "org.freedesktop.UDisks2.Drive";
const char kFilesystem[] = "org.freedesktop.UDisks2.Filesystem";

struct BusCloser {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
struct MessageCloser {
  void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Message = std::unique_ptr<sd_bus_message, MessageCloser>;

// An sd_bus_error freed when it goes.
struct Error {
  sd_bus_error e = SD_BUS_ERROR_NULL;
  ~Error() { sd_bus_error_free(&e); }
};

Bus SystemBus() {
  sd_bus* bus = nullptr;
  if (sd_bus_open_system(&bus) < 0) return nullptr;
  // A service that hangs costs each command a few seconds, not the
  // library's 25 s a call.
  sd_bus_set_method_call_timeout(bus, 3 * 1000000ULL);
  return Bus(bus);
}

// A property's value, the message standing inside its variant.
Message Property(sd_bus* bus, const std::string& path, const char* interface, const char* name,
                 const char* type) {
  Error error;
  sd_bus_message* reply = nullptr;
  if (sd_bus_get_property(bus, kService, path.c_str(), interface, name, &error.e, &reply, type) < 0)
    return nullptr;
  return Message(reply);
}

bool Text(sd_bus* bus, const std::string& path, const char* interface, const char* name, char kind,
          std::string* value) {
  const char type[2] = {kind, 0};
  Message m = Property(bus, path, interface, name, type);
  const char* text = nullptr;
  if (!m || sd_bus_message_read_basic(m.get(), kind, &text) < 0 || !text) return false;
  *value = text;
  return true;
}

// A byte-array property ("ay", ending in a 0 byte) as text.
std::string Bytes(sd_bus_message* m) {
  const void* data = nullptr;
  size_t size = 0;
  if (sd_bus_message_read_array(m, 'y', &data, &size) < 0 || !data) return "";
  std::string text(static_cast<const char*>(data), size);
  return text.substr(0, text.find('\0'));
}

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  return begin == std::string::npos ? ""
                                    : text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// The first mount point of a block with a file system; false for a block
// without one (a whole disk holding partitions).
bool MountPoint(sd_bus* bus, const std::string& block, std::string* mountPoint) {
  Message m = Property(bus, block, kFilesystem, "MountPoints", "aay");
  if (!m || sd_bus_message_enter_container(m.get(), 'a', "ay") < 0) return false;
  mountPoint->clear();
  if (!sd_bus_message_at_end(m.get(), 0)) *mountPoint = Bytes(m.get());
  return true;
}

bool Found(sd_bus* bus, const std::string& block, CalculatorDisk* disk) {
  std::string drive, vendor, model;
  if (!Text(bus, block, kBlock, "Drive", 'o', &drive) || drive == "/") return false;
  if (!Text(bus, drive, kDrive, "Vendor", 's', &vendor) || Trimmed(vendor) != "CASIO") return false;
  if (!MountPoint(bus, block, &disk->mountPoint)) return false;
  Text(bus, drive, kDrive, "Model", 's', &model);
  Message device = Property(bus, block, kBlock, "Device", "ay");
  disk->device = device ? Bytes(device.get()) : "";
  disk->model = DiskModel(model);
  disk->block = block;
  disk->drive = drive;
  return true;
}

// The options argument a{sv}, empty.
bool Call(sd_bus* bus, const std::string& path, const char* interface, const char* method,
          sd_bus_message** reply, Error* error) {
  return sd_bus_call_method(bus, kService, path.c_str(), interface, method, &error->e, reply,
                            "a{sv}", 0) >= 0;
}

// The service's refusals in the user's words (its own messages are English).
std::string Words(const Error& error) {
  static const struct {
    const char* name;
    const char* words;
  } kKnown[] = {
      {"org.freedesktop.UDisks2.Error.NotAuthorized", "le service de disques refuse (permission)"},
      {"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain",
       "le service de disques refuse (permission)"},
      {"org.freedesktop.UDisks2.Error.DeviceBusy", "le disque est utilise"},
      {"org.freedesktop.UDisks2.Error.NotMounted", "le disque n'est pas monte"},
      {"org.freedesktop.UDisks2.Error.AlreadyMounted", "le disque est deja monte"},
      {"org.freedesktop.UDisks2.Error.Timedout", "le service de disques ne repond pas a temps"},
      {"org.freedesktop.DBus.Error.NoReply", "le service de disques ne repond pas"},
      {"org.freedesktop.DBus.Error.ServiceUnknown", "pas de service de disques"},
  };
  for (const auto& known : kKnown)
    if (sd_bus_error_has_name(&error.e, known.name)) return known.words;
  return "le service de disques refuse";
}

bool IsBusy(const Error& error) {
  return sd_bus_error_has_name(&error.e, "org.freedesktop.UDisks2.Error.DeviceBusy");
}

}  // namespace

bool UdisksCalculators(std::vector<CalculatorDisk>* disks) {
  Bus bus = SystemBus();
  if (!bus) return false;
  Error error;
  sd_bus_message* reply = nullptr;
  if (sd_bus_call_method(bus.get(), kService, "/org/freedesktop/UDisks2/Manager",
                         "org.freedesktop.UDisks2.Manager", "GetBlockDevices", &error.e, &reply,
                         "a{sv}", 0) < 0)
    return false;
  Message owned(reply);
  char** paths = nullptr;
  if (sd_bus_message_read_strv(reply, &paths) < 0) return false;
  for (char** p = paths; p && *p; ++p) {
    CalculatorDisk disk;
    if (Found(bus.get(), *p, &disk)) disks->push_back(disk);
    free(*p);
  }
  free(paths);
  return true;
}

bool UdisksMount(CalculatorDisk* disk, std::string* error) {
  Bus bus = SystemBus();
  if (!bus) {
    *error = "pas de bus systeme";
    return false;
  }
  Error failed;
  sd_bus_message* reply = nullptr;
  if (!Call(bus.get(), disk->block, kFilesystem, "Mount", &reply, &failed)) {
    *error = Words(failed);
    return false;
  }
  Message owned(reply);
  const char* path = nullptr;
  if (sd_bus_message_read_basic(reply, 's', &path) < 0 || !path || !*path) {
    *error = "le service de disques ne dit pas ou il l'a monte";
    return false;
  }
  disk->mountPoint = path;
  return true;
}

Ejected UdisksEject(const CalculatorDisk& disk, std::string* error) {
  Bus bus = SystemBus();
  if (!bus) return Ejected::NoService;
  Error failed;
  sd_bus_message* reply = nullptr;
  if (!Call(bus.get(), disk.block, kFilesystem, "Unmount", &reply, &failed)) {
    *error = Words(failed);
    return IsBusy(failed) ? Ejected::Busy : Ejected::Failed;
  }
  sd_bus_message_unref(reply);
  reply = nullptr;
  Error off;
  if (!Call(bus.get(), disk.drive, kDrive, "PowerOff", &reply, &off)) {
    *error = Words(off);
    return IsBusy(off) ? Ejected::Busy : Ejected::Failed;
  }
  sd_bus_message_unref(reply);
  return Ejected::Done;
}
