// liaison ecran on the USB cable, in the program itself: a stream made here
// goes through the fake bus; the drawing and the pictures are its frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <dirent.h>

#include "app/commands.h"
#include "app/seven_commands.h"
#include "files/screen.h"
#include "seven/stream.h"
#include "support/blocks.h"
#include "support/fake_usb.h"
#include "support/session.h"

namespace {

Screen Drawn(const std::string& frame) {
  Screen screen;
  screen.width = 128;
  screen.height = 64;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      screen.pixels.push_back(
          (static_cast<unsigned char>(frame[y * 16 + x / 8]) & (0x80 >> x % 8)) ? kDark : kPale);
  return screen;
}

int Pictures(const std::string& folder) {
  int count = 0;
  DIR* d = opendir(folder.c_str());
  while (dirent* e = d ? readdir(d) : nullptr)
    count += std::string(e->d_name).find(".png") != std::string::npos;
  if (d) closedir(d);
  return count;
}

struct Projected {
  int status;
  std::string out, written;
};

// ecran in this process over `bus`: its status, its console text, what it wrote.
Projected ProjectOn(FakeUsbBus& bus, const TempDir& dir, int wanted) {
  UsbLine line(bus);
  SerialBackend& previous = UseSerialBackend(line);
  Console con;
  con.inFd = -1;
  con.out = std::fopen((dir / "out.txt").c_str(), "w");
  std::vector<std::string> args = {dir.Path()};
  if (wanted > 0) args.insert(args.end(), {"--nombre", std::to_string(wanted)});
  Projected run;
  run.status = Ecran(con, 1, args);
  std::fclose(con.out);
  UseSerialBackend(previous);
  run.out = ReadAll(dir / "out.txt");
  run.written = bus.written;
  return run;
}

// ecran over the fake bus, the stream given once the line is open.
Projected Project(const TempDir& dir, const std::vector<std::string>& stream, int wanted,
                  int goneAfterReads = -1) {
  FakeUsbBus bus;
  FakeUsbBus* b = &bus;
  bus.answer = [b, stream](const std::string& chunk) -> std::vector<std::string> {
    if (chunk != "0070") return {};
    b->silentReads = 1;  // the probe's own wait ends, then the stream comes
    return stream;
  };
  bus.goneAfterReads = goneAfterReads;
  return ProjectOn(bus, dir, wanted);
}

TEST(Projector, DrawsAndSavesTheFramesThatChange) {
  TempDir dir;
  std::string white(1024, '\0'), corners = white;
  corners[0] = '\x80';
  corners[1023] = '\x01';
  std::string check = StreamPacket(
                  "\x16"
                  "CAL00",
                  ""),
              a = StreamPacket("\x0BTYP01", white), b = StreamPacket("\x0BTYP01", corners),
              damaged = b;
  damaged[300] = '\x7F';
  Projected run =
      Project(dir, {check, a.substr(0, 500), a.substr(500) + a, damaged, "lost" + b}, 2);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.written.substr(6), seven::StreamAck());  // after the probe, its one answer
  EXPECT_EQ(Pictures(dir.Path()), 2);
  // Each frame that differs drawn once, in order; the repeated one not again.
  std::string drawnA = DrawScreen(Drawn(white), false), drawnB = DrawScreen(Drawn(corners), false);
  size_t first = run.out.find(drawnA), second = run.out.find(drawnB);
  EXPECT_NE(first, std::string::npos) << run.out;
  EXPECT_NE(second, std::string::npos) << run.out;
  EXPECT_LT(first, second);
  EXPECT_EQ(run.out.find(drawnA, first + 1), std::string::npos);
  EXPECT_NE(run.out.find("2 image(s) enregistree(s), 3 trame(s) recue(s).\n"), std::string::npos)
      << run.out;
}

// A calculator that waits for the answer to its check before it streams:
// answered, it streams; the cable then pulled ends it.
TEST(Projector, AnswersTheCheckBeforeTheStream) {
  TempDir dir;
  FakeUsbBus bus;
  FakeUsbBus* b = &bus;
  const std::string check = StreamPacket(
                        "\x16"
                        "CAL00",
                        ""),
                    frame = StreamPacket("\x0BTYP01", std::string(1024, '\x3C'));
  bus.answer = [b, check, frame](const std::string& chunk) -> std::vector<std::string> {
    if (chunk == "0070") {
      b->silentReads = 1;  // the probe's own wait ends, then its check
      return {check};
    }
    return chunk == seven::StreamAck() ? std::vector<std::string>{frame}
                                       : std::vector<std::string>{};
  };
  bus.goneAfterReads = 60;  // an unanswered calculator never streams: it ends here
  Projected run = ProjectOn(bus, dir, 1);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Pictures(dir.Path()), 1);
  EXPECT_NE(run.out.find("1 image(s) enregistree(s), 1 trame(s) recue(s).\n"), std::string::npos)
      << run.out;
}

// A calculator that streams from the start, never quiet: the opening does
// not wait for a quiet moment for ever, and the frames are taken.
TEST(Projector, StreamingAtOnce) {
  struct Streaming : FakeUsbBus {
    std::string frame = StreamPacket("\x0BTYP01", std::string(1024, '\x3C'));
    int Read(unsigned char* bytes, int size, int) override {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      int n = std::min(size, static_cast<int>(frame.size()));
      std::memcpy(bytes, frame.data(), static_cast<size_t>(n));
      return n;
    }
  } bus;
  TempDir dir;
  Projected run = ProjectOn(bus, dir, 1);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(Pictures(dir.Path()), 1);
}

// The cable pulled out: the summary, status 255.
TEST(Projector, CablePulledEndsWithASummary) {
  TempDir dir;
  std::string frame = StreamPacket("\x0BTYP01", std::string(1024, '\x0F'));
  Projected run = Project(dir, {frame}, 0, 4);
  EXPECT_EQ(run.status, -1);
  EXPECT_NE(run.out.find("Liaison avec la calculatrice perdue"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("0 image(s) enregistree(s), 1 trame(s) recue(s).\n"), std::string::npos)
      << run.out;
}

}  // namespace
