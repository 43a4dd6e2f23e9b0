// A Graph 90+E in ScreenRecv over a scripted USB bus: the bulk-only
// transport's wrappers byte for byte, its faults (a short data phase, a
// failed status, a wrong tag, the device gone at each step), the C0/C1/C2
// stream on top, and the screen it carries.
#include <gtest/gtest.h>

#include <cstdio>

#include "serial/scsi.h"
#include "seven/stream.h"
#include "support/blocks.h"
#include "support/fake_usb.h"

namespace {

std::uint32_t Little(const std::string& b, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
  return v;
}

std::string Status(std::uint32_t tag, unsigned char status, const char* signature = "USBS") {
  std::string s(signature, 4);
  for (int i = 0; i < 4; ++i) s += static_cast<char>(tag >> (8 * i));
  s += std::string(4, '\0');
  s += static_cast<char>(status);
  return s;
}

// The calculator's side of the transport, as its answers to each write.
struct ScreenRecv {
  FakeUsbBus bus;
  std::string stream;    // bytes it has for C1
  std::string received;  // what C2 brought
  std::vector<std::string> wrappers;
  int emptyPolls = 0;  // polls answered 0 before what waits is said
  int dataPieces = 1;  // C1 data in this many transfers
  unsigned char status = 0;
  int tagShift = 0;  // > 0: statuses carry a wrong tag
  int outLeft = 0;
  std::uint32_t outTag = 0;

  ScreenRecv() {
    bus.devices = {UsbCalculator{1, 7, "CASIO MassStorage Device", "", 0x6103, true}};
    bus.answer = [this](const std::string& w) { return Answer(w); };
  }
  std::string End(std::uint32_t tag) const {
    return Status(tag + static_cast<std::uint32_t>(tagShift), status);
  }
  std::vector<std::string> Answer(const std::string& w) {
    if (outLeft > 0) {
      received += w;
      outLeft -= static_cast<int>(w.size());
      if (outLeft <= 0) return {End(outTag)};
      return {};
    }
    if (w.size() != 31 || w.compare(0, 4, "USBC") != 0) return {};
    wrappers.push_back(w);
    std::uint32_t tag = Little(w, 4);
    unsigned char code = static_cast<unsigned char>(w[15]);
    int count = static_cast<unsigned char>(w[21]) << 8 | static_cast<unsigned char>(w[22]);
    if (code == 0xC0) {
      std::string a(16, '\0');
      a[0] = '\xD0';
      size_t waiting = emptyPolls > 0 ? 0 : std::min<size_t>(stream.size(), 0xFFFF);
      if (emptyPolls > 0) --emptyPolls;
      a[6] = static_cast<char>(waiting >> 8);
      a[7] = static_cast<char>(waiting);
      return {a, End(tag)};
    }
    if (code == 0xC1) {
      std::string data = stream.substr(0, static_cast<size_t>(count));
      stream.erase(0, data.size());
      std::vector<std::string> out;
      size_t piece = (data.size() + dataPieces - 1) / dataPieces;
      for (size_t at = 0; at < data.size(); at += piece) out.push_back(data.substr(at, piece));
      out.push_back(End(tag));
      return out;
    }
    if (code == 0xC2) {
      outLeft = static_cast<int>(Little(w, 8));
      outTag = tag;
      if (outLeft == 0) return {End(tag)};
    }
    return {};
  }
};

std::string Hex(const std::string& bytes) {
  std::string hex;
  char two[4];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02X", c);
    hex += two;
  }
  return hex;
}

TEST(Scsi, KindsOfCalculator) {
  EXPECT_EQ(UsbKind(UsbCalculator{1, 2, "", "", 0x6101, false}), "");
  EXPECT_EQ(UsbKind(UsbCalculator{1, 2, "", "", 0x6102, true}), "fx-CG20, disque USB");
  EXPECT_EQ(UsbKind(UsbCalculator{1, 2, "", "", 0x6103, true}), "Graph 90+E / 35+E II, disque USB");
}

