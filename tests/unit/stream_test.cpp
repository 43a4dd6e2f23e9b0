// The screen a calculator streams in Projector mode, from byte streams made
// here: checks, frames of every format, lost bytes, damaged frames.
#include <gtest/gtest.h>

#include <cstdio>

#include "seven/stream.h"
#include "support/blocks.h"

namespace {

using namespace seven;

std::string Mono(const std::string& screen) {
  return StreamPacket("\x0BTYP01", screen);
}

std::string Colour(const std::string& format, int width, int height, const std::string& data) {
  char head[32];
  std::snprintf(head, sizeof head, "%06zX%04X%04X", data.size(), height, width);
  return StreamPacket("\x0BTYPZ1", head + format + data);
}

std::vector<StreamReader::Event> Events(StreamReader& reader, std::vector<Frame>* frames) {
  std::vector<StreamReader::Event> events;
  Frame frame;
  for (StreamReader::Event e; (e = reader.Next(&frame)) != StreamReader::Event::None;) {
    events.push_back(e);
    if (e == StreamReader::Event::Frame) frames->push_back(frame);
  }
  return events;
}

TEST(Stream, ChecksAndMonochromeFrames) {
  EXPECT_EQ(StreamPacket("\x16"
                         "CAL00",
                         ""),
            std::string("\x16"
                        "CAL00D0",
                        8));
  EXPECT_EQ(StreamAck(), std::string("\x06"
                                     "02001"
                                     "0D",
                                     8));
  std::string white(1024, '\0'), corners = white;
  corners[0] = '\x80';
  corners[1023] = '\x01';
  EXPECT_EQ(Mono(white).substr(1030), "A2");  // the checksums the facts give
  EXPECT_EQ(Mono(corners).substr(1030), "21");
  std::string stream = StreamPacket(
                           "\x16"
                           "CAL00",
                           "") +
                       Mono(white) + Mono(corners);
  StreamReader reader;
  for (char c : stream) reader.Feed(reinterpret_cast<const unsigned char*>(&c), 1);  // any cut
  std::vector<Frame> frames;
  using E = StreamReader::Event;
  EXPECT_EQ(Events(reader, &frames), (std::vector<E>{E::Check, E::Frame, E::Frame}));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].width, 128);
  EXPECT_EQ(frames[0].height, 64);
  int dark = 0;
  for (std::uint32_t p : frames[1].pixels) dark += p == 0x000000;
  EXPECT_EQ(dark, 2);
  EXPECT_EQ(frames[1].pixels[0], 0x000000u);
  EXPECT_EQ(frames[1].pixels[127 + 63 * 128], 0x000000u);
  EXPECT_EQ(reader.Skipped(), 0u);
}

// Lost bytes: the stream is taken up again at the next start of a packet;
// a frame whose bytes do not add up is dropped, never shown.
TEST(Stream, ResynchronisesAfterLostBytes) {
  std::string frame = Mono(std::string(1024, '\x55'));
  std::string damaged = frame;
  damaged[500] = '\x00';
  std::string cut = frame.substr(0, 700);  // the rest lost
  std::string stream = "noise" + cut + frame + damaged + frame;
  StreamReader reader;
  reader.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
  std::vector<Frame> frames;
  std::vector<StreamReader::Event> events = Events(reader, &frames);
  EXPECT_EQ(frames.size(), 2u);  // the whole ones, and those alone
  for (const Frame& f : frames) EXPECT_EQ(f.pixels[1], 0x000000u);
  EXPECT_GE(reader.Skipped(), 5u + 700u);
}

TEST(Stream, ColourFormats) {
  struct Case {
    const char* format;
    int width, height;
    std::string data;
    std::vector<std::uint32_t> pixels;
  };
  const Case cases[] = {
      {"1RC2", 2, 1, std::string("\xF8\x00\x07\xE0", 4), {0xFF0000, 0x00FF00}},
      {"1RC3", 3, 1, std::string("\x8E\x20", 2), {0xFF0000, 0xFFFFFF, 0x0000FF}},
      // Two planes of one row of 2 pixels: (1,0) and (0,1).
      {"1RM2", 2, 1, std::string("\x80\x40", 2), {0x777777, 0xAAAAAA}},
  };
  for (const Case& c : cases) {
    StreamReader reader;
    std::string stream = Colour(c.format, c.width, c.height, c.data);
    reader.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
    Frame frame;
    ASSERT_EQ(reader.Next(&frame), StreamReader::Event::Frame) << c.format;
    EXPECT_TRUE(frame.colour);
    EXPECT_EQ(frame.pixels, c.pixels) << c.format;
  }
  Frame frame;
  EXPECT_FALSE(DecodeFrame("1RC2", 2, 1, "abc", &frame));  // a size that does not fit
  EXPECT_FALSE(DecodeFrame("XXXX", 1, 1, "a", &frame));
}

// A 33-byte packet announcing 65535 x 65535 pixels: dropped before any
// memory is taken for them; so are a format not known and sides past any
// screen's. The next frame comes through.
TEST(Stream, FramesNoScreenHasAreDropped) {
  const std::string good = Colour("1RC2", 2, 1, std::string("\xF8\x00\x07\xE0", 4));
  const std::string bad[] = {
      Colour("1RC2", 65535, 65535, std::string(7, '\x01')),
      Colour("1RC2", 2048, 1, std::string(4096, '\x01')),
      Colour("ABCD", 2, 1, std::string(4, '\x01')),
      Colour("1RC3", 3, 1, std::string(3, '\x01')),  // one byte too many
  };
  EXPECT_EQ(bad[0].size(), 33u);
  for (const std::string& packet : bad) {
    StreamReader reader;
    std::string stream = packet + good;
    reader.Feed(reinterpret_cast<const unsigned char*>(stream.data()), stream.size());
    std::vector<Frame> frames;
    std::vector<StreamReader::Event> events = Events(reader, &frames);
    EXPECT_EQ(events, (std::vector<StreamReader::Event>{StreamReader::Event::Dropped,
                                                        StreamReader::Event::Frame}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].width, 2);
  }
}

}  // namespace
