// liaison ecran against the simulated calculator's captures: the PNG decoded
// and compared pixel for pixel with the picture sent, the drawing on the
// console line for line, and the faults.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <thread>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#include "stb_image.h"
#include "support/fake_usb_env.h"
#include "support/harness.h"

namespace {

// 128 x 64: a border, two diagonals, a checker in the middle.
Picture TestPicture(int variant = 0) {
  Picture rows(64, std::string(128, ' '));
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) {
      bool on = x == y + variant || x == 127 - y || y == 0 || y == 63 || x == 0 || x == 127 ||
                (x > 40 && x < 80 && (x / 8 + y / 8) % 2 == 0);
      if (on) rows[y][x] = '#';
    }
  return rows;
}

void WritePbm(const std::string& path, const Picture& picture) {
  std::string text = "P1\n# the test's drawing\n" + std::to_string(picture[0].size()) + " " +
                     std::to_string(picture.size()) + "\n";
  for (const std::string& row : picture) {
    for (char c : row) text += c == '#' ? "1 " : "0 ";
    text += "\n";
  }
  WriteAll(path, text);
}

struct Decoded {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;
};

Decoded ReadPng(const std::string& path) {
  Decoded png;
  int channels = 0;
  unsigned char* data = stbi_load(path.c_str(), &png.width, &png.height, &channels, 3);
  if (!data) return png;
  for (int i = 0; i < png.width * png.height; ++i)
    png.pixels.push_back(data[3 * i] << 16 | data[3 * i + 1] << 8 | data[3 * i + 2]);
  stbi_image_free(data);
  return png;
}

// '#' a pixel; each pixel of the drawing a block of `step` x `step` pixels.
std::string Ascii(const Picture& p, int step = 1) {
  std::string text;
  for (size_t y = 0; y < p.size(); y += static_cast<size_t>(step)) {
    for (size_t x = 0; x < p[y].size(); x += static_cast<size_t>(step)) {
      bool dark = false;
      for (size_t yy = y; yy < y + static_cast<size_t>(step) && yy < p.size(); ++yy)
        for (size_t xx = x; xx < x + static_cast<size_t>(step) && xx < p[yy].size(); ++xx)
          dark = dark || p[yy][xx] == '#';
      text += dark ? '#' : ' ';
    }
    text += "\n";
  }
  return text;
}

// 2 x 2 pixels a character, with the block that has those quarters dark;
// each pixel of the drawing a block of `step` x `step` pixels.
std::string Blocks(const Picture& p, int step = 1) {
  static const char* const quarters[16] = {" ", "▘", "▝", "▀", "▖", "▌", "▞", "▛",
                                           "▗", "▚", "▐", "▜", "▄", "▙", "▟", "█"};
  int h = static_cast<int>(p.size()), w = static_cast<int>(p[0].size());
  auto dark = [&](int x0, int y0) {
    for (int y = y0; y < y0 + step && y < h; ++y)
      for (int x = x0; x < x0 + step && x < w; ++x)
        if (p[y][x] == '#') return true;
    return false;
  };
  std::string text;
  for (int y = 0; y < h; y += 2 * step) {
    for (int x = 0; x < w; x += 2 * step)
      text += quarters[(dark(x, y) ? 1 : 0) | (dark(x + step, y) ? 2 : 0) |
                       (dark(x, y + step) ? 4 : 0) | (dark(x + step, y + step) ? 8 : 0)];
    text += "\n";
  }
  return text;
}

int Pictures(const TempDir& dir) {
  int count = 0;
  DIR* d = opendir(dir.Path().c_str());
  while (dirent* e = d ? readdir(d) : nullptr)
    if (std::string(e->d_name).find(".png") != std::string::npos) ++count;
  if (d) closedir(d);
  return count;
}

class Monochrome : public ::testing::TestWithParam<int> {};

