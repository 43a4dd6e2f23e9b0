// The real liaison on the USB cable: its libusb backend runs against the
// stand-in of the library's calls (preloaded), whose emulated Graph 75+E is
// liaison-sim on a pty. The files on both sides, the packets, the statuses,
// and what the user reads.
#include <gtest/gtest.h>

#include "support/fake_usb_env.h"
#include "support/harness.h"

namespace {

struct UsbRun {
  Exit exit;
  std::string report, usbLog;
  Bytes fromPc;
};

UsbRun OverUsb(const TempDir& dir, std::vector<std::string> sim,
               const std::vector<std::string>& args, const std::string& fake = "") {
  sim.insert(sim.begin(), "--seven");
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = args;
  options.env = FakeUsbEnvironment(calculator.Port(), fake, dir / "usb.log");
  UsbRun run;
  run.exit = RunLiaison(dir.Path(), "usb", "", options);
  calculator.Finish();
  run.report = calculator.Report();
  run.usbLog = ReadAll(dir / "usb.log");
  run.fromPc = calculator.FromPc();
  return run;
}

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The number after "key=" in the simulator's report, summed over its lines.
long Summed(const std::string& report, const std::string& key) {
  long total = 0;
  for (size_t at = report.find(key + "="); at != std::string::npos;
       at = report.find(key + "=", at + 1))
    total += std::atol(report.c_str() + at + key.size() + 1);
  return total;
}

#define NATIVE_ONLY() \
  if (OnWindows()) GTEST_SKIP() << "the libusb stand-in is for the native program"

TEST(LibusbCable, InfoAndPorts) {
  NATIVE_ONLY();
  TempDir dir;
  UsbRun info = OverUsb(dir, {"--hardware-id", "Gy36300F"}, {"info"});
  EXPECT_EQ(info.exit.status, 0) << info.exit.out;
  EXPECT_TRUE(Has(info.exit.out, "Calculatrice : Graph 75+E (Gy36300F)\n")) << info.exit.out;
  EXPECT_TRUE(Has(info.usbLog, "claim 0\ncontrol 41 01 0000 0000 0 300\n")) << info.usbLog;
  EXPECT_FALSE(Has(info.exit.out, "COM1")) << "the USB cable is no COM port";

  TempDir other;
  UsbRun ports = OverUsb(other, {}, {"--ports"});
  EXPECT_EQ(ports.exit.status, 0);
  EXPECT_TRUE(Has(ports.exit.out, "  bus 3, adresse 4 : CESG502\n")) << ports.exit.out;
  EXPECT_TRUE(Has(ports.exit.out, "Liaison ouvrira la calculatrice USB")) << ports.exit.out;
}

// A 16 KiB storage file (64 data packets) to a calculator that holds each
// ACK up to 30 ms: on USB the packets go one ahead of their answers; with
// --prudent each waits. No speed change is sent on USB.
TEST(LibusbCable, PacketsGoAheadUnlessCareful) {
  NATIVE_ONLY();
  std::string content(16384, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  for (bool careful : {false, true}) {
    TempDir dir;
    WriteAll(dir / "BIG.BIN", content);
    std::vector<std::string> args = {"envoyer", "--stockage", "BIG.BIN"};
    if (careful) args.insert(args.begin() + 1, "--prudent");
    UsbRun run = OverUsb(dir, {"--ack-delay", "30", "--keep", dir.Path()}, args);
    EXPECT_EQ(run.exit.status, 0) << run.exit.out;
    EXPECT_TRUE(Has(run.exit.out, "fichier BIG.BIN (16384 octets) : envoye\n")) << run.exit.out;
    EXPECT_TRUE(Has(run.exit.out, "1 fichier(s) envoye(s) sur 1.\n")) << run.exit.out;
    EXPECT_EQ(ReadAll(dir / "storage-BIG.BIN"), content);
    EXPECT_FALSE(Has(run.report, "command=02")) << "a speed asked on USB";
    long shifted = Summed(run.report, "shifted");
    if (careful)
      EXPECT_EQ(shifted, 0) << run.report;
    else  // all but the first two and the last go before the answer before them
      EXPECT_GE(shifted, 50) << run.report;
  }
}

// A data packet refused while the packets go ahead: that file is said
// refused, the link ends, the files after it are not tried, and the summary
// counts only what the calculator acknowledged.
TEST(LibusbCable, RefusalWhilePacketsGoAhead) {
  NATIVE_ONLY();
  TempDir dir;
  WriteAll(dir / "A.BIN", "petit");
  WriteAll(dir / "B.BIN", std::string(4096, 'b'));
  WriteAll(dir / "C.BIN", "apres");
  UsbRun run = OverUsb(dir, {"--refuse-data", "5", "--keep", dir.Path()},
                       {"envoyer", "--stockage", "A.BIN", "B.BIN", "C.BIN"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out, "fichier A.BIN (5 octets) : envoye\n")) << run.exit.out;
  EXPECT_TRUE(
      Has(run.exit.out, "fichier B.BIN (4096 octets) : refuse par la calculatrice (NAK 00)"))
      << run.exit.out;
  EXPECT_FALSE(Has(run.exit.out, "C.BIN")) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out, "1 fichier(s) envoye(s) sur 3.\n")) << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "storage-A.BIN"), "petit");
  EXPECT_EQ(ReadAll(dir / "storage-B.BIN"), "");
  EXPECT_TRUE(Has(run.report, "terminate")) << "the link is ended";
}

// The library's English is for the trace; the user reads French.
TEST(LibusbCable, LibraryWordsGoToTheTrace) {
  NATIVE_ONLY();
  TempDir dir;
  Calculator calculator(dir, {"--seven"});
  RunOptions options;
  options.args = {"info"};
  options.stderrPath = dir / "err.txt";
  options.env = FakeUsbEnvironment(calculator.Port(), "busy");
  options.env.push_back("LIAISON_TRACE=" + dir / "trace.txt");
  Exit exit = RunLiaison(dir.Path(), "usb", "", options);
  EXPECT_EQ(exit.status, 255) << exit.out;
  std::string err = ReadAll(dir / "err.txt");
  EXPECT_TRUE(Has(err,
                  "USB bus 3, adresse 4 : deja prise par un autre programme ou un autre "
                  "pilote"))
      << err;
  EXPECT_FALSE(Has(err + exit.out, "busy")) << err;
  EXPECT_TRUE(Has(ReadAll(dir / "trace.txt"), "# bibliotheque : Resource busy\n"));
}

// The cable pulled during a transfer: said, 255.
TEST(LibusbCable, PulledDuringATransfer) {
  NATIVE_ONLY();
  TempDir dir;
  UsbRun run = OverUsb(dir, {}, {"info"}, "pull=8");
  EXPECT_EQ(run.exit.status, 255) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out, "Informations : liaison perdue\n")) << run.exit.out;
  EXPECT_EQ(Count(run.usbLog, "pulled"), 1) << "no transfer after the device is gone";
}

}  // namespace
