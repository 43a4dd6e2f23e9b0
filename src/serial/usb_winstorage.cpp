// Windows: a colour calculator in ScreenRecv is a disk the system's own
// storage driver holds; its screen is reached through the calculator's volume
// (the one whose disk answers vendor CASIO) with
// IOCTL_SCSI_PASS_THROUGH_DIRECT, one SCSI command at a time. The WinUSB
// calculators (07CF:6101) and these are offered side by side.
// clang-format off
#include <windows.h>
#include <ntddscsi.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <memory>

#include "serial/scsi.h"
#include "serial/usb.h"
#include "serial/usb_win32.h"

namespace {

// A volume's disk says who made it: "CASIO" is a calculator.
bool IsCasioVolume(HANDLE volume) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  char buffer[1024] = {};
  DWORD got = 0;
  if (!DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                       sizeof buffer - 1, &got, nullptr) ||
      got < sizeof(STORAGE_DEVICE_DESCRIPTOR))
    return false;
  auto* d = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer);
  if (d->VendorIdOffset == 0 || d->VendorIdOffset >= got) return false;
  std::string vendor(buffer + d->VendorIdOffset);
  while (!vendor.empty() && vendor.back() == ' ') vendor.pop_back();
  return vendor == "CASIO";
}

struct PassThrough {
  SCSI_PASS_THROUGH_DIRECT sptd;
  ULONG align;
  UCHAR sense[32];
};

class PassThroughScsi final : public ScsiDevice {
 public:
  explicit PassThroughScsi(HANDLE volume) : volume_(volume) {}
  Scsi Command(const unsigned char (&block)[16], bool in, unsigned char* data, int length,
               int timeoutMs) override {
    PassThrough p{};
    p.sptd.Length = sizeof p.sptd;
    p.sptd.CdbLength = 16;
    p.sptd.SenseInfoLength = sizeof p.sense;
    p.sptd.DataIn = length == 0 ? SCSI_IOCTL_DATA_UNSPECIFIED
                    : in        ? SCSI_IOCTL_DATA_IN
                                : SCSI_IOCTL_DATA_OUT;
    p.sptd.DataTransferLength = static_cast<ULONG>(length);
    // In whole seconds: our own limit, shorter than the 30 s others use.
    p.sptd.TimeOutValue = static_cast<ULONG>(timeoutMs < 1000 ? 1 : timeoutMs / 1000);
    p.sptd.DataBuffer = data;
    p.sptd.SenseInfoOffset = offsetof(PassThrough, sense);
    std::memcpy(p.sptd.Cdb, block, 16);
    DWORD got = 0;
    if (!DeviceIoControl(volume_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &p, sizeof p, &p, sizeof p, &got,
                         nullptr)) {
      DWORD code = GetLastError();
      words_ = "IOCTL_SCSI_PASS_THROUGH_DIRECT : erreur " + std::to_string(code);
      return code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_FILE_NOT_FOUND ||
                     code == ERROR_NOT_READY || code == ERROR_GEN_FAILURE
                 ? Scsi::Gone
                 : Scsi::Broken;
    }
    if (p.sptd.ScsiStatus != 0) {
      words_ = "commande refusee par la calculatrice (etat SCSI " +
               std::to_string(p.sptd.ScsiStatus) + ")";
      return Scsi::Failed;
    }
    return Scsi::Passed;
  }

 private:
  HANDLE volume_;
};

class VolumeBus final : public UsbBus {
 public:
  ~VolumeBus() override { Close(); }

  std::vector<UsbCalculator> Calculators() override {
    std::vector<UsbCalculator> found;
    char roots[512];
    DWORD length = GetLogicalDriveStringsA(sizeof roots, roots);
    if (length == 0 || length > sizeof roots) return found;
    for (const char* root = roots; *root; root += std::strlen(root) + 1) {
      UINT type = GetDriveTypeA(root);
      if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
      std::string device = std::string("\\\\.\\") + std::string(root, 2);
      HANDLE volume = CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      if (volume == INVALID_HANDLE_VALUE) continue;
      bool casio = IsCasioVolume(volume);
      CloseHandle(volume);
      if (!casio) continue;
      UsbCalculator c;
      c.manufacturer = "CASIO (" + std::string(root, 2) + ")";
      c.path = device;
      c.product = 0x6103;
      c.storage = true;
      found.push_back(c);
    }
    return found;
  }

  UsbOpen Open(const UsbCalculator& device, std::string* why) override {
    Close();
    volume_ = CreateFileA(device.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume_ == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      *why = code == ERROR_ACCESS_DENIED ? "acces refuse au volume de la calculatrice"
                                         : "volume de la calculatrice introuvable";
      return code == ERROR_ACCESS_DENIED ? UsbOpen::NoPermission : UsbOpen::Gone;
    }
    scsi_ = std::make_unique<PassThroughScsi>(volume_);
    stream_ = std::make_unique<CasioStream>(*scsi_);
    return UsbOpen::Opened;
  }
  void Control(int, int, int, int) override {}
  int Read(unsigned char* bytes, int size, int timeoutMs) override {
    return stream_ ? stream_->Read(bytes, size, timeoutMs) : -1;
  }
  int Write(const unsigned char* bytes, int size, int timeoutMs) override {
    return stream_ ? stream_->Write(bytes, size, timeoutMs) : -1;
  }
  void Close() override {
    stream_.reset();
    scsi_.reset();
    if (volume_ != INVALID_HANDLE_VALUE) CloseHandle(volume_);
    volume_ = INVALID_HANDLE_VALUE;
  }
  std::string LibraryWords() const override { return scsi_ ? scsi_->Words() : ""; }

 private:
  HANDLE volume_ = INVALID_HANDLE_VALUE;
  std::unique_ptr<PassThroughScsi> scsi_;
  std::unique_ptr<CasioStream> stream_;
};

// Both kinds of calculator: each call goes to the bus of the one opened.
class BothBuses final : public UsbBus {
 public:
  BothBuses(UsbBus& bulk, UsbBus& storage) : bulk_(bulk), storage_(storage) {}
  std::vector<UsbCalculator> Calculators() override {
    std::vector<UsbCalculator> all = bulk_.Calculators(), more = storage_.Calculators();
    all.insert(all.end(), more.begin(), more.end());
    return all;
  }
  UsbOpen Open(const UsbCalculator& device, std::string* why) override {
    open_ = device.storage ? &storage_ : &bulk_;
    return open_->Open(device, why);
  }
  void Control(int t, int r, int v, int i) override { open_->Control(t, r, v, i); }
  int Read(unsigned char* b, int n, int ms) override { return open_->Read(b, n, ms); }
  int Write(const unsigned char* b, int n, int ms) override { return open_->Write(b, n, ms); }
  void Close() override { open_->Close(); }
  std::string LibraryWords() const override { return open_->LibraryWords(); }

 private:
  UsbBus &bulk_, &storage_;
  UsbBus* open_ = &bulk_;
};

}  // namespace

UsbBus& NativeUsbBus() {
  static VolumeBus volumes;
  static BothBuses bus(WinUsbDevices(), volumes);
  return bus;
}
