// The desktop's disk service, UDisks2, on the system bus: the calculators'
// disks it knows, mounting, unmounting and powering off without root.
#pragma once

#include <string>
#include <vector>

#include "disk/disk.h"

// The block devices with a file system whose drive says vendor CASIO, mounted
// or not. False when the service does not answer (no bus, no UDisks2).
bool UdisksCalculators(std::vector<CalculatorDisk>* disks);
bool UdisksMount(CalculatorDisk* disk, std::string* error);
// Unmounted (what was written reaches the calculator), then powered off.
Ejected UdisksEject(const CalculatorDisk& disk, std::string* error);
