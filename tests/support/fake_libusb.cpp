// A stand-in for the libusb-1.0 calls the USB backend makes: one emulated
// Graph 75+E on 07CF:6101 (its device, configuration and string
// descriptors), whose bulk transfers go to a pseudo-terminal where
// liaison-sim plays the calculator with its own Protocol 7.00 code. Linked
// into a test, or preloaded (LD_PRELOAD) into the real liaison, it lets the
// backend's own lines run as they do against the library.
//
// Set by the environment, read at each call:
//   LIAISON_FAKE_USB_PTY  the simulator's pseudo-terminal: the device is
//                         plugged in (none without it)
//   LIAISON_FAKE_USB      comma-separated: noperm (opening is refused),
//                         busy (the interface is another driver's), two (a
//                         second calculator), split=N (a read gives at most
//                         N bytes), pull=N (the device is pulled out during
//                         the N-th bulk transfer), storage (a Graph 90+E on
//                         07CF:6103, interface class 08: the simulator
//                         takes command wrappers)
//   LIAISON_FAKE_USB_LOG  a file where each call that matters is appended
#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

struct libusb_context {
  int devices = 0;
};
struct libusb_device {
  int address;
};
struct libusb_device_handle {
  int fd = -1;
};

namespace {

libusb_device gDevices[2] = {{4}, {5}};
int gTransfers = 0;  // bulk transfers since the device was opened

std::string Setting(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The number after "word=" in LIAISON_FAKE_USB, or -1.
long Option(const char* word) {
  std::string options = "," + Setting("LIAISON_FAKE_USB") + ",";
  std::string key = std::string(",") + word;
  size_t at = options.find(key + "=");
  if (at != std::string::npos) return std::atol(options.c_str() + at + key.size() + 1);
  return options.find(key + ",") != std::string::npos ? 1 : -1;
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
  std::string path = Setting("LIAISON_FAKE_USB_LOG");
  if (path.empty()) return;
  FILE* f = std::fopen(path.c_str(), "a");
  if (!f) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(f, format, args);
  va_end(args);
  std::fputc('\n', f);
  std::fclose(f);
}

// The interface of a Graph 75+E: vendor class, an interrupt endpoint a
// backend must pass over, then its bulk IN and bulk OUT.
const libusb_endpoint_descriptor kEndpoints[] = {
    {7, LIBUSB_DT_ENDPOINT, 0x83, LIBUSB_TRANSFER_TYPE_INTERRUPT, 8, 10, 0, 0, nullptr, 0},
    {7, LIBUSB_DT_ENDPOINT, 0x82, LIBUSB_TRANSFER_TYPE_BULK, 64, 0, 0, 0, nullptr, 0},
    {7, LIBUSB_DT_ENDPOINT, 0x01, LIBUSB_TRANSFER_TYPE_BULK, 64, 0, 0, 0, nullptr, 0},
};
const libusb_interface_descriptor kAlt = {9, LIBUSB_DT_INTERFACE, 0,       0, 3, 0xFF, 0x00, 0xFF,
                                          0, kEndpoints,          nullptr, 0};
const libusb_interface kInterface = {&kAlt, 1};
// A Graph 90+E: mass storage, SCSI, bulk-only.
const libusb_interface_descriptor kStorageAlt = {
    9, LIBUSB_DT_INTERFACE, 0,       0, 3, LIBUSB_CLASS_MASS_STORAGE, 0x06, 0x50,
    0, kEndpoints,          nullptr, 0};
const libusb_interface kStorageInterface = {&kStorageAlt, 1};

bool Pulled() {
  long pull = Option("pull");
  return pull > 0 && gTransfers >= pull;
}

}  // namespace

extern "C" {

int libusb_init(libusb_context** ctx) {
  *ctx = new libusb_context;
  return 0;
}

void libusb_exit(libusb_context* ctx) {
  delete ctx;
}

const char* libusb_strerror(int code) {
  switch (code) {
    case LIBUSB_ERROR_ACCESS:
      return "Access denied (insufficient permissions)";
    case LIBUSB_ERROR_BUSY:
      return "Resource busy";
    case LIBUSB_ERROR_NO_DEVICE:
      return "No such device (it may have been disconnected)";
    case LIBUSB_ERROR_TIMEOUT:
      return "Operation timed out";
    default:
      return "Other error";
  }
}

ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
  int count = Setting("LIAISON_FAKE_USB_PTY").empty() ? 0 : Option("two") > 0 ? 2 : 1;
  *list = new libusb_device*[static_cast<size_t>(count) + 1];
  for (int i = 0; i < count; ++i) (*list)[i] = &gDevices[i];
  (*list)[count] = nullptr;
  return count;
}

void libusb_free_device_list(libusb_device** list, int) {
  delete[] list;
}

int libusb_get_device_descriptor(libusb_device*, libusb_device_descriptor* d) {
  uint16_t product = Option("storage") > 0 ? 0x6103 : 0x6101;
  *d = libusb_device_descriptor{18,     LIBUSB_DT_DEVICE, 0x0110, 0, 0, 0, 64,
                                0x07CF, product,          0x0100, 1, 2, 3, 1};
  return 0;
}

uint8_t libusb_get_bus_number(libusb_device*) {
  return 3;
}

uint8_t libusb_get_device_address(libusb_device* device) {
  return static_cast<uint8_t>(device->address);
}

int libusb_open(libusb_device*, libusb_device_handle** handle) {
  if (Option("noperm") > 0) return LIBUSB_ERROR_ACCESS;
  std::string pty = Setting("LIAISON_FAKE_USB_PTY");
  int fd = open(pty.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return LIBUSB_ERROR_NO_DEVICE;
  // The simulator starts once its line is set as a PC sets it.
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  tcsetattr(fd, TCSANOW, &tio);
  *handle = new libusb_device_handle;
  (*handle)->fd = fd;
  gTransfers = 0;
  Log("open");
  return 0;
}

void libusb_close(libusb_device_handle* handle) {
  if (!handle) return;
  close(handle->fd);
  delete handle;
  Log("close");
}

int libusb_get_string_descriptor_ascii(libusb_device_handle*, uint8_t index, unsigned char* data,
                                       int length) {
  bool storage = Option("storage") > 0;
  const char* text = index == 1   ? (storage ? "CASIO MassStorage Device" : "CESG502")
                     : index == 2 ? (storage ? "ColorGraph" : "Graph 75+E")
                                  : "0000";
  int n = static_cast<int>(std::strlen(text));
  if (n >= length) n = length - 1;
  std::memcpy(data, text, static_cast<size_t>(n));
  data[n] = 0;
  return n;
}

int libusb_get_active_config_descriptor(libusb_device*, libusb_config_descriptor** config) {
  *config = new libusb_config_descriptor{9,
                                         LIBUSB_DT_CONFIG,
                                         32,
                                         1,
                                         1,
                                         0,
                                         0x80,
                                         50,
                                         Option("storage") > 0 ? &kStorageInterface : &kInterface,
                                         nullptr,
                                         0};
  return 0;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
  delete config;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int enable) {
  Log("auto_detach %d", enable);
  return 0;
}

int libusb_claim_interface(libusb_device_handle*, int number) {
  if (Option("busy") > 0) return LIBUSB_ERROR_BUSY;
  Log("claim %d", number);
  return 0;
}

int libusb_clear_halt(libusb_device_handle*, unsigned char endpoint) {
  Log("clear_halt %02X", endpoint);
  return 0;
}

int libusb_release_interface(libusb_device_handle*, int number) {
  Log("release %d", number);
  return 0;
}

int libusb_control_transfer(libusb_device_handle*, uint8_t type, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char*, uint16_t length, unsigned int timeout) {
  Log("control %02X %02X %04X %04X %u %u", type, request, value, index, length, timeout);
  return 0;
}

// OUT: every byte to the simulator. IN: what it sent within the time-out,
// at most a split's worth; a time-out with no byte is LIBUSB_ERROR_TIMEOUT.
int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
  *transferred = 0;
  ++gTransfers;
  if (Pulled()) {
    // Pulled out while the transfer waits: the library says so at once.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Log("pulled");
    return LIBUSB_ERROR_NO_DEVICE;
  }
  if (!(endpoint & LIBUSB_ENDPOINT_IN)) {
    if (endpoint != 0x01) return LIBUSB_ERROR_PIPE;
    ssize_t n = write(handle->fd, data, static_cast<size_t>(length));
    if (n < 0) return LIBUSB_ERROR_IO;
    *transferred = static_cast<int>(n);
    return 0;
  }
  if (endpoint != 0x82) return LIBUSB_ERROR_PIPE;
  long split = Option("split");
  if (split > 0 && length > split) length = static_cast<int>(split);
  pollfd p{handle->fd, POLLIN, 0};
  int ready = poll(&p, 1, timeout == 0 ? -1 : static_cast<int>(timeout));
  if (ready == 0) return LIBUSB_ERROR_TIMEOUT;
  if (ready < 0 || !(p.revents & POLLIN)) return LIBUSB_ERROR_IO;
  ssize_t n = read(handle->fd, data, static_cast<size_t>(length));
  if (n <= 0) return LIBUSB_ERROR_IO;
  *transferred = static_cast<int>(n);
  return 0;
}

}  // extern "C"