TEST(Scsi, WrappersOfEachCommand) {
  ScreenRecv calc;
  calc.stream = "abc";
  BulkOnly scsi(calc.bus);
  int sleeps = 0;
  CasioStream stream(scsi, [&](int) { ++sleeps; });
  unsigned char got[16];
  ASSERT_EQ(stream.Read(got, sizeof got, 100), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 3), "abc");
  ASSERT_EQ(stream.Write(reinterpret_cast<const unsigned char*>("\x06"
                                                                "02001"
                                                                "0D"),
                         8, 100),
            8);
  EXPECT_EQ(calc.received,
            "\x06"
            "02001"
            "0D");
  ASSERT_EQ(calc.wrappers.size(), 4u);
  // C0: 16 bytes in; C1: the 3 waiting; C0 again; C2: 8 bytes out.
  EXPECT_EQ(Hex(calc.wrappers[0]),
            "55534243"
            "01000000"
            "10000000"
            "80"
            "00"
            "10"
            "C0000000000000000000000000000000");
  EXPECT_EQ(Hex(calc.wrappers[1]),
            "55534243"
            "02000000"
            "03000000"
            "80"
            "00"
            "10"
            "C1000000000000030000000000000000");
  EXPECT_EQ(Hex(calc.wrappers[3]),
            "55534243"
            "04000000"
            "08000000"
            "00"
            "00"
            "10"
            "C2000000000000080000000000000000");
  EXPECT_EQ(sleeps, 0);
  EXPECT_EQ(stream.Resets(), 0);
}

TEST(Scsi, EmptyPollsThenDataInPieces) {
  ScreenRecv calc;
  calc.stream = std::string(5000, 'x');
  calc.emptyPolls = 3;
  calc.dataPieces = 7;  // a data phase in short transfers
  BulkOnly scsi(calc.bus);
  int sleeps = 0;
  CasioStream stream(scsi, [&](int ms) { sleeps += ms; });
  unsigned char got[4096];
  EXPECT_EQ(stream.Read(got, sizeof got, 1000), 4096);         // at most what the reader takes
  EXPECT_EQ(sleeps, 30);                                       // 10 ms after each empty poll
  EXPECT_EQ(stream.Read(got, sizeof got, 1000), 5000 - 4096);  // the rest of one C1
  EXPECT_EQ(calc.wrappers.size(), 5u);                         // 4 polls and one read
  // Nothing more: each poll within the time-out, then 0.
  sleeps = 0;
  EXPECT_EQ(stream.Read(got, sizeof got, 50), 0);
  EXPECT_EQ(sleeps, 50);
  // Quiet for long: it rests between polls.
  sleeps = 0;
  EXPECT_EQ(stream.Read(got, sizeof got, 1000), 0);
  EXPECT_LT(sleeps, 1100);
  size_t polls = calc.wrappers.size();
  sleeps = 0;
  EXPECT_EQ(stream.Read(got, sizeof got, 500), 0);
  EXPECT_EQ(calc.wrappers.size() - polls, 11u);  // at 0, 50, ... 500 ms
}

