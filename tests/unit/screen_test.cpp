// Screen captures: decoded pixel for pixel, drawn as text, refused when
// they are not whole and sound.
#include <gtest/gtest.h>

#include "files/archive.h"
#include "files/screen.h"
#include "session/transmission.h"
#include "support/blocks.h"
#include "support/memory_line.h"

namespace {

const Picture kArrow = {"#.........", "##........", "###.......", "####......",
                        "###.......", "##........", "#........#"};

Picture Rows(Picture p) {
  for (std::string& row : p)
    for (char& c : row) c = c == '#' ? '#' : ' ';
  return p;
}

Item ItemOf(const Bytes& bytes) {
  std::vector<Item> items;
  std::string error;
  EXPECT_TRUE(ReadArchive(bytes, &items, &error)) << error;
  return items.empty() ? Item{} : items[0];
}

TEST(Screen, MonochromePixelForPixel) {
  Screen screen;
  ASSERT_TRUE(DecodeScreen(ItemOf(CaptureBytes({Rows(kArrow)})), &screen));
  ASSERT_EQ(screen.width, 10);
  ASSERT_EQ(screen.height, 7);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(screen.At(x, y), kArrow[y][x] == '#' ? kDark : kPale) << x << "," << y;
  // 2 x 2 pixels a character with the quadrant blocks; '#' a pixel with
  // --ascii.
  EXPECT_EQ(DrawScreen(screen, false),
            "\xE2\x96\x99    \n"               // ▙
            "\xE2\x96\x88\xE2\x96\x99   \n"    // █▙
            "\xE2\x96\x88\xE2\x96\x98   \n"    // █▘
            "\xE2\x96\x98   \xE2\x96\x9D\n");  // ▘   ▝
  EXPECT_EQ(DrawScreen(screen, true),
            "#         \n##        \n###       \n####      \n###       \n##        \n#        #\n");
  // Narrower than the terminal: each drawn pixel a block, dark when one of
  // its pixels is.
  EXPECT_EQ(DrawScreen(screen, true, 5), "#    \n##   \n##   \n#   #\n");
  EXPECT_EQ(DrawingStep(screen, false, 3), 2);
  std::string narrow = DrawScreen(screen, false, 3);
  EXPECT_EQ(narrow, "\xE2\x96\x99  \n\xE2\x96\x9B \xE2\x96\x96\n");  // ▙ / ▛ ▖
  Screen wide;
  wide.width = 128;
  wide.height = 64;
  wide.pixels.assign(128 * 64, kPale);
  for (int columns : {80, 100, 64, 40, 20}) {
    std::string drawn = DrawScreen(wide, false, columns);
    EXPECT_LE(drawn.find('\n'), static_cast<size_t>(columns))
        << columns;  // blank: one byte a character
  }
}

TEST(Screen, ColourSheetsAndUnknownCodes) {
  const Picture left = {"##..", "##.."}, top = {"####", "...."}, dot = {"#...", "...."};
  for (bool outOfSum : {false, true}) {
    Screen screen;
    ASSERT_TRUE(DecodeScreen(
        ItemOf(CaptureBytes({Rows(left), Rows(top), Rows(dot)}, {1, 2, 4}, outOfSum)), &screen));
    // The last sheet that sets a pixel colours it; white where none does.
    const std::uint32_t expected[2][4] = {{0xFF8000, 0x008000, 0x008000, 0x008000},
                                          {0x000080, 0x000080, kWhite, kWhite}};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(screen.At(x, y), expected[y][x]) << x << "," << y;
    EXPECT_TRUE(screen.notes.empty());
  }
  Screen odd;
  ASSERT_TRUE(
      DecodeScreen(ItemOf(CaptureBytes({Rows(left), Rows(top), Rows(dot)}, {1, 9, 4})), &odd));
  EXPECT_EQ(odd.At(3, 0), 0x000000u);  // sheet 2 drawn in black
  ASSERT_EQ(odd.notes.size(), 1u);
  EXPECT_EQ(odd.notes[0], "feuille 2 : couleur 9 inconnue, dessinee en noir");
}

TEST(Screen, PngIsScaled) {
  Screen screen;
  ASSERT_TRUE(DecodeScreen(ItemOf(CaptureBytes({Rows(kArrow)})), &screen));
  std::string png = ScreenPng(screen, 3);
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  auto big = [&](size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) |
           (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(big(16), 30u);  // IHDR width
  EXPECT_EQ(big(20), 21u);  // and height
}

// During ecran only captures are taken: a program is refused with 0x24; a
// screen of no width cannot be read and is refused too; a sheet whose
// checksum is wrong both with and without its colour byte ends the capture.
TEST(Screen, ReceivedOnlyWhenWantedWholeAndSound) {
  struct OnlyScreens : TransmissionEvents {
    int kept = 0;
    std::vector<ItemEnd> ends;
    bool Wanted(const Item& h) override {
      return KindOf(h.header) == Kind::Screen || KindOf(h.header) == Kind::ColourScreen;
    }
    bool Keep(const Item&) override { return ++kept > 0; }
    void ItemEnded(const Item&, ItemEnd end, unsigned char) override { ends.push_back(end); }
  };
  Bytes noWidth = Sealed(Bytes{0x3A, 'D', 'D', 64, 0, 0x10, 0x44, 0x57, 0x46});
  noWidth.insert(noWidth.end() - 1, 30, 0);
  noWidth = Sealed(Bytes(noWidth.begin(), noWidth.begin() + 39));
  Bytes badSheet = CaptureBytes({Rows({"#"}), Rows({"#"}), Rows({"#"})}, {1, 2, 3});
  badSheet.back() ^= 0x10;
  struct Case {
    Bytes sent;
    Bytes answers;
    std::vector<ItemEnd> ends;
  };
  const Case cases[] = {
      // A refused item's parts never come: the calculator goes on with the next.
      {Join({Hex("16"), Slice(ProgramItemBytes("A", "a"), 0, 50), CaptureBytes({Rows(kArrow)})}),
       Hex("13 24 06 06"),
       {ItemEnd::NotWanted, ItemEnd::Kept}},
      {Join({Hex("16"), noWidth}), Hex("13 24"), {ItemEnd::Unknown}},
      {Join({Hex("16"), badSheet}), Hex("13 06 06 06 2B"), {ItemEnd::BadPart}},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then(c.sent);
    line.SetIdleReads(2);
    OnlyScreens events;
    ReceiveTransmission(-1, events);
    EXPECT_EQ(line.Written(), c.answers);
    EXPECT_EQ(events.ends, c.ends);
  }
}

}  // namespace

namespace {

// A colour screen in 24-bit colour: each character two pixels, top in the
// foreground, bottom in the background; a colour said only when it changes.
TEST(Screen, ColourDrawing) {
  Screen screen;
  screen.width = 3;
  screen.height = 2;
  screen.colour = true;
  screen.pixels = {0xFF0000, 0xFF0000, 0x0000FF, 0x00FF00, 0x00FF00, 0x00FF00};
  EXPECT_EQ(DrawColour(screen),
            "\033[38;2;255;0;0m\033[48;2;0;255;0m\xE2\x96\x80\xE2\x96\x80"
            "\033[38;2;0;0;255m\xE2\x96\x80\033[0m\n");
  // A Graph 90+E's 384 x 216 in an 80 x 24 terminal: 20 lines for it, so
  // every 6th pixel: 64 characters, 18 lines.
  Screen big;
  big.width = 384;
  big.height = 216;
  big.colour = true;
  big.pixels.assign(384 * 216, 0x102030);
  auto count = [](const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  std::string drawing = DrawColour(big, 80, 24);
  EXPECT_EQ(count(drawing, "\n"), 18u);
  EXPECT_EQ(count(drawing, "\xE2\x96\x80"), 18u * 64u);
  // 160 columns and no height known: every 3rd pixel, 128 characters, 36 lines.
  drawing = DrawColour(big, 160, 0);
  EXPECT_EQ(count(drawing, "\n"), 36u);
  EXPECT_EQ(count(drawing, "\xE2\x96\x80"), 36u * 128u);
  // One colour: said once a line.
  EXPECT_EQ(count(drawing, "\033[38;2;16;32;48m"), 36u);
}

}  // namespace
