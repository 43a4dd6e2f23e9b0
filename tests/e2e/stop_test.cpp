// Ctrl-C, SIGTERM or SIGHUP during a Protocol 7.00 command: the session stops
// at its next packet, brings the calculator back to 9600 bit/s and ends the
// link, the port gets its own settings back, what is whole is kept; the next
// command finds the calculator as it should. A second signal ends at once.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/harness.h"

namespace {

#define POSIX_ONLY() \
  if (OnWindows()) GTEST_SKIP() << "signals are sent here the POSIX way"

// The line's settings as the calculator's side of it sees them now.
termios LineSettings(const std::string& port) {
  termios tio{};
  int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd >= 0) {
    tcgetattr(fd, &tio);
    close(fd);
  }
  return tio;
}

// envoyer at 115200 bit/s to a slow calculator, stopped by each signal.
TEST(Stop, EnvoyerBringsTheCalculatorBack) {
  POSIX_ONLY();
  struct Case {
    int signal, status;
  };
  for (const Case& c : {Case{SIGINT, 130}, Case{SIGTERM, 143}, Case{SIGHUP, 129}}) {
    TempDir dir;
    WriteAll(dir / "BIG.BIN", std::string(65536, 'x'));
    Calculator calculator(dir, {"--seven", "--ack-delay", "100", "--keep", dir.Path()});
    termios before = LineSettings(calculator.Port());
    RunOptions options;
    options.args = {"envoyer", "--stockage", "BIG.BIN"};
    Liaison liaison(dir.Path(), calculator.Port(), options);
    ASSERT_TRUE(liaison.WaitFor("Calculatrice Graph 35+ ou suivante (Protocole 7.00).\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // some packets gone
    kill(liaison.Pid(), c.signal);
    Exit exit = liaison.Finish();
    EXPECT_EQ(exit.status, c.status) << exit.out;
    EXPECT_TRUE(Has(exit.out, "  fichier BIG.BIN (65536 octets) : interrompu\n")) << exit.out;
    EXPECT_TRUE(Has(exit.out, "0 fichier(s) envoye(s) sur 1.\n")) << exit.out;
    EXPECT_TRUE(Has(exit.out, "Arrete a la demande : ")) << exit.out;
    // The port as it was found; the calculator back at the start speed.
    termios after = LineSettings(calculator.Port());
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag & (CSTOPB | PARENB), before.c_cflag & (CSTOPB | PARENB));
    RunOptions info;
    info.args = {"info"};
    Exit next = RunLiaison(dir.Path(), calculator.Port(), "", info);
    EXPECT_EQ(next.status, 0) << next.out;
    calculator.Finish();
    std::string report = calculator.Report();
    EXPECT_TRUE(Has(report, "speed=115200 EVEN 1\n")) << report;
    EXPECT_TRUE(Has(report, "speed=9600 NONE 2\ncommand=18\n") ||
                Has(report, "speed=9600 NONE 2\nterminate\n"))
        << report;
    EXPECT_EQ(ReadAll(dir / "storage-BIG.BIN"), "");  // never said sent
  }
}

// Two signals: the second ends it at once.
TEST(Stop, SecondSignalEndsAtOnce) {
  POSIX_ONLY();
  TempDir dir;
  WriteAll(dir / "BIG.BIN", std::string(65536, 'x'));
  Calculator calculator(dir, {"--seven", "--ack-delay", "2000"});
  RunOptions options;
  options.args = {"envoyer", "--stockage", "BIG.BIN"};
  Liaison liaison(dir.Path(), calculator.Port(), options);
  ASSERT_TRUE(liaison.WaitFor("Calculatrice Graph 35+ ou suivante (Protocole 7.00).\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(liaison.Pid(), SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(liaison.Pid(), SIGINT);
  Exit exit = liaison.Finish();
  EXPECT_EQ(exit.status, -SIGINT) << exit.out;
}

// sauvegarder --stockage stopped while a file comes: the main memory's
// archive is kept whole, the storage folder that got nothing is not left.
TEST(Stop, BackupLeavesNoEmptyFolder) {
  POSIX_ONLY();
  TempDir dir;
  WriteAll(dir / "GROS.BIN", std::string(30000, 'g'));
  mkdir((dir / "out").c_str(), 0755);
  Calculator calculator(dir, {"--seven", "--pace", "--storage", dir / "GROS.BIN"});
  RunOptions options;
  options.args = {"sauvegarder", "out", "--stockage", "--vitesse", "9600"};
  Liaison liaison(dir.Path(), calculator.Port(), options);
  ASSERT_TRUE(liaison.WaitFor("Stockage : 1 fichier(s) dans "));
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  kill(liaison.Pid(), SIGINT);
  Exit exit = liaison.Finish();
  EXPECT_EQ(exit.status, 130) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  GROS.BIN : interrompu\n")) << exit.out;
  std::vector<std::string> kept = Listed(dir / "out");
  ASSERT_EQ(kept.size(), 1u) << "no empty folder";
  EXPECT_NE(kept[0].find(".g1m"), std::string::npos);
}

}  // namespace