TEST(Scsi, LongWriteIsSplit) {
  ScreenRecv calc;
  BulkOnly scsi(calc.bus);
  CasioStream stream(scsi, [](int) {});
  std::string data(70000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  EXPECT_EQ(stream.Write(reinterpret_cast<const unsigned char*>(data.data()), 70000, 1000), 70000);
  EXPECT_EQ(calc.received, data);
  ASSERT_EQ(calc.wrappers.size(), 3u);  // C0, then C2 FFFF and C2 1171
  EXPECT_EQ(Hex(calc.wrappers[1].substr(8, 4)), "FFFF0000");
  EXPECT_EQ(Hex(calc.wrappers[1].substr(15, 8)), "C20000000000FFFF");
  EXPECT_EQ(Hex(calc.wrappers[2].substr(8, 4)), "71110000");
}

// Each fault: the command's result, whether the link was reset.
TEST(Scsi, FaultsOfTheTransport) {
  struct Case {
    const char* what;
    std::function<void(ScreenRecv&)> spoil;
    Scsi result;
    bool reset;
  } cases[] = {
      {"status failed", [](ScreenRecv& c) { c.status = 1; }, Scsi::Failed, false},
      {"phase error", [](ScreenRecv& c) { c.status = 2; }, Scsi::Broken, true},
      {"wrong tag", [](ScreenRecv& c) { c.tagShift = 5; }, Scsi::Broken, true},
      {"gone at the wrapper", [](ScreenRecv& c) { c.bus.goneAfterWrites = 0; }, Scsi::Gone, false},
      {"gone in the data", [](ScreenRecv& c) { c.bus.goneAfterReads = 0; }, Scsi::Gone, false},
      {"gone at the status", [](ScreenRecv& c) { c.bus.goneAfterReads = 1; }, Scsi::Gone, false},
      {"no status",
       [](ScreenRecv& c) {
         c.bus.answer = [](const std::string&) {
           return std::vector<std::string>{std::string(16, '\0')};
         };
       },
       Scsi::Broken, true},
  };
  for (const Case& c : cases) {
    ScreenRecv calc;
    c.spoil(calc);
    BulkOnly scsi(calc.bus);
    unsigned char block[16] = {0xC0}, answer[16];
    EXPECT_EQ(scsi.Command(block, true, answer, 16, 200), c.result) << c.what;
    bool reset = calc.bus.controls == std::vector<std::vector<int>>{{0x21, 0xFF, 0, 0}};
    EXPECT_EQ(reset, c.reset) << c.what;
    EXPECT_EQ(calc.bus.halts, c.reset ? 1 : 0) << c.what;
    if (c.reset) {
      EXPECT_FALSE(scsi.Words().empty()) << c.what;
    }
  }
  // The stream counts a reset and goes on; a device gone is -1.
  ScreenRecv broken;
  broken.tagShift = 1;
  BulkOnly scsi(broken.bus);
  CasioStream stream(scsi, [](int) {});
  unsigned char got[16];
  EXPECT_EQ(stream.Read(got, sizeof got, 20), 0);
  EXPECT_EQ(stream.Resets(), 3);  // polls at 0, 10 and 20 ms
  ScreenRecv gone;
  gone.bus.goneAfterReads = 0;
  BulkOnly goneScsi(gone.bus);
  CasioStream goneStream(goneScsi, [](int) {});
  EXPECT_EQ(goneStream.Read(got, sizeof got, 20), -1);
  EXPECT_EQ(goneStream.Write(got, 4, 20), -1);
}

std::string Colour(const std::string& format, int width, int height, const std::string& data) {
  char head[32];
  std::snprintf(head, sizeof head, "%06zX%04X%04X", data.size(), height, width);
  return StreamPacket("\x0BTYPZ1", head + format + data);
}

// The screen through it all, as UsbLine takes it: only for liaison ecran,
// without the bulk calculators' enabling request and probe.
TEST(Scsi, ScreenThroughTheLine) {
  ScreenRecv calc;
  const std::string red = Colour("1RC2", 2, 1, std::string("\xF8\x00\xF8\x00", 4));
  std::string damaged = Colour("1RC3", 2, 1, std::string("\x80", 1));
  damaged[damaged.size() - 1] ^= 1;
  calc.stream = StreamPacket(
                    "\x16"
                    "CAL00",
                    "D0") +
                "\x01\x02" + red + damaged + Colour("1RC3", 2, 1, std::string("\x48", 1));
  StorageAwareBus bus(calc.bus);
  UsbLine refused(bus);
  EXPECT_EQ(refused.Open(1), OpenResult::CannotOpen);
  EXPECT_TRUE(refused.OpenError().find("calculatrice en mode disque (Graph 90+E / 35+E II, "
                                       "disque USB)") != std::string::npos)
      << refused.OpenError();
  UsbLine line(bus);
  line.SetModeHint("ScreenRecv");
  ASSERT_EQ(line.Open(1), OpenResult::Opened) << line.OpenError();
  EXPECT_TRUE(calc.bus.controls.empty());  // no enabling request
  EXPECT_TRUE(calc.received.empty());      // no probe
  g_cto.ReadTotalTimeoutConstant = 20;     // as ecran reads: briefly, between keys
  g_cto.ReadIntervalTimeout = 20;
  g_cto.ReadTotalTimeoutMultiplier = 0;
  seven::StreamReader reader;
  std::vector<seven::Frame> frames;
  int checks = 0, dropped = 0;
  for (int i = 0; i < 10 && frames.size() < 2; ++i) {
    unsigned char bytes[4096];
    int got = 0;
    line.Read(bytes, sizeof bytes, &got);
    reader.Feed(bytes, static_cast<size_t>(got));
    seven::Frame frame;
    for (seven::StreamReader::Event e;
         (e = reader.Next(&frame)) != seven::StreamReader::Event::None;) {
      checks += e == seven::StreamReader::Event::Check;
      dropped += e == seven::StreamReader::Event::Dropped;
      if (e == seven::StreamReader::Event::Frame) frames.push_back(frame);
    }
  }
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(dropped, 1);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].pixels, (std::vector<std::uint32_t>{0xFF0000, 0xFF0000}));
  EXPECT_EQ(frames[1].pixels, (std::vector<std::uint32_t>{0x00FF00, 0xFF0000}));
  int written = 0;
  const std::string ack = seven::StreamAck();
  line.Write(reinterpret_cast<const unsigned char*>(ack.data()), 8, &written);
  EXPECT_EQ(calc.received, ack);
  line.Close();
}

}  // namespace
