// A whole emission: the first byte picks the answer to "program exists", the
// second how many of the following bytes make the file; the rest are the
// calculator's bytes.
#include <fstream>

#include "fuzz_run.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 2) return 0;
  fuzz::State();  // in its own folder
  size_t length = data[1] < size - 2 ? data[1] : size - 2;
  std::ofstream("f.txt", std::ios::binary)
      .write(reinterpret_cast<const char*>(data + 2), static_cast<std::streamsize>(length));
  MemoryLine line;
  fuzz::Script(line, data + 2 + length, size - 2 - length);
  fuzz::Run("2 f.txt P\n" + std::to_string(1 + data[0] % 2) + "\n\n3\n");
  return 0;
}
