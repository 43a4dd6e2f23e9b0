// Windows: the calculator's disk is a volume (a drive letter) whose disk
// answers vendor CASIO; ejecting it is the "safely remove" request of the
// USB device the disk belongs to.
// clang-format off
#include <initguid.h>
#include <windows.h>  // with winioctl.h
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <cstring>
#include <memory>

#include "disk/disk.h"

namespace {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle Open(const std::string& path, DWORD access) {
  HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  return Handle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// "E:" as the volume's device "\\.\E:".
std::string VolumeDevice(const std::string& letter) {
  return "\\\\.\\" + letter;
}

std::string Descriptor(HANDLE volume) {
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  char buffer[1024];
  DWORD got = 0;
  if (!DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer,
                       sizeof buffer, &got, nullptr))
    return "";
  return std::string(buffer, got);
}

bool DeviceNumber(HANDLE h, STORAGE_DEVICE_NUMBER* number) {
  DWORD got = 0;
  return DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, number, sizeof *number,
                         &got, nullptr) != 0;
}

// The device instance of the disk with this number.
bool DiskInstance(DWORD diskNumber, DEVINST* instance) {
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  SP_DEVICE_INTERFACE_DATA iface{};
  iface.cbSize = sizeof iface;
  for (DWORD i = 0;
       !found && SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_DISK, i, &iface);
       ++i) {
    char buffer[1024];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &iface, detail, sizeof buffer, nullptr, &info))
      continue;
    Handle disk = Open(detail->DevicePath, 0);
    STORAGE_DEVICE_NUMBER number{};
    if (disk && DeviceNumber(disk.get(), &number) && number.DeviceNumber == diskNumber) {
      *instance = info.DevInst;
      found = true;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

bool DiskSpace(const std::string& folder, unsigned long long* size, unsigned long long* free) {
  ULARGE_INTEGER available{}, total{};
  if (!GetDiskFreeSpaceExA(folder.c_str(), &available, &total, nullptr)) return false;
  *size = total.QuadPart;
  *free = available.QuadPart;
  return true;
}

std::vector<CalculatorDisk> CalculatorDisks() {
  std::vector<CalculatorDisk> disks;
  char roots[512];
  DWORD length = GetLogicalDriveStringsA(sizeof roots, roots);
  if (length == 0 || length > sizeof roots) return disks;
  for (const char* root = roots; *root; root += std::strlen(root) + 1) {
    UINT type = GetDriveTypeA(root);
    if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED) continue;
    std::string letter(root, 2);  // "E:"
    Handle volume = Open(VolumeDevice(letter), 0);
    std::string model;
    if (!volume || !IsCasioDescriptor(Descriptor(volume.get()), &model)) continue;
    CalculatorDisk disk;
    disk.mountPoint = root;
    disk.device = letter;
    disk.model = model;
    DiskSpace(root, &disk.size, &disk.free);
    disks.push_back(disk);
  }
  return disks;
}

bool MountDisk(CalculatorDisk* disk, std::string* error) {
  if (!disk->mountPoint.empty()) return true;  // the system mounts every volume itself
  *error = "le disque n'a pas de lettre";
  return false;
}

Ejected EjectDisk(const CalculatorDisk& disk, std::string* error) {
  if (disk.device.empty()) return Ejected::NotADisk;
  Handle volume = Open(VolumeDevice(disk.device), GENERIC_READ | GENERIC_WRITE);
  STORAGE_DEVICE_NUMBER number{};
  DEVINST instance = 0, usb = 0;
  if (!volume || !DeviceNumber(volume.get(), &number) ||
      !DiskInstance(number.DeviceNumber, &instance) ||
      CM_Get_Parent(&usb, instance, 0) != CR_SUCCESS)
    return Ejected::NoService;
  FlushFileBuffers(volume.get());
  volume.reset();  // an open handle of ours would veto the removal
  PNP_VETO_TYPE veto = PNP_VetoTypeUnknown;
  char vetoName[MAX_PATH] = "";
  CONFIGRET result = CM_Request_Device_EjectA(usb, &veto, vetoName, MAX_PATH, 0);
  if (result == CR_SUCCESS && veto == PNP_VetoTypeUnknown) return Ejected::Done;
  *error = EjectVetoWords(static_cast<int>(veto), vetoName);
  return IsBusyVeto(static_cast<int>(veto)) ? Ejected::Busy : Ejected::Failed;
}
