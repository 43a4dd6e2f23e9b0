// An arbitrary calculator in Protocol 7.00, to both sides of the PC: one
// that transmits by itself (recevoir) and one that answers a request
// (recuperer, sauvegarder). Whatever comes, a file is only ever kept whole:
// exactly the bytes it announced, from data packets numbered without a gap.
#include <cstdlib>

#include "fuzz_run.h"
#include "session/seven.h"

namespace {

void CheckWhole(const Announced& file) {
  bool data = file.code == seven::kMainFile || file.code == seven::kStorageFile;
  if (data && file.content.size() != file.fields.size) std::abort();
  if (!data && !file.content.empty()) std::abort();
}

struct Checked : SevenEvents {
  bool Keep(const Announced& file, int* nak) override {
    CheckWhole(file);
    *nak = seven::kNakFull;
    return file.content.size() % 3 == 0;  // kept or not, both ways
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size == 0) return 0;
  MemoryLine line;
  // The first byte chooses the side; the rest is the calculator.
  fuzz::Script(line, data + 1, size - 1);
  Checked checked;
  seven::DeviceInfo info;
  if (data[0] & 1) {
    TakeSevenTransmission(checked, info);
  } else {
    SevenLink link(checked);
    std::vector<Announced> files;
    if (link.Request(seven::kRequestAllMain, seven::Fields(), &files) == Step::Done)
      for (const Announced& file : files) CheckWhole(file);
  }
  return 0;
}
