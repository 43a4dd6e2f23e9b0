// The exact round trip of liaison-texte, both ways: any bytes read as text in
// either spelling come back as the same bytes; any text that is accepted
// comes back as the same bytes once read and written again. The same for
// catalogues: any program's bytes through a catalogue and back, and any
// catalogue that is read, written and read again; the same for main-memory
// archives (.g1m) and the fx-9860G table, and a program that crosses to the
// other generation's table crosses back to the same bytes.
#include <cstdlib>
#include <string>

#include "files/catalogue.h"
#include "files/g1m.h"
#include "link/item.h"
#include "text/crossing.h"
#include "text/program_text.h"

namespace {

void CatalogueRoundTrip(const std::string& input) {
  // The first bytes give the name and the password, the rest is the program.
  size_t nameLength = input.empty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 8;
  std::string name = input.substr(input.empty() ? 0 : 1, nameLength);
  if (name.empty() || name.find('\xFF') != std::string::npos) name = "P";
  Item item = ProgramItem(name, Bytes(input.begin(), input.end()));
  CatalogueRead read;
  std::string error;
  if (!ReadCatalogue(WriteCatalogue({item}), &read, &error) || read.programs.size() != 1 ||
      ItemBytes(read.programs[0]) != ItemBytes(item))
    std::abort();
  if (ReadCatalogue(input, &read, &error)) {
    CatalogueRead again;
    if (!ReadCatalogue(WriteCatalogue(read.programs), &again, &error) ||
        again.programs.size() != read.programs.size())
      std::abort();
    for (size_t i = 0; i < read.programs.size(); ++i)
      if (ItemBytes(again.programs[i]) != ItemBytes(read.programs[i])) std::abort();
  }
}

void MainMemoryRoundTrip(const std::string& input) {
  TextError error;
  for (Spelling spelling : {Spelling::Calculator, Spelling::Ascii}) {
    std::string back;
    if (!TextToBytes(BytesToText(input, spelling, Table::Fx9860), &back, &error, "",
                     Table::Fx9860) ||
        back != input)
      std::abort();
  }
  Crossing down = ToGraph35(input), up = ToFx9860(input);
  if (down.refused.empty() && ToFx9860(down.bytes).bytes != input) std::abort();
  if (up.refused.empty() && ToGraph35(up.bytes).bytes != input) std::abort();
  G1mRead read, again;
  std::string why;
  if (ReadG1m(input, &read, &why)) {
    std::string written = WriteG1m(read.files);
    if (!ReadG1m(written, &again, &why) || !again.warnings.empty() ||
        WriteG1m(again.files) != written)
      std::abort();
  }
}

}  // namespace

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
  CatalogueRoundTrip(input);
  MainMemoryRoundTrip(input);
  return 0;
}
