// The commands with a calculator that shows itself as a disk (Graph 90+E,
// Graph 35+E II in USB Flash mode): its storage memory at the disk's root,
// its main memory in @MainMem, one folder per group.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"
#include "disk/disk.h"

// Which disk the commands go to: the folder LIAISON_DISQUE names, else the
// one calculator disk found when no port is named and no calculator is on
// its bulk USB interface. `use` false: the port, as before; false returned:
// no choice possible (why said in `error`).
bool ChooseDisk(bool portNamed, bool usbCalculator, bool* use, CalculatorDisk* disk,
                std::string* error);
// The commands a disk answers.
bool IsDiskCommand(const std::string& command);
// info, liste, envoyer, recuperer, supprimer, sauvegarder on the disk, with
// their arguments. 0 all done, 1 something refused or absent, 2 a wrong
// command line, -1 (255) the disk lost.
int DiskCommand(Console& con, const std::string& command, CalculatorDisk& disk,
                const std::vector<std::string>& args);
// "16 Mo" for a size in bytes.
std::string Megabytes(unsigned long long bytes);
