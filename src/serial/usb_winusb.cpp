// USB through WinUSB (the driver Zadig installs): the device found among
// the system's USB devices by its ids, opened with CreateFile, driven with
// the WinUsb_ calls. The maker's own driver (PVUSB) is not WinUSB: such a
// device is found and opening it fails with a word about the driver.
#include <windows.h>

#include <setupapi.h>
#include <winusb.h>

#include <cctype>

#include "serial/usb.h"
#include "serial/usb_win32.h"

namespace {

// GUID_DEVINTERFACE_USB_DEVICE: every USB device shows this interface.
const GUID kUsbDevice = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class WinUsbBus final : public UsbBus {
 public:
  ~WinUsbBus() override { Close(); }

  std::vector<UsbCalculator> Calculators() override {
    std::vector<UsbCalculator> found;
    HDEVINFO set =
        SetupDiGetClassDevsA(&kUsbDevice, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return found;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kUsbDevice, i, &data); ++i) {
      DWORD size = 0;
      SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
      std::vector<char> buffer(size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A));
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) continue;
      std::string path = detail->DevicePath;
      if (Lower(path).find("vid_07cf&pid_6101") == std::string::npos) continue;
      UsbCalculator c;
      c.address = static_cast<int>(found.size()) + 1;
      c.path = path;
      found.push_back(c);
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
  }

  UsbOpen Open(const UsbCalculator& device, std::string* why) override {
    Close();
    file_ = CreateFileA(device.path.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      DWORD code = GetLastError();
      *why = "ouverture impossible (erreur " + std::to_string(code) + ")";
      return code == ERROR_ACCESS_DENIED ? UsbOpen::Busy : UsbOpen::Failed;
    }
    if (!WinUsb_Initialize(file_, &usb_)) {
      *why = "le pilote de la calculatrice n'est pas WinUSB (installez-le avec Zadig) (erreur " +
             std::to_string(GetLastError()) + ")";
      Close();
      return UsbOpen::Failed;
    }
    USB_INTERFACE_DESCRIPTOR alt{};
    if (WinUsb_QueryInterfaceSettings(usb_, 0, &alt)) {
      for (UCHAR e = 0; e < alt.bNumEndpoints; ++e) {
        WINUSB_PIPE_INFORMATION pipe{};
        if (!WinUsb_QueryPipe(usb_, 0, e, &pipe) || pipe.PipeType != UsbdPipeTypeBulk) continue;
        (USB_ENDPOINT_DIRECTION_IN(pipe.PipeId) ? in_ : out_) = pipe.PipeId;
      }
    }
    if (!in_ || !out_) {
      *why = "pas de points de transfert en bloc";
      Close();
      return UsbOpen::Failed;
    }
    return UsbOpen::Opened;
  }

  void Control(int requestType, int request, int value, int index) override {
    if (!usb_) return;
    WINUSB_SETUP_PACKET setup{static_cast<UCHAR>(requestType), static_cast<UCHAR>(request),
                              static_cast<USHORT>(value), static_cast<USHORT>(index), 0};
    ULONG done = 0;
    WinUsb_ControlTransfer(usb_, setup, nullptr, 0, &done, nullptr);
  }

  int Read(unsigned char* bytes, int size, int timeoutMs) override {
    return Transfer(in_, bytes, size, timeoutMs, true);
  }

  int Write(const unsigned char* bytes, int size, int timeoutMs) override {
    return Transfer(out_, const_cast<unsigned char*>(bytes), size, timeoutMs, false);
  }

  void Close() override {
    if (usb_) WinUsb_Free(usb_);
    usb_ = nullptr;
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    in_ = out_ = 0;
  }

 private:
  int Transfer(UCHAR pipe, unsigned char* bytes, int size, int timeoutMs, bool in) {
    if (!usb_) return -1;
    ULONG timeout = static_cast<ULONG>(timeoutMs > 0 ? timeoutMs : 1), done = 0;
    WinUsb_SetPipePolicy(usb_, pipe, PIPE_TRANSFER_TIMEOUT, sizeof timeout, &timeout);
    BOOL ok = in ? WinUsb_ReadPipe(usb_, pipe, bytes, static_cast<ULONG>(size), &done, nullptr)
                 : WinUsb_WritePipe(usb_, pipe, bytes, static_cast<ULONG>(size), &done, nullptr);
    if (ok) return static_cast<int>(done);
    return GetLastError() == ERROR_SEM_TIMEOUT ? static_cast<int>(done) : -1;
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  WINUSB_INTERFACE_HANDLE usb_ = nullptr;
  UCHAR in_ = 0, out_ = 0;
};

}  // namespace

UsbBus& WinUsbDevices() {
  static WinUsbBus bus;
  return bus;
}
