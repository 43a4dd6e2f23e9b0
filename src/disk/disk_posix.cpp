// Linux and macOS: the calculator disks UDisks2 knows, else the mounted ones
// of /proc/self/mountinfo and /sys; their size and free space from the file
// system.
#include <sys/statvfs.h>

#include <fstream>
#include <iterator>

#include "disk/disk.h"
#include "disk/udisks.h"

bool DiskSpace(const std::string& folder, unsigned long long* size, unsigned long long* free) {
  struct statvfs fs {};
  if (statvfs(folder.c_str(), &fs) != 0) return false;
  *size = static_cast<unsigned long long>(fs.f_blocks) * fs.f_frsize;
  *free = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
  return true;
}

std::vector<CalculatorDisk> CalculatorDisks() {
  std::vector<CalculatorDisk> disks;
  if (!UdisksCalculators(&disks)) {
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    std::string mountinfo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    disks = MountedCasioDisks(mountinfo, "/sys");
  }
  for (CalculatorDisk& disk : disks)
    if (!disk.mountPoint.empty()) DiskSpace(disk.mountPoint, &disk.size, &disk.free);
  return disks;
}

bool MountDisk(CalculatorDisk* disk, std::string* error) {
  if (!disk->mountPoint.empty()) return true;
  if (disk->block.empty()) {
    *error = "le disque n'est pas monte";
    return false;
  }
  if (!UdisksMount(disk, error)) return false;
  DiskSpace(disk->mountPoint, &disk->size, &disk->free);
  return true;
}

Ejected EjectDisk(const CalculatorDisk& disk, std::string* error) {
  if (!disk.block.empty()) return UdisksEject(disk, error);
  return disk.device.empty() ? Ejected::NotADisk : Ejected::NoService;
}