TEST_P(Monochrome, PictureAndDrawingAreTheScreen) {
  int scale = GetParam();
  TempDir dir;
  Picture picture = TestPicture();
  WritePbm(dir / "screen.pbm", picture);
  Calculator calculator(dir, {"--screen", dir / "screen.pbm"});
  RunOptions options;
  options.args = {"ecran", "--nombre", "1", "--echelle", std::to_string(scale)};
  if (scale == 1) options.args.push_back("--ascii");
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(exit.out,
            "En attente des captures d'ecran sur COM1 (touche de capture de la calculatrice)...\n"
            "Transmission commencee.\n" +
                (scale == 1 ? Ascii(picture) : Blocks(picture)) +
                "Capture 1 (128 x 64) : ecran-001.png\nFin : le nombre demande est atteint.\n"
                "1 capture(s) enregistree(s).\n");
  Decoded png = ReadPng(dir / "ecran-001.png");
  ASSERT_EQ(png.width, 128 * scale);
  ASSERT_EQ(png.height, 64 * scale);
  int wrong = 0;
  for (int y = 0; y < png.height; ++y)
    for (int x = 0; x < png.width; ++x) {
      bool dark = picture[y / scale][x / scale] == '#';
      wrong += png.pixels[y * png.width + x] != (dark ? 0x1E2420u : 0xC8D2BEu);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(calculator.FromPc(), Hex("13 06 06"));
}

INSTANTIATE_TEST_SUITE_P(Scales, Monochrome, ::testing::Values(1, 4));

// On a terminal narrower than the drawing, the drawing fits it: 128 pixels
// are 64 characters, 32 on 40 columns; --ascii 64 on 100 columns.
TEST(Drawing, FitsTheTerminal) {
  if (OnWindows()) GTEST_SKIP() << "the test's terminal is a pty";
  struct Case {
    int columns;
    bool ascii;
    std::string drawing;
  };
  Picture picture = TestPicture();
  const Case cases[] = {{80, false, Blocks(picture)},
                        {40, false, Blocks(picture, 2)},
                        {100, true, Ascii(picture, 2)}};
  for (const Case& c : cases) {
    TempDir dir;
    WritePbm(dir / "screen.pbm", picture);
    Calculator calculator(dir, {"--screen", dir / "screen.pbm"});
    RunOptions options;
    options.args = {"ecran", "--nombre", "1"};
    if (c.ascii) options.args.push_back("--ascii");
    options.terminalColumns = c.columns;
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, 0) << exit.out;
    std::string out;  // the terminal's CR LF back to LF
    for (char ch : exit.out)
      if (ch != '\r') out += ch;
    EXPECT_TRUE(Has(out, "\0338\033[K" + c.drawing + "Capture 1"))
        << out;  // after the progress line
  }
}

TEST(Colour, SheetsGiveTheColours) {
  TempDir dir;
  Picture left(64, std::string(128, ' ')), top = left, diagonal = left;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) {
      if (x < 64) left[y][x] = '#';
      if (y < 32) top[y][x] = '#';
      if (x == y) diagonal[y][x] = '#';
    }
  WritePbm(dir / "1.pbm", left);
  WritePbm(dir / "2.pbm", top);
  WritePbm(dir / "3.pbm", diagonal);
  Calculator calculator(dir, {"--screen", dir / "1.pbm", "--screen", dir / "2.pbm", "--screen",
                              dir / "3.pbm", "--colours", "1,2,4", "--colour-out-of-sum"});
  RunOptions options;
  options.args = {"ecran", "--nombre", "1", "--echelle", "1"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  Decoded png = ReadPng(dir / "ecran-001.png");
  ASSERT_EQ(png.width, 128);
  int wrong = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) {
      std::uint32_t want = x == y ? 0xFF8000 : y < 32 ? 0x008000 : x < 64 ? 0x000080 : 0xFFFFFF;
      wrong += png.pixels[y * 128 + x] != want;
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(calculator.FromPc(), Hex("13 06 06 06 06"));
}

struct Fault {
  const char* what;
  std::vector<std::string> sim;
  std::vector<std::string> args;
  int status;
  int pictures;
  const char* shown;
  long fileSizeLimit = -1;
};

void PrintTo(const Fault& f, std::ostream* os) {
  *os << f.what;
}

class EcranFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(EcranFaults, NothingHalfSaved) {
  const Fault& f = GetParam();
  if (OnWindows() && f.fileSizeLimit >= 0) GTEST_SKIP() << "a file size limit is POSIX's";
  TempDir dir;
  WritePbm(dir / "screen.pbm", TestPicture());
  WritePbm(dir / "3.pbm", TestPicture(3));
  Bytes program = ProgramItemBytes("A", "x");
  WriteAll(dir / "program.cas", std::string(program.begin(), program.end()));
  std::vector<std::string> sim = f.sim;
  for (std::string& a : sim) a = a[0] == '@' ? dir / a.substr(1) : a;
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = {"ecran"};
  options.args.insert(options.args.end(), f.args.begin(), f.args.end());
  options.fileSizeLimit = f.fileSizeLimit;
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, f.status) << exit.out;
  EXPECT_TRUE(Has(exit.out, f.shown)) << exit.out;
  EXPECT_EQ(Pictures(dir), f.pictures);
  EXPECT_EQ(LeftBehind(dir), 0);
  if (f.pictures > 0) {
    EXPECT_EQ(ReadPng(dir / "ecran-001.png").width, 128 * 4);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EcranFaults,
    ::testing::Values(
        Fault{"other_kind",
              {"--transmit", "@program.cas"},
              {"--attente", "1"},
              1,
              0,
              "  programme A (2 octets) : refuse : ce n'est pas une capture d'ecran (24 envoye)"},
        Fault{"bad_part_then_a_good_one",
              {"--screen", "@screen.pbm", "--repeat", "2", "--bad-part", "1"},
              {"--nombre", "1"},
              1,
              1,
              "  ecran (1024 octets) : refuse : checksum des donnees incorrect (2B envoye)\n"},
        Fault{"colour_code_out_of_range",
              {"--screen", "@screen.pbm", "--screen", "@3.pbm", "--screen", "@screen.pbm",
               "--colours", "1,7,2"},
              {"--nombre", "1"},
              0,
              1,
              "  feuille 2 : couleur 7 inconnue, dessinee en noir\n"},
        // A calculator that keeps calling with programs: the wait ends all
        // the same, counted from the last capture saved.
        Fault{"only_refused_items",
              {"--serve", "P"},
              {"--attente", "2"},
              1,
              0,
              "Plus rien depuis 2 s.\n0 capture(s) enregistree(s).\n"},
        // A picture the disk refuses: refused on the line, no file at all.
        Fault{"disk_refuses",
              {"--screen", "@screen.pbm"},
              {"--nombre", "1", "--attente", "2"},
              1,
              0,
              "  ecran (1024 octets) : refuse (2B envoye) : pas enregistre : ",
              100},
        Fault{"nothing_comes",
              {"--take"},
              {"--attente", "1"},
              1,
              0,
              "Plus rien depuis 1 s.\n0 capture(s) enregistree(s).\n"},
        Fault{"line_lost_mid_part",
              {"--screen", "@screen.pbm", "--vanish-part", "1"},
              {},
              255,
              0,
              "  ecran (1024 octets) : incomplet : liaison perdue\n"}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.what); });

