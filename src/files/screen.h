// The calculator's screen, as a capture brings it: decoded to pixels, saved
// as a PNG picture, drawn as text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/item.h"

struct Screen {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0xRRGGBB, row after row from the top
  bool colour = false;
  std::vector<std::string> notes;  // "feuille 2 : couleur 7 inconnue, dessinee en noir"
  std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

constexpr std::uint32_t kDark = 0x1E2420;   // a monochrome screen's pixel that is on...
constexpr std::uint32_t kPale = 0xC8D2BE;   // ...and one that is off
constexpr std::uint32_t kWhite = 0xFFFFFF;  // a colour screen where no sheet is set

// False for an item that is no screen capture with its parts whole.
bool DecodeScreen(const Item& capture, Screen* screen);
// The largest picture made: its memory stays near 50 MB whatever the
// screen and the scale asked for.
constexpr long long kMaxPicturePixels = 4096LL * 4096;
// The scale a picture of this screen is made at: `wanted`, or less where the
// picture would be larger than kMaxPicturePixels.
int PictureScale(const Screen& screen, int wanted);
// The picture, each screen pixel as scale × scale pixels (at most
// PictureScale's), as PNG bytes; empty when the encoder fails.
std::string ScreenPng(const Screen& screen, int scale);
// The picture saved in `folder` as ecran-NNN.png, the first name free;
// false, with why, when it cannot be made or written (no file then). A
// scale brought down is said in the screen's notes.
bool SavePicture(const std::string& folder, int scale, Screen* screen, std::string* path,
                 std::string* error);
// The screen as text: each character 2 x 2 pixels with the quadrant blocks
// (▘ ▝ ▀ ▖ ▌ ... █; a pixel that is not the background counts as dark), or
// with ascii, '#' and ' ', one character a pixel. Narrower than `columns`
// (0: no limit), each pixel of that drawing stands for a block of step x
// step pixels, dark when one of them is.
std::string DrawScreen(const Screen& screen, bool ascii, int columns = 0);
// A colour screen for a terminal that draws 24-bit colour: each character an
// upper-half block, its two pixels in the foreground and background colours;
// a pixel of it stands for a block of step x step pixels (the one at its
// corner), the smallest step that fits `columns` and `rows` (0: no limit).
std::string DrawColour(const Screen& screen, int columns = 0, int rows = 0);
// The smallest step that fits `columns`.
int DrawingStep(const Screen& screen, bool ascii, int columns);
