// liaison ecran --fenetre on a real X server (Xvfb): the window's pixels,
// read back from the server, are the frame's at its whole scale; keys sent
// to it save, then end. Without a display, the terminal drawing instead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "support/fake_usb_env.h"
#include "support/harness.h"
#include "support/xvfb.h"
// After the others: Xlib's macros (None, Status, Bool) would clash with them.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

namespace {

// 384 x 216 in 5-6-5 colours, and what the PC makes of them.
std::vector<std::uint32_t> Picture() {
  std::vector<std::uint32_t> rgb;
  for (int y = 0; y < 216; ++y)
    for (int x = 0; x < 384; ++x)
      rgb.push_back(
          static_cast<std::uint32_t>((x % 32) << 19 | (y % 64) << 10 | ((x + y) % 32) << 3));
  return rgb;
}

std::uint32_t Kept(std::uint32_t v) {
  return ((v >> 19 & 31) * 255 / 31) << 16 | ((v >> 10 & 63) * 255 / 63) << 8 |
         (v >> 3 & 31) * 255 / 31;
}

void WritePpm(const std::string& path) {
  std::string bytes = "P6\n384 216\n255\n";
  for (std::uint32_t v : Picture()) {
    bytes += static_cast<char>(v >> 16);
    bytes += static_cast<char>(v >> 8);
    bytes += static_cast<char>(v);
  }
  WriteAll(path, bytes);
}

// A connection to the server, tried for a few seconds on a busy machine.
::Display* Connect(const std::string& display) {
  for (int i = 0; i < 100; ++i) {
    if (::Display* x = XOpenDisplay(display.c_str())) return x;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return nullptr;
}

// The program's largest top-level window: of class "liaison" (SDL names it
// after the program) or "liaison.exe" (wine), beside wine's small ones.
Window Find(::Display* x) {
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  long largest = 0;
  if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count; ++i) {
    XClassHint hint{};
    XWindowAttributes a{};
    if (!XGetClassHint(x, children[i], &hint)) continue;
    std::string kind = hint.res_class ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
    if ((kind == "liaison" || kind == "liaison.exe") && XGetWindowAttributes(x, children[i], &a) &&
        static_cast<long>(a.width) * a.height > largest) {
      largest = static_cast<long>(a.width) * a.height;
      found = children[i];
    }
  }
  if (children) XFree(children);
  return found;
}

// The window's pixels as the server holds them.
std::vector<std::uint32_t> Pixels(::Display* x, Window w, int* width, int* height) {
  XWindowAttributes a{};
  std::vector<std::uint32_t> pixels;
  if (!XGetWindowAttributes(x, w, &a) || a.map_state != IsViewable) return pixels;
  XImage* image = XGetImage(x, w, 0, 0, static_cast<unsigned>(a.width),
                            static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
  if (!image) return pixels;
  for (int y = 0; y < a.height; ++y)
    for (int i = 0; i < a.width; ++i)
      pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, i, y)) & 0xFFFFFF);
  XDestroyImage(image);
  *width = a.width;
  *height = a.height;
  return pixels;
}

// The frame at scale 2, as the window first shows a Graph 90+E's screen.
std::vector<std::uint32_t> Expected() {
  std::vector<std::uint32_t> picture = Picture(), scaled;
  for (int y = 0; y < 432; ++y)
    for (int x = 0; x < 768; ++x)
      scaled.push_back(Kept(picture[static_cast<size_t>(y / 2 * 384 + x / 2)]));
  return scaled;
}

