// Linux: the mounted calculator disks from /proc/self/mountinfo and /sys;
// their size and free space from the file system.
#include <sys/statvfs.h>

#include <fstream>
#include <iterator>

#include "disk/disk.h"

std::vector<CalculatorDisk> CalculatorDisks() {
  std::ifstream in("/proc/self/mountinfo", std::ios::binary);
  std::string mountinfo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<CalculatorDisk> disks = MountedCasioDisks(mountinfo, "/sys");
  for (CalculatorDisk& disk : disks) {
    struct statvfs fs {};
    if (statvfs(disk.mountPoint.c_str(), &fs) != 0) continue;
    disk.size = static_cast<unsigned long long>(fs.f_blocks) * fs.f_frsize;
    disk.free = static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize;
  }
  return disks;
}
