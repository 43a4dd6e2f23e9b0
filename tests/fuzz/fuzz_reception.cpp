// A whole reception driven by arbitrary calculator bytes; the first byte picks
// the answer.
#include "fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size == 0) return 0;
  MemoryLine line;
  fuzz::Script(line, data + 1, size - 1);
  fuzz::Run("1 " + std::to_string(1 + data[0] % 3) + "\n\n3\n");
  return 0;
}
