// The exact round trip of liaison-texte, both ways: any bytes read as text in
// either spelling come back as the same bytes; any text that is accepted
// comes back as the same bytes once read and written again.
#include <cstdlib>
#include <string>

#include "text/program_text.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TextError error;
  for (Spelling spelling : {Spelling::Calculator, Spelling::Ascii}) {
    std::string back;
    if (!TextToBytes(BytesToText(input, spelling), &back, &error) || back != input) std::abort();
  }
  std::string bytes;
  if (TextToBytes(input, &bytes, &error)) {
    std::string again;
    if (!TextToBytes(BytesToText(bytes, Spelling::Calculator), &again, &error) || again != bytes)
      std::abort();
  }
  return 0;
}
