#include "files/screen.h"

#include <algorithm>
#include <cstdio>

#include "files/archive.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include "stb_image_write.h"

namespace {

// A capture's bits: the pixel (x, y) is bit 0x80 >> (x mod 8) of byte
// ((width - 1 - x) div 8) × height + y: columns of 8 pixels, the rightmost
// first, each from the top row down.
bool Bit(const Bytes& bits, size_t from, int width, int height, int x, int y) {
  size_t at = from + static_cast<size_t>((width - 1 - x) / 8) * height + y;
  return at < bits.size() && (bits[at] & (0x80 >> (x % 8)));
}

std::uint32_t SheetColour(unsigned char code) {
  switch (code) {
    case 1:
      return 0x000080;  // blue
    case 2:
      return 0x008000;  // green
    case 3:
      return 0xFFFFFF;  // white
    case 4:
      return 0xFF8000;  // orange
    default:
      return 0x000000;
  }
}

}  // namespace

bool DecodeScreen(const Item& capture, Screen* screen) {
  PartRule rule;
  Kind kind = KindOf(capture.header);
  if ((kind != Kind::Screen && kind != Kind::ColourScreen) || !PartsOf(capture.header, &rule) ||
      static_cast<long long>(capture.parts.size()) != rule.count)
    return false;
  *screen = Screen{};
  screen->height = capture.header[3];
  screen->width = capture.header[4];
  screen->colour = kind == Kind::ColourScreen;
  int w = screen->width, h = screen->height;
  screen->pixels.assign(static_cast<size_t>(w) * h, screen->colour ? kWhite : kPale);
  if (!screen->colour) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (Bit(capture.parts[0], 1, w, h, x, y))
          screen->pixels[static_cast<size_t>(y) * w + x] = kDark;
    return true;
  }
  // Each sheet: its colour, then its bits upside down; the last sheet that
  // sets a pixel gives it its colour.
  for (size_t sheet = 0; sheet < capture.parts.size(); ++sheet) {
    const Bytes& part = capture.parts[sheet];
    unsigned char code = part[1];
    if (code < 1 || code > 4)
      screen->notes.push_back("feuille " + std::to_string(sheet + 1) + " : couleur " +
                              std::to_string(code) + " inconnue, dessinee en noir");
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (Bit(part, 2, w, h, x, h - 1 - y))
          screen->pixels[static_cast<size_t>(y) * w + x] = SheetColour(code);
  }
  return true;
}

int PictureScale(const Screen& screen, int wanted) {
  long long pixels = static_cast<long long>(screen.width) * screen.height;
  int scale = wanted;
  while (scale > 1 && pixels * scale * scale > kMaxPicturePixels) --scale;
  return scale;
}

std::string ScreenPng(const Screen& screen, int scale) {
  scale = PictureScale(screen, scale);
  int w = screen.width * scale, h = screen.height * scale;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint32_t p = screen.At(x / scale, y / scale);
      unsigned char* out = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      out[0] = static_cast<unsigned char>(p >> 16);
      out[1] = static_cast<unsigned char>(p >> 8);
      out[2] = static_cast<unsigned char>(p);
    }
  }
  std::string png;
  int made = stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        static_cast<std::string*>(context)->append(static_cast<const char*>(data),
                                                   static_cast<size_t>(size));
      },
      &png, w, h, 3, rgb.data(), w * 3);
  if (!made) png.clear();  // the encoder ran out of memory: no picture, not half of one
  return png;
}

namespace {

// The quadrant blocks, by their dark quarters: 1 upper left, 2 upper right,
// 4 lower left, 8 lower right.
const char* const kQuadrants[16] = {" ",
                                    "\xE2\x96\x98",
                                    "\xE2\x96\x9D",
                                    "\xE2\x96\x80",
                                    "\xE2\x96\x96",
                                    "\xE2\x96\x8C",
                                    "\xE2\x96\x9E",
                                    "\xE2\x96\x9B",
                                    "\xE2\x96\x97",
                                    "\xE2\x96\x9A",
                                    "\xE2\x96\x90",
                                    "\xE2\x96\x9C",
                                    "\xE2\x96\x84",
                                    "\xE2\x96\x99",
                                    "\xE2\x96\x9F",
                                    "\xE2\x96\x88"};

}  // namespace

