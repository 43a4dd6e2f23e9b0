// Any 50-byte header, decoded and shown, then accepted with whatever follows.
#include <cstring>

#include "fuzz_run.h"
#include "link/link.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  unsigned char header[HEADER_SIZE];
  std::memset(header, 0xFF, sizeof header);
  std::memcpy(header, data, size < HEADER_SIZE ? size : HEADER_SIZE);
  MemoryLine line;
  line.Then({CODE_REQUEST}).Then(std::vector<unsigned char>(header, header + HEADER_SIZE));
  if (size > HEADER_SIZE) fuzz::Script(line, data + HEADER_SIZE, size - HEADER_SIZE);
  line.SetIdleReads(3);
  fuzz::Run("1 3\n\n3\n");
  return 0;
}
