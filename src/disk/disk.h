// The disk of a calculator that shows itself as one on USB (Graph 90+E,
// fx-CG, Graph 35+E II from OS 3.8, in their USB Flash mode): where its
// files are, which model, how large. Finding it; nothing here prints.
#pragma once

#include <string>
#include <vector>

struct CalculatorDisk {
  std::string mountPoint;                 // where its files are; empty while not mounted
  std::string device;                     // "/dev/sdb1", "E:"; empty for a folder named by hand
  std::string model;                      // "Graph 90+E / fx-CG", "Graph 35+E II", or empty
  unsigned long long size = 0, free = 0;  // bytes; 0 where not known
  // Known to the desktop's disk service (UDisks2): its block and drive
  // objects, through which it is mounted and ejected.
  std::string block, drive;
};

// The model a drive's SCSI model string names: "ColorGraph" is a Graph 90+E
// (fx-CG), "Calculator" a Graph 35+E II; empty for another.
std::string DiskModel(const std::string& scsiModel);

// The mounted calculator disks: each mount of /proc/self/mountinfo's text
// whose block device's drive (under `sysRoot`, normally /sys) has vendor
// CASIO. Linux without the desktop's disk service.
std::vector<CalculatorDisk> MountedCasioDisks(const std::string& mountinfo,
                                              const std::string& sysRoot);

// This system's calculator disks with their size and free space: through
// UDisks2 where it answers (mounted or not), else as above on Linux; on
// Windows, the volumes whose disk says vendor CASIO.
std::vector<CalculatorDisk> CalculatorDisks();

// The folder LIAISON_DISQUE names, as a calculator's disk: false, with why,
// for one that is no folder. A folder where a calculator's disk is mounted
// is that disk (its model, its device, and so it can be ejected).
bool NamedDisk(const std::string& folder, CalculatorDisk* disk, std::string* error);

// Size and free space of the file system that holds `folder`.
bool DiskSpace(const std::string& folder, unsigned long long* size, unsigned long long* free);

// An entry of the disk: its path from the disk's root ('/' between folders).
struct DiskEntry {
  std::string path;
  bool folder = false;
  unsigned long long size = 0;
};
// Every folder and file under `root`, sorted, each folder before what it
// holds. Names starting with '.' and the systems' own folders ("System
// Volume Information") are passed over, links are not followed. A disk
// holds a few thousand files at most: past 16 levels or 100,000 entries, or
// a folder that cannot be read, false with why.
bool DiskTree(const std::string& root, std::vector<DiskEntry>* entries, std::string* error);

// Mounting and ejecting through the system (UDisks2 on Linux, the volume on
// Windows). Mount: a disk found but not mounted is mounted; its mount point
// set.
bool MountDisk(CalculatorDisk* disk, std::string* error);
enum class Ejected {
  Done,       // unmounted and powered off: the cable can be pulled
  NotADisk,   // a folder named by hand: nothing to eject
  NoService,  // no way here to eject it (no UDisks2): the user ejects it
  Busy,       // a program holds it: nothing was done
  Failed,
};
Ejected EjectDisk(const CalculatorDisk& disk, std::string* error);

// Windows' pieces, kept apart from its calls so that they are tried on
// every system. A STORAGE_DEVICE_DESCRIPTOR's bytes: whether its vendor is
// CASIO, and the model its product names.
bool IsCasioDescriptor(const std::string& descriptor, std::string* model);
// Why the system refused to remove the device (a PNP_VETO_TYPE and the name
// it gives), in words; whether a program holding it is the reason.
std::string EjectVetoWords(int veto, const std::string& name);
bool IsBusyVeto(int veto);