int DrawingStep(const Screen& screen, bool ascii, int columns) {
  int across = ascii ? 1 : 2;  // pixels a character shows across, at full size
  int step = 1;
  while (columns > 0 && step < screen.width &&
         (screen.width + across * step - 1) / (across * step) > columns)
    ++step;
  return step;
}

std::string DrawScreen(const Screen& screen, bool ascii, int columns) {
  std::uint32_t background = screen.colour ? kWhite : kPale;
  const int step = DrawingStep(screen, ascii, columns);
  // A block of step x step pixels is dark when one of its pixels is.
  auto dark = [&](int x0, int y0) {
    for (int y = y0; y < y0 + step && y < screen.height; ++y)
      for (int x = x0; x < x0 + step && x < screen.width; ++x)
        if (screen.At(x, y) != background) return true;
    return false;
  };
  std::string text;
  const int cell = ascii ? step : 2 * step;
  for (int y = 0; y < screen.height; y += cell) {
    for (int x = 0; x < screen.width; x += cell) {
      if (ascii) {
        text += dark(x, y) ? '#' : ' ';
        continue;
      }
      int quarters = (dark(x, y) ? 1 : 0) | (dark(x + step, y) ? 2 : 0) |
                     (dark(x, y + step) ? 4 : 0) | (dark(x + step, y + step) ? 8 : 0);
      text += kQuadrants[quarters];
    }
    text += '\n';
  }
  return text;
}

std::string DrawColour(const Screen& screen, int columns, int rows) {
  int step = 1;
  if (columns > 0) step = std::max(step, (screen.width + columns - 1) / columns);
  // Room is kept for the lines around the drawing.
  if (rows > 4) step = std::max(step, (screen.height + 2 * (rows - 4) - 1) / (2 * (rows - 4)));
  std::string text;
  char code[32];
  for (int y = 0; y < screen.height; y += 2 * step) {
    std::uint32_t fg = 0xFFFFFFFF, bg = 0xFFFFFFFF;  // no colour said yet on this line
    for (int x = 0; x < screen.width; x += step) {
      std::uint32_t top = screen.At(x, y);
      std::uint32_t bottom = y + step < screen.height ? screen.At(x, y + step) : top;
      if (top != fg) {
        std::snprintf(code, sizeof code, "\033[38;2;%u;%u;%um", top >> 16 & 0xFF, top >> 8 & 0xFF,
                      top & 0xFF);
        text += code;
        fg = top;
      }
      if (bottom != bg) {
        std::snprintf(code, sizeof code, "\033[48;2;%u;%u;%um", bottom >> 16 & 0xFF,
                      bottom >> 8 & 0xFF, bottom & 0xFF);
        text += code;
        bg = bottom;
      }
      text += "\xE2\x96\x80";  // upper half block
    }
    text += "\033[0m\n";
  }
  return text;
}

namespace {

// ecran-001.png, ecran-002.png...
std::string PictureName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "ecran-%03d.png", n);
  return name;
}

}  // namespace

bool SavePicture(const std::string& folder, int scale, Screen* screen, std::string* path,
                 std::string* error) {
  std::string png = ScreenPng(*screen, scale);
  if (png.empty()) {
    *error = "image PNG impossible a faire (memoire)";
    return false;
  }
  if (PictureScale(*screen, scale) < scale)
    screen->notes.push_back("echelle ramenee a " + std::to_string(PictureScale(*screen, scale)) +
                            " : l'image aurait passe " +
                            std::to_string(kMaxPicturePixels / 1000000) + " millions de pixels");
  return WriteNewFile(folder, PictureName, png, path, error);
}
