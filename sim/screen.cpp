#include "screen.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "link/item.h"
#include "link/link.h"

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<int> dark;  // 1 where the picture is black, row after row
};

// "P1", width, height, then 0 and 1 for each pixel; '#' starts a comment.
bool ReadPbm(const std::string& path, Picture* picture) {
  std::ifstream in(path);
  std::stringstream clean;
  for (std::string line; std::getline(in, line);) clean << line.substr(0, line.find('#')) << '\n';
  std::string magic;
  clean >> magic >> picture->width >> picture->height;
  if (magic != "P1" || picture->width <= 0 || picture->height <= 0 || picture->width > 255 ||
      picture->height > 255)
    return false;
  for (int i = 0; i < picture->width * picture->height; ++i) {
    char c;
    do {
      if (!clean.get(c)) return false;
    } while (c != '0' && c != '1');
    picture->dark.push_back(c == '1');
  }
  return true;
}

// Columns of 8 pixels, the rightmost first, each from the top row down;
// the pixel (x, y) is bit 0x80 >> (x mod 8) of byte ((w - 1 - x) / 8) * h + y.
Block Bits(const Picture& p, bool upsideDown) {
  Block bits(static_cast<size_t>((p.width + 7) / 8 * p.height), 0);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (!p.dark[static_cast<size_t>(y) * p.width + x]) continue;
      int row = upsideDown ? p.height - 1 - y : y;
      bits[static_cast<size_t>((p.width - 1 - x) / 8) * p.height + row] |=
          static_cast<unsigned char>(0x80 >> (x % 8));
    }
  }
  return bits;
}

Block Sealed(Block block, int leftOut = 0) {
  block.push_back(0);
  int sum = sumtable8bit(block.data(), static_cast<int>(block.size()) - 1) - leftOut;
  block.back() = static_cast<unsigned char>(create_checksum8bit(sum));
  return block;
}

}  // namespace

bool BuildCapture(const ScreenPlan& plan, SimItem* capture) {
  std::vector<Picture> pictures(plan.pictures.size());
  for (size_t i = 0; i < plan.pictures.size(); ++i) {
    if (!ReadPbm(plan.pictures[i], &pictures[i]) || pictures[i].width != pictures[0].width ||
        pictures[i].height != pictures[0].height) {
      std::fprintf(stderr, "liaison-sim: %s is no P1 picture of the first one's size\n",
                   plan.pictures[i].c_str());
      return false;
    }
  }
  bool colour = pictures.size() == 3;
  Block header = {BLOCK_START, 'D', static_cast<unsigned char>(colour ? 'C' : 'D'),
                  static_cast<unsigned char>(pictures[0].height),
                  static_cast<unsigned char>(pictures[0].width)};
  if (colour)
    header.insert(header.end(), {0x11, 0x55, 0x57, 0x46, 0x03});
  else
    header.insert(header.end(), {0x10, 0x44, 0x57, 0x46});
  header.resize(SCREEN_HEADER_SIZE - 1, 0x00);
  capture->header = Sealed(header);
  if (plan.badHeader) capture->header.back() ^= 0x01;
  capture->parts.clear();
  for (size_t i = 0; i < pictures.size(); ++i) {
    Block part = {BLOCK_START};
    unsigned char code = 0;
    if (colour) {
      code = static_cast<unsigned char>(plan.colours[i]);
      part.push_back(code);
    }
    Block bits = Bits(pictures[i], colour);
    part.insert(part.end(), bits.begin(), bits.end());
    capture->parts.push_back(Sealed(part, plan.colourOutOfSum ? code : 0));
  }
  return true;
}
