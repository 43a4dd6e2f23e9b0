// A whole transmission received from arbitrary calculator bytes and silences:
// whatever comes, an item is only ever kept when its header and every part
// it announces arrived whole with a sound checksum.
#include <cstdlib>

#include "fuzz_run.h"
#include "link/item.h"
#include "session/transmission.h"

namespace {

struct Checked : TransmissionEvents {
  bool Keep(const Item& item) override {
    PartRule rule;
    if (!BlockIsSound(item.header) || !PartsOf(item.header, &rule) ||
        static_cast<long long>(item.parts.size()) != rule.count)
      std::abort();
    for (const Bytes& part : item.parts)
      if (!PartIsSound(part, rule)) std::abort();
    return true;
  }
  void ItemEnded(const Item&, ItemEnd, unsigned char) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  MemoryLine line;
  fuzz::Script(line, data, size);
  Checked checked;
  ReceiveTransmission(-1, checked);
  return 0;
}
