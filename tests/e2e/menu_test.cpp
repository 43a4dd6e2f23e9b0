#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

#include <chrono>
#include <thread>

#include "support/harness.h"

namespace {

struct MenuCase {
  const char* typed;
  int menus;  // how often the whole menu is shown
};

class Menu : public ::testing::TestWithParam<MenuCase> {};

TEST_P(Menu, ShowsTheMenuAgainUntilQuit) {
  TempDir dir;
  Calculator calculator(dir, {"--receive"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), GetParam().typed);
  EXPECT_EQ(exit.out, kStart + Repeat(kMenu, GetParam().menus));
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(calculator.FromPc().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, Menu,
                         ::testing::Values(MenuCase{"3\n", 1}, MenuCase{"0\n4\n-5\n3\n", 4},
                                           MenuCase{"abc 1\n3\n",
                                                    2},      // the rest of a bad line goes with it
                                           MenuCase{"", 1},  // end of input quits
                                           MenuCase{"\x01\xff\x80 2\n7", 3},  // then end of input
                                           MenuCase{"99999999999999999999 -0 3 1", 3}));

TEST(StartUp, PortThatCannotBeOpenedOrConfigured) {
  struct Case {
    const char* port;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/liaison-no-such-port", "Erreur lors de l'ouverture du port COM1"},
      {"/dev/null", "Erreur lors de la configuration du port COM1"},
  };
  for (const Case& c : cases) {
    // Wine maps a COM1 whose device is missing to /dev/ttyS0 instead.
    if (OnWindows() && std::string(c.port) != "/dev/null") continue;
    TempDir dir;
    Exit exit = RunLiaison(dir.Path(), c.port, "3\n");
    EXPECT_EQ(exit.out, std::string("Ouverture et configuration du port COM1...\r\n") + c.message);
    EXPECT_EQ(exit.status, 255);
  }
}

// Started with no standard input at all, the menu meets the end of input.
TEST(StartUp, ClosedStandardInput) {
  TempDir dir;
  Calculator calculator(dir, {"--send", "ABC"});
  RunOptions closed;
  closed.closedStdin = true;
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", closed);
  EXPECT_EQ(exit.out, kStart + std::string(kMenu));
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(calculator.FromPc().empty());
}

// The port is held for the program's exclusive use: a second program on the
// same device fails to open it and leaves the first undisturbed.
TEST(StartUp, SecondProgramOnTheSamePort) {
  if (OnWindows()) GTEST_SKIP() << "wine does not keep a COM port to one process, as Windows does";
  TempDir dir;
  Calculator calculator(dir, {"--send", "ABC", "--text", ":abc"});
  Liaison first(dir.Path(), calculator.Port());
  first.Type("");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Exit second = RunLiaison(dir.Path(), calculator.Port(), "3\n");
  EXPECT_EQ(
      second.out,
      "Ouverture et configuration du port COM1...\r\nErreur lors de l'ouverture du port COM1");
  EXPECT_EQ(second.status, 255);
  first.Type("1 3\n\n3\n");
  Exit exit = first.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":abc");
}

}  // namespace

namespace {

// A case that gets no port from the simulator fails, and never lets the
// program fall back to a real device.
TEST(Harness, NoPortFailsTheCase) {
  EXPECT_NONFATAL_FAILURE(
      {
        Exit exit = RunLiaison("/tmp", "", "3\n");
        EXPECT_EQ(exit.status, 255);
      },
      "no serial port");
}

// The simulator refuses what it cannot do rather than test nothing.
TEST(Simulator, RefusesWrongOptions) {
  TempDir dir;
  const std::vector<std::vector<std::string>> wrong = {
      {"--receive", "--log", dir / "no-such-folder/sim.log"},
      {"--receive", "--report", dir / "no-such-folder/report.txt"},
      {"--send", "P", "--noise", "many"},
      {"--send", "P", "--header-cut", "12x"},
      {"--receive", "--answer", "0x1G"},
      {"--receive", "--vanish", "later"},
      {"--send"},
  };
  for (std::vector<std::string> args : wrong) {
    args.insert(args.begin(), LIAISON_SIM_BIN);
    RunOptions quiet;
    quiet.nullStderr = true;
    Exit exit = Process(args, "", quiet).Finish();
    EXPECT_EQ(exit.status, 2) << args[1] << " " << args.back();
    EXPECT_EQ(exit.out, "") << args.back();
  }
}

}  // namespace
