// Arbitrary capture bytes: a 40-byte header of either kind and any size the
// input gives, then its parts, decoded, saved as PNG and drawn without fault.
#include <string>

#include "files/screen.h"
#include "link/item.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 3) return 0;
  Bytes header = {0x3A, 'D', static_cast<unsigned char>(data[0] & 1 ? 'C' : 'D'), data[1], data[2]};
  header.resize(SCREEN_HEADER_SIZE, 0);
  Item item{header, {}};
  PartRule rule;
  if (!PartsOf(item.header, &rule)) return 0;
  size_t at = 3;
  for (long long p = 0; p < rule.count; ++p) {
    Bytes part(static_cast<size_t>(rule.length + 2), 0);
    part[0] = 0x3A;
    for (size_t i = 1; i < part.size() && at < size; ++i) part[i] = data[at++];
    item.parts.push_back(part);
  }
  Screen screen;
  if (!DecodeScreen(item, &screen)) __builtin_trap();
  std::string png = ScreenPng(screen, 1);
  if (png.size() < 8) __builtin_trap();
  DrawScreen(screen, data[0] & 2);
  return 0;
}