// The largest screen at the largest scale: the picture is bounded, said.
TEST(EcranScale, PictureMemoryIsBounded) {
  TempDir dir;
  Picture large(255, std::string(255, ' '));
  for (int i = 0; i < 255; ++i) large[static_cast<size_t>(i)][static_cast<size_t>(i)] = '#';
  WritePbm(dir / "large.pbm", large);
  Calculator calculator(dir, {"--screen", dir / "large.pbm"});
  RunOptions options;
  options.args = {"ecran", "--echelle", "64", "--nombre", "1"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  echelle ramenee a 16 : l'image aurait passe 16 millions de pixels"))
      << exit.out;
  EXPECT_EQ(ReadPng(dir / "ecran-001.png").width, 255 * 16);
}

// Ctrl-C while it waits for more: the captures saved are whole pictures, and
// the summary is said before the end.
TEST(EcranStop, CtrlCLeavesWholePictures) {
  if (OnWindows()) GTEST_SKIP() << "a POSIX signal";
  TempDir dir;
  WritePbm(dir / "screen.pbm", TestPicture());
  Calculator calculator(dir, {"--screen", dir / "screen.pbm"});
  RunOptions options;
  options.args = {"ecran"};
  Liaison liaison(dir.Path(), calculator.Port(), options);
  ASSERT_TRUE(liaison.WaitFor("Capture 1 (128 x 64) : ecran-001.png\n"));
  kill(liaison.Pid(), SIGINT);
  Exit exit = liaison.Finish();
  EXPECT_EQ(exit.status, -SIGINT);
  EXPECT_TRUE(Has(exit.out, "ecran-001.png\n\n1 capture(s) enregistree(s).\n")) << exit.out;
  EXPECT_EQ(ReadPng(dir / "ecran-001.png").width, 512);
}

// A capture that comes during liaison recevoir: kept in the archive, and
// saved as a picture beside it.
TEST(EcranInATransmission, KeptAndSaved) {
  TempDir dir;
  WritePbm(dir / "screen.pbm", TestPicture());
  Calculator calculator(dir, {"--screen", dir / "screen.pbm"});
  RunOptions options;
  options.args = {"recevoir"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  ecran (1024 octets) : recu, ecran-001.png\n")) << exit.out;
  EXPECT_EQ(ReadPng(dir / "ecran-001.png").width, 512);
  Bytes capture = CaptureBytes({TestPicture()});
  bool archived = false;
  DIR* d = opendir(dir.Path().c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string name = e->d_name;
    if (name.size() > 4 && name.substr(name.size() - 4) == ".cas")
      archived = ReadAll(dir / name) == std::string(capture.begin(), capture.end());
  }
  if (d) closedir(d);
  EXPECT_TRUE(archived);
}

}  // namespace

namespace {

// A Graph 90+E in ScreenRecv, through the real libusb backend and its
// stand-in (preloaded): liaison-sim answers the SCSI commands on a pty.

// 384 x 216, every 5-bit red and blue and 6-bit green value somewhere.
std::vector<std::uint32_t> ColourPicture(int variant) {
  std::vector<std::uint32_t> rgb;
  for (int y = 0; y < 216; ++y)
    for (int x = 0; x < 384; ++x)
      rgb.push_back(static_cast<std::uint32_t>(((x + variant) % 32) << 19 | (y % 64) << 10 |
                                               ((x + y) % 32) << 3));
  return rgb;
}

void WritePpm(const std::string& path, const std::vector<std::uint32_t>& rgb) {
  std::string bytes = "P6\n384 216\n255\n";
  for (std::uint32_t v : rgb) {
    bytes += static_cast<char>(v >> 16);
    bytes += static_cast<char>(v >> 8);
    bytes += static_cast<char>(v);
  }
  WriteAll(path, bytes);
}

// What the PC keeps of a 5-6-5 pixel: each value scaled to 8 bits.
std::vector<std::uint32_t> Kept(const std::vector<std::uint32_t>& rgb) {
  std::vector<std::uint32_t> kept;
  for (std::uint32_t v : rgb) {
    std::uint32_t r = (v >> 19 & 31) * 255 / 31, g = (v >> 10 & 63) * 255 / 63,
                  b = (v >> 3 & 31) * 255 / 31;
    kept.push_back(r << 16 | g << 8 | b);
  }
  return kept;
}

struct ScreenRecvRun {
  Exit exit;
  std::string report, usbLog, err;
};

ScreenRecvRun OnScreenRecv(const TempDir& dir, std::vector<std::string> sim,
                           const std::vector<std::string>& args,
                           const std::string& fake = "storage", const std::string& colours = "") {
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = args;
  options.env = FakeUsbEnvironment(calculator.Port(), fake, dir / "usb.log");
  options.stderrPath = dir / "err.txt";
  options.timeoutSeconds = 30;
  if (!colours.empty()) {  // on a terminal that says what it draws
    options.env.push_back("COLORTERM=" + colours);
    options.terminalColumns = 100;
  }
  std::vector<std::string> argv = {LIAISON_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  ScreenRecvRun run;
  run.exit = Process(argv, dir.Path(), options).Finish();
  calculator.Finish();
  run.report = calculator.Report();
  run.usbLog = ReadAll(dir / "usb.log");
  run.err = ReadAll(dir / "err.txt");
  return run;
}

TEST(ScreenRecv, ColourFramesSavedExactly) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm", ColourPicture(0));
  WritePpm(dir / "b.ppm", ColourPicture(5));
  ScreenRecvRun run =
      OnScreenRecv(dir, {"--screenrecv", dir / "a.ppm", "--screenrecv", dir / "b.ppm"},
                   {"ecran", "--nombre", "2", "--echelle", "1"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out << run.err;
  EXPECT_TRUE(Has(run.exit.out, "Image 1 (384 x 216) : ecran-001.png\n")) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out, "2 image(s) enregistree(s), 2 trame(s) recue(s).\n"))
      << run.exit.out;
  Decoded first = ReadPng(dir / "ecran-001.png"), second = ReadPng(dir / "ecran-002.png");
  EXPECT_EQ(first.width, 384);
  EXPECT_EQ(first.height, 216);
  EXPECT_TRUE(first.pixels == Kept(ColourPicture(0)));
  EXPECT_TRUE(second.pixels == Kept(ColourPicture(5)));
  // The check answered once; no enabling request to a disk; its driver away
  // for the time, and said.
  EXPECT_TRUE(Has(run.report, "acked=1\nreceived=0630323030313044\n")) << run.report;
  EXPECT_TRUE(Has(run.usbLog, "auto_detach 1\nclaim 0\n")) << run.usbLog;
  EXPECT_FALSE(Has(run.usbLog, "control 41")) << run.usbLog;
  EXPECT_TRUE(Has(run.err,
                  "le disque de la calculatrice (Graph 90+E / 35+E II, disque USB) "
                  "quitte le systeme pendant que Liaison lit son ecran"))
      << run.err;
}

TEST(ScreenRecv, LostBytesDamagedFramesAndMonochrome) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm", ColourPicture(0));
  WritePbm(dir / "m.pbm", TestPicture());  // a Graph 35+E II's screen
  // Frames a, m, a, m, a: the second loses bytes, the third is damaged.
  ScreenRecvRun run =
      OnScreenRecv(dir,
                   {"--screenrecv", dir / "a.ppm", "--screenrecv", dir / "m.pbm", "--frames", "5",
                    "--lose", "2", "--damage", "3", "--format", "1RC3"},
                   {"ecran", "--nombre", "3", "--echelle", "2"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out << run.err;
  EXPECT_TRUE(Has(run.exit.out, "3 image(s) enregistree(s), 3 trame(s) recue(s).\n"))
      << run.exit.out;
  EXPECT_EQ(ReadPng(dir / "ecran-001.png").width, 384 * 2);
  EXPECT_EQ(ReadPng(dir / "ecran-002.png").width, 128 * 2);
  EXPECT_EQ(ReadPng(dir / "ecran-003.png").width, 384 * 2);
  EXPECT_TRUE(Has(run.report, "frames=5\n")) << run.report;
}

TEST(ScreenRecv, PulledCableAndOtherCommands) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm", ColourPicture(0));
  ScreenRecvRun run = OnScreenRecv(dir, {"--screenrecv", dir / "a.ppm", "--frames", "1000"},
                                   {"ecran"}, "storage,pull=60");
  EXPECT_EQ(run.exit.status, 255) << run.exit.out << run.err;
  EXPECT_TRUE(Has(run.exit.out, "Liaison avec la calculatrice perdue (cable debranche?).\n"))
      << run.exit.out;
  TempDir other;
  WritePpm(other / "a.ppm", ColourPicture(0));
  run = OnScreenRecv(other, {"--screenrecv", other / "a.ppm"}, {"--ports"});
  EXPECT_TRUE(Has(run.exit.out,
                  "  bus 3, adresse 4 : CASIO MassStorage Device (Graph 90+E / 35+E II, disque "
                  "USB)\n"))
      << run.exit.out;
}

// On a terminal that draws 24-bit colour, the colour screen in its colours,
// fitted to the terminal; elsewhere the drawing in blocks.
TEST(ScreenRecv, ColourInTheTerminal) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm", ColourPicture(0));
  ScreenRecvRun run = OnScreenRecv(dir, {"--screenrecv", dir / "a.ppm"}, {"ecran", "--nombre", "1"},
                                   "storage", "truecolor");
  EXPECT_EQ(run.exit.status, 0) << run.exit.out << run.err;
  EXPECT_TRUE(Has(run.exit.out, "\033[38;2;")) << run.exit.out;
  size_t blocks = 0;
  for (size_t at = run.exit.out.find("\xE2\x96\x80"); at != std::string::npos;
       at = run.exit.out.find("\xE2\x96\x80", at + 1))
    ++blocks;
  // 100 x 24: 20 lines for it, every 6th pixel: 18 lines of 64.
  EXPECT_EQ(blocks, 18u * 64u);
  TempDir plain;
  WritePpm(plain / "a.ppm", ColourPicture(0));
  run = OnScreenRecv(plain, {"--screenrecv", plain / "a.ppm"}, {"ecran", "--nombre", "1"},
                     "storage", "none");
  EXPECT_EQ(run.exit.status, 0) << run.exit.out << run.err;
  EXPECT_FALSE(Has(run.exit.out, "\033[38;2;")) << run.exit.out;
}

// Ctrl-C while the screen streams: the summary counts the frames that came
// (it is brought up to date each second, not only at each picture saved).
TEST(ScreenRecv, CtrlCCountsTheFrames) {
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program";
  TempDir dir;
  WritePpm(dir / "a.ppm", ColourPicture(0));
  WritePpm(dir / "b.ppm", ColourPicture(3));
  Calculator calculator(dir,
                        {"--screenrecv", dir / "a.ppm", "--screenrecv", dir / "b.ppm", "--frames",
                         "100000", "--fps", "20"},
                        false);
  RunOptions options;
  options.env = FakeUsbEnvironment(calculator.Port(), "storage");
  options.env.push_back("COLORTERM=");
  // A narrow terminal: small drawings, so that the console, not read while
  // the case sleeps, does not hold the program up.
  options.terminalColumns = 20;
  Process liaison({LIAISON_BIN, "ecran"}, dir.Path(), options);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  kill(liaison.Pid(), SIGINT);
  Exit exit = liaison.Finish();
  EXPECT_EQ(exit.status, -SIGINT);
  size_t at = exit.out.find("0 image(s) enregistree(s), ");
  ASSERT_NE(at, std::string::npos) << exit.out;
  EXPECT_GT(std::atoi(exit.out.c_str() + at + 27), 0) << exit.out;
}

}  // namespace
