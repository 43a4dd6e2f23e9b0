// The disk of a calculator that shows itself as one on USB (Graph 90+E,
// fx-CG, Graph 35+E II from OS 3.8, in their USB Flash mode): where its
// files are, which model, how large. Finding it; nothing here prints.
#pragma once

#include <string>
#include <vector>

struct CalculatorDisk {
  std::string mountPoint;                 // where its files are
  std::string device;                     // "/dev/sdb1"; empty for a folder named by hand
  std::string model;                      // "Graph 90+E / fx-CG", "Graph 35+E II", or empty
  unsigned long long size = 0, free = 0;  // bytes; 0 where not known
};

// The model a drive's SCSI model string names: "ColorGraph" is a Graph 90+E
// (fx-CG), "Calculator" a Graph 35+E II; empty for another.
std::string DiskModel(const std::string& scsiModel);

// The mounted calculator disks: each mount of /proc/self/mountinfo's text
// whose block device's drive (under `sysRoot`, normally /sys) has vendor
// CASIO. Linux without the desktop's disk service.
std::vector<CalculatorDisk> MountedCasioDisks(const std::string& mountinfo,
                                              const std::string& sysRoot);

// This system's calculator disks, found as above (none on Windows yet), with
// their size and free space.
std::vector<CalculatorDisk> CalculatorDisks();

// The folder LIAISON_DISQUE names, as a calculator's disk: false, with why,
// for one that is no folder.
bool NamedDisk(const std::string& folder, CalculatorDisk* disk, std::string* error);
