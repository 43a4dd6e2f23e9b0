// Systems without UDisks2 (macOS, Windows): the service is never there.
#include "disk/udisks.h"

bool UdisksCalculators(std::vector<CalculatorDisk>*) {
  return false;
}

bool UdisksMount(CalculatorDisk*, std::string* error) {
  *error = "pas de service de disques ici";
  return false;
}

Ejected UdisksEject(const CalculatorDisk&, std::string*) {
  return Ejected::NoService;
}
