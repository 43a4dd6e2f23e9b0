// The libusb backend's own code, run through the libusb calls of a stand-in
// (support/fake_libusb.cpp) whose emulated Graph 75+E is liaison-sim on a
// pseudo-terminal: finding it, its descriptors, the enabling request, the
// refusals, transfers of any split, a quiet moment, a device pulled out.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "seven/command.h"
#include "serial/usb.h"
#include "session/seven.h"
#include "support/harness.h"

namespace {

using namespace seven;

// The stand-in's settings for one test, taken back at its end.
class FakeUsb {
 public:
  FakeUsb(const TempDir& dir, const std::string& pty, const std::string& options = "")
      : log_(dir / "usb.log") {
    setenv("LIAISON_FAKE_USB_PTY", pty.c_str(), 1);
    setenv("LIAISON_FAKE_USB", options.c_str(), 1);
    setenv("LIAISON_FAKE_USB_LOG", log_.c_str(), 1);
  }
  ~FakeUsb() {
    NativeUsbBus().Close();
    unsetenv("LIAISON_FAKE_USB_PTY");
    unsetenv("LIAISON_FAKE_USB");
    unsetenv("LIAISON_FAKE_USB_LOG");
  }
  std::string Log() const { return ReadAll(log_); }

 private:
  std::string log_;
};

struct NoEvents : SevenEvents {};

TEST(Libusb, FindsTheCalculatorByItsDescriptors) {
  TempDir dir;
  EXPECT_TRUE(NativeUsbBus().Calculators().empty());  // nothing plugged in
  Calculator sim(dir, {"--seven"});
  {
    FakeUsb usb(dir, sim.Port());
    std::vector<UsbCalculator> found = NativeUsbBus().Calculators();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].bus, 3);
    EXPECT_EQ(found[0].address, 4);
    EXPECT_EQ(found[0].manufacturer, "CESG502");  // read with the device open, then closed
    EXPECT_EQ(usb.Log(), "open\nclose\n");
  }
  FakeUsb two(dir, sim.Port(), "two");
  EXPECT_EQ(NativeUsbBus().Calculators().size(), 2u);
}

TEST(Libusb, OpeningRefused) {
  // The user's words; the library's own kept for the trace.
  struct Case {
    const char* options;
    UsbOpen result;
    const char* why;
    const char* words;
  };
  const Case cases[] = {
      {"noperm", UsbOpen::NoPermission, "acces refuse", "Access denied (insufficient permissions)"},
      {"busy", UsbOpen::Busy, "deja utilisee", "Resource busy"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Calculator sim(dir, {"--seven"});
    FakeUsb usb(dir, sim.Port(), c.options);
    std::vector<UsbCalculator> found = NativeUsbBus().Calculators();
    ASSERT_EQ(found.size(), 1u) << c.options;
    std::string why;
    EXPECT_EQ(NativeUsbBus().Open(found[0], &why), c.result) << c.options;
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(NativeUsbBus().LibraryWords(), c.words);
    EXPECT_EQ(NativeUsbBus().Read(nullptr, 0, 10), -1) << "nothing is open";
  }
}

// A session through the real backend: the interface claimed with the
// kernel's driver set aside, the enabling request, the device information,
// a file across transfers cut at 1, 7 and 64 bytes, the interface released.
TEST(Libusb, SessionOverAnySplit) {
  for (int split : {1, 7, 64}) {
    TempDir dir;
    Calculator sim(dir, {"--seven", "--keep", dir.Path()});
    FakeUsb usb(dir, sim.Port(), "split=" + std::to_string(split));
    UsbLine line(NativeUsbBus());
    ASSERT_EQ(line.Open(1), OpenResult::Opened) << line.OpenError();
    SerialBackend& previous = UseSerialBackend(line);
    NoEvents events;
    SevenLink link(events);
    EXPECT_EQ(link.Open(), Step::Done);
    DeviceInfo info;
    EXPECT_EQ(link.Info(&info), Step::Done) << link.Why();
    EXPECT_EQ(info.hardwareId, "Gy362007");
    std::string content(700, '\x5C');
    content[0] = '\x0A';
    EXPECT_EQ(link.SendFile(kStorageFile, StorageFields("", "F.BIN"), content), Step::Done)
        << split << " " << link.Why();
    EXPECT_EQ(link.Close(), Step::Done);
    line.Close();
    UseSerialBackend(previous);
    sim.Finish();
    EXPECT_EQ(ReadAll(dir / "storage-F.BIN"), content) << split;
    EXPECT_EQ(usb.Log(),
              "open\nclose\n"                    // the manufacturer's name
              "open\nauto_detach 1\nclaim 0\n"   // the session's
              "control 41 01 0000 0000 0 300\n"  // the enabling request
              "release 0\nclose\n")
        << split;
  }
}

// A read with nothing to read is a quiet moment, not a lost cable; a device
// pulled out is said at once, not after the read's whole time-out.
TEST(Libusb, QuietMomentAndPulledCable) {
  TempDir dir;
  Calculator sim(dir, {"--seven"});
  FakeUsb usb(dir, sim.Port());
  std::vector<UsbCalculator> found = NativeUsbBus().Calculators();
  ASSERT_EQ(found.size(), 1u);
  std::string why;
  ASSERT_EQ(NativeUsbBus().Open(found[0], &why), UsbOpen::Opened);
  unsigned char bytes[64];
  EXPECT_EQ(NativeUsbBus().Read(bytes, sizeof bytes, 50), 0);
  NativeUsbBus().Close();

  FakeUsb pulled(dir, sim.Port(), "pull=4");  // the probe's reads and writes go first
  UsbLine line(NativeUsbBus());
  ASSERT_EQ(line.Open(1), OpenResult::Opened) << line.OpenError();
  COMMTIMEOUTS saved = g_cto;
  g_cto.ReadTotalTimeoutConstant = 60000;
  g_cto.ReadIntervalTimeout = 60000;
  g_cto.ReadTotalTimeoutMultiplier = 0;
  auto start = std::chrono::steady_clock::now();
  int got = -1;
  EXPECT_EQ(line.Read(bytes, 6, &got), 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30) << "the read waited for its time-out";
  EXPECT_EQ(got, 0);
  g_cto = saved;
  line.Close();
  EXPECT_NE(pulled.Log().find("pulled"), std::string::npos);
}

}  // namespace
