// Windows: the calculator's volume is not looked for yet; LIAISON_DISQUE
// names it.
#include "disk/disk.h"

std::vector<CalculatorDisk> CalculatorDisks() {
  return {};
}
