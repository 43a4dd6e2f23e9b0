// USB through libusb-1.0 (Linux, macOS): the library's codes come back as
// the bus's results; nothing here prints.
#include <libusb.h>

#include <string>

#include "serial/scsi.h"
#include "serial/usb.h"

namespace {

constexpr uint16_t kCasio = 0x07CF;

bool IsCalculator(const libusb_device_descriptor& d) {
  return d.idVendor == kCasio &&
         (d.idProduct == 0x6101 || d.idProduct == 0x6102 || d.idProduct == 0x6103);
}

// Interface 0's class: 08 for mass storage, FF for the bulk stream.
int InterfaceClass(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0) return -1;
  int kind = config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0
                 ? config->interface[0].altsetting[0].bInterfaceClass
                 : -1;
  libusb_free_config_descriptor(config);
  return kind;
}

// The library's codes in the user's words; its own English goes to the trace.
const char* French(int code) {
  switch (code) {
    case LIBUSB_ERROR_ACCESS:
      return "acces refuse";
    case LIBUSB_ERROR_BUSY:
      return "deja utilisee";
    case LIBUSB_ERROR_NO_DEVICE:
      return "la calculatrice n'est plus branchee";
    case LIBUSB_ERROR_NOT_FOUND:
      return "introuvable (le pilote du systeme la tient ?)";
    case LIBUSB_ERROR_NOT_SUPPORTED:
      return "interface USB non reconnue";
    case LIBUSB_ERROR_TIMEOUT:
      return "pas de reponse a temps";
    case LIBUSB_ERROR_PIPE:
      return "transfert refuse par la calculatrice";
    case LIBUSB_ERROR_IO:
      return "erreur d'entree-sortie USB";
    case LIBUSB_ERROR_NO_MEM:
      return "memoire insuffisante";
    default:
      return "erreur USB";
  }
}

class LibusbBus final : public UsbBus {
 public:
  ~LibusbBus() override {
    Close();
    if (context_) libusb_exit(context_);
  }

  std::vector<UsbCalculator> Calculators() override {
    std::vector<UsbCalculator> found;
    if (!Context()) return found;  // no USB here at all (a container, say)
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
      libusb_device_descriptor d{};
      if (libusb_get_device_descriptor(list[i], &d) != 0 || !IsCalculator(d)) continue;
      UsbCalculator c;
      c.bus = libusb_get_bus_number(list[i]);
      c.address = libusb_get_device_address(list[i]);
      c.product = d.idProduct;
      c.storage = InterfaceClass(list[i]) == LIBUSB_CLASS_MASS_STORAGE;
      libusb_device_handle* h = nullptr;
      if (d.iManufacturer && libusb_open(list[i], &h) == 0) {  // the string needs the device open
        unsigned char text[128] = {};
        if (libusb_get_string_descriptor_ascii(h, d.iManufacturer, text, sizeof text) > 0)
          c.manufacturer = reinterpret_cast<char*>(text);
        libusb_close(h);
      }
      found.push_back(c);
    }
    if (list) libusb_free_device_list(list, 1);
    return found;
  }

  UsbOpen Open(const UsbCalculator& device, std::string* why) override {
    Close();
    if (!Context()) {
      *why = "USB indisponible sur ce systeme";
      return UsbOpen::Failed;
    }
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context_, &list);
    int result = LIBUSB_ERROR_NO_DEVICE;
    for (ssize_t i = 0; i < count && !handle_; ++i) {
      if (libusb_get_bus_number(list[i]) != device.bus ||
          libusb_get_device_address(list[i]) != device.address)
        continue;
      result = libusb_open(list[i], &handle_);
      if (result == 0) result = Endpoints(list[i]);
    }
    if (list) libusb_free_device_list(list, 1);
    if (result == 0) {
      // The system's storage driver lets go of a mass-storage calculator
      // while Liaison works and takes it back at the end.
      libusb_set_auto_detach_kernel_driver(handle_, 1);
      result = libusb_claim_interface(handle_, 0);
    }
    if (result != 0) {
      *why = French(result);
      words_ = libusb_strerror(static_cast<libusb_error>(result));
      Close();
      return result == LIBUSB_ERROR_ACCESS      ? UsbOpen::NoPermission
             : result == LIBUSB_ERROR_BUSY      ? UsbOpen::Busy
             : result == LIBUSB_ERROR_NO_DEVICE ? UsbOpen::Gone
                                                : UsbOpen::Failed;
    }
    claimed_ = true;
    return UsbOpen::Opened;
  }

  void Control(int requestType, int request, int value, int index) override {
    if (handle_)
      libusb_control_transfer(handle_, static_cast<uint8_t>(requestType),
                              static_cast<uint8_t>(request), static_cast<uint16_t>(value),
                              static_cast<uint16_t>(index), nullptr, 0, 300);
  }

  int Read(unsigned char* bytes, int size, int timeoutMs) override {
    return Transfer(in_, bytes, size, timeoutMs);
  }

  int Write(const unsigned char* bytes, int size, int timeoutMs) override {
    return Transfer(out_, const_cast<unsigned char*>(bytes), size, timeoutMs);
  }

  std::string LibraryWords() const override { return words_; }

  void ClearHalt() override {
    if (!handle_) return;
    libusb_clear_halt(handle_, in_);
    libusb_clear_halt(handle_, out_);
  }

  void Close() override {
    if (handle_ && claimed_) libusb_release_interface(handle_, 0);
    if (handle_) libusb_close(handle_);
    handle_ = nullptr;
    claimed_ = false;
  }

 private:
  bool Context() {
    if (!context_ && libusb_init(&context_) != 0) context_ = nullptr;
    return context_ != nullptr;
  }

  // Interface 0's bulk IN and bulk OUT endpoints, from its descriptor.
  int Endpoints(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    int result = libusb_get_active_config_descriptor(device, &config);
    if (result != 0) return result;
    in_ = out_ = 0;
    if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
      const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
      for (int e = 0; e < alt.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& ep = alt.endpoint[e];
        if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
        (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN ? in_ : out_) = ep.bEndpointAddress;
      }
    }
    libusb_free_config_descriptor(config);
    return in_ && out_ ? 0 : LIBUSB_ERROR_NOT_SUPPORTED;
  }

  int Transfer(unsigned char endpoint, unsigned char* bytes, int size, int timeoutMs) {
    if (!handle_) return -1;
    int done = 0;
    int result = libusb_bulk_transfer(handle_, endpoint, bytes, size, &done,
                                      static_cast<unsigned>(timeoutMs > 0 ? timeoutMs : 1));
    if (result == 0 || result == LIBUSB_ERROR_TIMEOUT) return done;
    words_ = libusb_strerror(static_cast<libusb_error>(result));
    return -1;  // gone, or broken: either way the line is lost
  }

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
  bool claimed_ = false;
  unsigned char in_ = 0, out_ = 0;
  std::string words_;
};

}  // namespace

UsbBus& NativeUsbBus() {
  static LibusbBus raw;
  static StorageAwareBus bus(raw);
  return bus;
}
