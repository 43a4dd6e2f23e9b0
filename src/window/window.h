// The live screen in a window of its own, for the room's projector: the
// frame at the largest whole scale that fits (nearest neighbour: crisp
// pixels), centred on black; resizable; F or F11 full screen. S or Enter
// asks to save, Q, Esc or closing the window to end. Nothing here prints.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class WindowKey { None, Save, Quit };

class ScreenWindow {
 public:
  virtual ~ScreenWindow() = default;
  // Shows these pixels (0xRRGGBB, row after row) until the next ones.
  virtual void Show(const std::vector<std::uint32_t>& pixels, int width, int height) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // What the user did, waiting at most `waitMs` for it: a key that saves or
  // ends (resizing, full screen and redrawing are done here).
  virtual WindowKey Events(int waitMs) = 0;
};

// A window on this system's display, first sized for a width x height
// screen; null, with why, where no window can be opened (no display).
std::unique_ptr<ScreenWindow> OpenScreenWindow(const std::string& title, int width, int height,
                                               std::string* why);

// The largest whole scale at which width x height fits in areaWidth x
// areaHeight; at least 1.
int WholeScale(int width, int height, int areaWidth, int areaHeight);
// The size a window first takes for such a screen: the largest whole scale
// within 1024 x 768 (a projector's smallest), at least 1.
void FirstSize(int width, int height, int* windowWidth, int* windowHeight);