// A key sent to the window; xdotool now and then fails to send on a busy
// server (it asks for the focus first): tried again.
bool Key(const std::string& display, Window w, const char* key) {
  std::string command = "DISPLAY=" + display + " xdotool key --window " + std::to_string(w) + " " +
                        key + " >/dev/null 2>&1";
  for (int i = 0; i < 5; ++i) {
    if (std::system(command.c_str()) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

RunOptions Options(const TempDir& dir, const Calculator& calculator, const std::string& display) {
  RunOptions options;
  options.env = FakeUsbEnvironment(calculator.Port(), "storage");
  options.env.insert(options.env.end(),
                     {"SDL_RENDER_DRIVER=software", "DISPLAY=" + display, "WAYLAND_DISPLAY="});
  options.stderrPath = dir / "err.txt";
  options.timeoutSeconds = 60;
  return options;
}

TEST(Window, PixelsOfTheFrameThenKeysSaveAndEnd) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  Xvfb server;
  if (server.Display().empty()) GTEST_SKIP() << "no Xvfb (scripts/test installs it)";
  TempDir dir;
  WritePpm(dir / "a.ppm");
  Calculator calculator(dir, {"--screenrecv", dir / "a.ppm", "--frames", "100000"});
  Process liaison({LIAISON_BIN, "ecran", "--fenetre", "--echelle", "1"}, dir.Path(),
                  Options(dir, calculator, server.Display()));
  ::Display* x = Connect(server.Display());
  ASSERT_NE(x, nullptr);
  Window w = 0;
  std::vector<std::uint32_t> pixels, expected = Expected();
  int width = 0, height = 0;
  for (int i = 0; i < 600 && pixels != expected; ++i) {  // up to 30 s on a busy machine
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!w) w = Find(x);
    if (w) pixels = Pixels(x, w, &width, &height);
  }
  ASSERT_NE(w, 0u) << "no window";
  EXPECT_EQ(width, 768);
  EXPECT_EQ(height, 432);
  EXPECT_TRUE(pixels == expected) << "the window does not show the frame at scale 2";
  // Its title: the model and the frames a second.
  char* name = nullptr;
  for (int i = 0; i < 60; ++i) {
    if (name) XFree(name);
    name = nullptr;
    XFetchName(x, w, &name);
    if (name && std::string(name).find("images/s") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(name && std::string(name).find("Liaison - Graph 90+E - ") == 0) << (name ? name : "");
  if (name) XFree(name);
  ASSERT_TRUE(Key(server.Display(), w, "s"));
  for (int i = 0; i < 100 && ReadAll(dir / "ecran-001.png").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(Key(server.Display(), w, "Escape"));
  Exit exit = liaison.Finish();
  XCloseDisplay(x);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out << ReadAll(dir / "err.txt");
  EXPECT_TRUE(Has(exit.out, "Image 1 (384 x 216) : ecran-001.png\n1 image(s) enregistree(s), "))
      << exit.out;
  EXPECT_FALSE(ReadAll(dir / "ecran-001.png").empty());
}

TEST(Window, NoDisplayDrawsInTheTerminal) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm");
  Calculator calculator(dir, {"--screenrecv", dir / "a.ppm"});
  RunOptions options = Options(dir, calculator, "");
  Process liaison({LIAISON_BIN, "ecran", "--fenetre", "--nombre", "1"}, dir.Path(), options);
  Exit exit = liaison.Finish();
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "Pas de fenetre : pas d'affichage graphique ici (ni DISPLAY ni "
                  "WAYLAND_DISPLAY). L'ecran est dessine ici.\n"))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "Image 1 (384 x 216) : ecran-001.png\n")) << exit.out;
}

// Wine's desktop takes the display of the first program of its server: a
// server started by an earlier case, without one, would keep the window off
// this case's X server; and one that keeps this case's display would outlive
// it. The server is ended before and after.
class FreshWineServer {
 public:
  FreshWineServer() { End(); }
  ~FreshWineServer() { End(); }

 private:
  static void End() {
    if (!OnWindows()) return;
    std::string command = "WINEPREFIX='" + WineBuild() + "/wineprefix' '" + WineTool("wineserver") +
                          "' -k >/dev/null 2>&1";
    if (std::system(command.c_str()) < 0) ADD_FAILURE() << "cannot end wineserver";
  }
};

// A capture over the serial cable, shown in the window as it comes: the
// native window (SDL2), and the Windows one under wine on the same server.
TEST(Window, SerialCaptureShownThenEscapeEnds) {
  Xvfb server;
  if (server.Display().empty()) GTEST_SKIP() << "no Xvfb (scripts/test installs it)";
  FreshWineServer wine;
  TempDir dir;
  std::string pbm = "P1\n128 64\n";
  std::vector<std::uint32_t> expected;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 128; ++x) {
      bool dark = x == y || y == 0 || x == 127 || (x / 8 + y / 8) % 3 == 0;
      pbm += dark ? "1 " : "0 ";
    }
    pbm += "\n";
  }
  // At scale 8, a monochrome screen's two shades.
  for (int y = 0; y < 512; ++y)
    for (int x = 0; x < 1024; ++x) {
      int px = x / 8, py = y / 8;
      bool dark = px == py || py == 0 || px == 127 || (px / 8 + py / 8) % 3 == 0;
      expected.push_back(dark ? 0x1E2420 : 0xC8D2BE);
    }
  WriteAll(dir / "m.pbm", pbm);
  Calculator calculator(dir, {"--screen", dir / "m.pbm"});
  RunOptions options;
  options.args = {"ecran", "--fenetre"};
  options.env = {"DISPLAY=" + server.Display(), "WAYLAND_DISPLAY=", "SDL_RENDER_DRIVER=software"};
  options.timeoutSeconds = 90;
  Liaison liaison(dir.Path(), calculator.Port(), options);
  ASSERT_TRUE(liaison.WaitFor("Capture 1 (128 x 64) : ecran-001.png"));
  ::Display* x = Connect(server.Display());
  ASSERT_NE(x, nullptr);
  Window w = 0;
  std::vector<std::uint32_t> pixels;
  int width = 0, height = 0;
  for (int i = 0; i < 600 && pixels != expected; ++i) {  // up to 30 s on a busy machine
    if (!w) w = Find(x);
    if (w) pixels = Pixels(x, w, &width, &height);
    if (pixels != expected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_NE(w, 0u) << "no window";
  EXPECT_EQ(width, 1024);
  EXPECT_EQ(height, 512);
  EXPECT_TRUE(pixels == expected) << "the window does not show the capture at scale 8";
  ASSERT_TRUE(Key(server.Display(), w, "Escape"));
  Exit exit = liaison.Finish();
  XCloseDisplay(x);
  calculator.Finish();
  EXPECT_TRUE(Has(exit.out, "Fenetre fermee.\n1 capture(s) enregistree(s).\n")) << exit.out;
  EXPECT_EQ(exit.status, 0) << exit.out;
}

}  // namespace
