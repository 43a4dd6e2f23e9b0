// On a real desk: the command line, any COM port on Windows, and a trace of
// the line that a user can send along when asking for help.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "support/harness.h"

namespace {

struct Traced {
  std::string direction;  // "PC>calc" or "calc>PC"
  unsigned char byte;
  bool operator==(const Traced& o) const { return direction == o.direction && byte == o.byte; }
};

void PrintTo(const Traced& t, std::ostream* os) {
  *os << t.direction << " " << std::hex << int{t.byte};
}

// The trace's lines, after checking their form: "SECONDS DIRECTION HEX", or
// a comment. `comments` counts the comments.
std::vector<Traced> ReadTrace(const std::string& path, int* comments) {
  std::istringstream in(ReadAll(path));
  std::vector<Traced> bytes;
  std::string line;
  *comments = 0;
  while (std::getline(in, line)) {
    if (line[0] == '#') {
      ++*comments;
      continue;
    }
    std::istringstream fields(line);
    std::string seconds, direction, hex;
    fields >> seconds >> direction >> hex;
    size_t dot = seconds.find('.');
    EXPECT_TRUE(dot != std::string::npos && seconds.size() - dot == 7) << line;
    EXPECT_TRUE(hex.size() == 2 && hex.find_first_not_of("0123456789ABCDEF") == std::string::npos)
        << line;
    EXPECT_TRUE(direction == "PC>calc" || direction == "calc>PC") << line;
    bytes.push_back({direction, static_cast<unsigned char>(std::stoi(hex, nullptr, 16))});
  }
  return bytes;
}

// The simulator's own log, in the trace's words.
std::vector<Traced> SimulatorLog(const TempDir& dir) {
  std::istringstream in(ReadAll(dir / "sim.log"));
  std::vector<Traced> bytes;
  std::string at, direction, hex;
  while (in >> at >> direction >> hex) {
    bytes.push_back({direction == ">" ? "calc>PC" : "PC>calc",
                     static_cast<unsigned char>(std::stoi(hex, nullptr, 16))});
  }
  return bytes;
}

// The worked examples, traced: the trace holds the simulator's bytes, in
// the same order and directions, and the console text does not change.
TEST(Trace, ListsEveryByteOfTheLine) {
  struct Case {
    std::vector<std::string> sim;
    const char* typed;
  };
  const Case cases[] = {{{"--send", "ABC", "--text", ":abc"}, "1\n3\n\n3\n"},
                        {{"--receive"}, "2\nex.txt\nABC\n\n3\n"}};
  for (const Case& c : cases) {
    TempDir dir;
    WriteAll(dir / "ex.txt", ":abc");
    Exit plain, traced;
    {
      Calculator calculator(dir, c.sim);
      plain = RunLiaison(dir.Path(), calculator.Port(), c.typed);
    }
    Calculator calculator(dir, c.sim);
    RunOptions options;
    options.env = {"LIAISON_TRACE=trace.txt"};
    traced = RunLiaison(dir.Path(), calculator.Port(), c.typed, options);
    calculator.Finish();
    EXPECT_EQ(traced.status, 0);
    EXPECT_EQ(traced.out, plain.out);
    int comments = 0;
    std::vector<Traced> trace = ReadTrace(dir / "trace.txt", &comments);
    EXPECT_EQ(comments, 1);
    EXPECT_EQ(trace, SimulatorLog(dir));
    EXPECT_GT(trace.size(), 50u);
    EXPECT_TRUE(Has(ReadAll(dir / "trace.txt"), "9600 bit/s"));
  }
}

// Killed in the middle of a data block, the program leaves a trace of every
// byte it had taken so far.
TEST(Trace, KilledMidTransfer) {
  TempDir dir;
  WriteAll(dir / "big", std::string(4000, 'b'));
  Calculator calculator(dir, {"--send", "BIG", "--content", dir / "big", "--pace"});
  RunOptions options;
  options.env = {"LIAISON_TRACE=trace.txt"};
  Liaison liaison(dir.Path(), calculator.Port(), options);
  liaison.Type("1 3\n");
  ASSERT_TRUE(liaison.WaitFor("Reception des donnes en cours..."));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  kill(liaison.Pid(), SIGKILL);
  liaison.Finish();
  int comments = 0;
  std::vector<Traced> trace = ReadTrace(dir / "trace.txt", &comments);
  std::vector<Traced> log = SimulatorLog(dir);
  ASSERT_LE(trace.size(), log.size());
  EXPECT_TRUE(std::equal(trace.begin(), trace.end(), log.begin()));
  EXPECT_GT(trace.size(), 1u + 1 + 50 + 1 + 512);  // data bytes are in, though the read went on
}

// The trace is added to: a second run keeps the first run's lines.
TEST(Trace, AddsToWhatIsThere) {
  TempDir dir;
  std::vector<Traced> both;
  for (int run = 0; run < 2; ++run) {
    Calculator calculator(dir, {"--send", "ABC", "--text", ":abc"});
    RunOptions options;
    options.env = {"LIAISON_TRACE=trace.txt"};
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1\n3\n\n3\n", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, 0);
    std::vector<Traced> log = SimulatorLog(dir);
    both.insert(both.end(), log.begin(), log.end());
  }
  int comments = 0;
  EXPECT_EQ(ReadTrace(dir / "trace.txt", &comments), both);
  EXPECT_EQ(comments, 2);
}

// A trace that cannot be written is said once on standard error; the
// program goes on as if none had been asked for.
TEST(Trace, ThatCannotBeOpened) {
  TempDir dir;
  Calculator calculator(dir, {"--receive"});
  RunOptions options;
  options.env = {"LIAISON_TRACE=" + (dir / "no-such-folder/trace.txt")};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "3\n", options);
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.out, kStart + std::string(kMenu));
}

TEST(CommandLine, HelpPortsAndUsage) {
  TempDir dir;
  RunOptions help;
  help.args = {"--help"};
  Exit exit = RunLiaison(dir.Path(), "/dev/null", "", help);
  EXPECT_EQ(exit.status, 0);
  for (const char* part : {"LIAISON_PORT", "LIAISON_TRACE", "1 : reception", "Statut de sortie"})
    EXPECT_TRUE(Has(exit.out, part)) << part;

  RunOptions ports;
  ports.args = {"--ports"};
  exit = RunLiaison(dir.Path(), "/dev/null", "", ports);
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, "Ports serie trouves :\n"));
  EXPECT_TRUE(Has(exit.out, OnWindows() ? "Liaison ouvrira COM1 = \\\\.\\COM1 : "
                                        : "Liaison ouvrira COM1 = /dev/null : nomme par "
                                          "LIAISON_PORT.\n"))
      << exit.out;

  // The version set in the build, from both programs.
  RunOptions version;
  version.args = {"--version"};
  exit = RunLiaison(dir.Path(), "/dev/null", "", version);
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.out.substr(0, exit.out.find('\n')), "liaison " LIAISON_VERSION);
  Exit texte = RunTexte(dir.Path(), {"--version"});
  EXPECT_EQ(texte.status, 0);
  EXPECT_EQ(texte.out.substr(0, texte.out.find('\n')), "liaison-texte " LIAISON_VERSION);

  // One unknown word is as wrong as two: the usage, status 2, no port, no menu.
  const std::vector<std::vector<std::string>> wrongs = {
      {"--port"}, {"--port", "COM3"}, {"--bogus"}, {"--help", "--ports"}};
  for (const std::vector<std::string>& args : wrongs) {
    RunOptions wrong;
    wrong.args = args;
    exit = RunLiaison(dir.Path(), "/dev/null", "3\n", wrong);
    EXPECT_EQ(exit.status, 2) << args[0];
    EXPECT_EQ(exit.out, "") << args[0];
  }
}

// Windows: the port LIAISON_PORT names, COM10 and above included.
class AnyComPort : public ::testing::TestWithParam<const char*> {};

TEST_P(AnyComPort, WorkedExamplesAndAPortThatLeadsNowhere) {
  if (!OnWindows()) GTEST_SKIP() << "COM port names are Windows'";
  const std::string com = GetParam();
  RunOptions options;
  options.env = {"LIAISON_PORT=" + com};
  TempDir dir;
  WriteAll(dir / "ex.txt", ":abc");
  {
    Calculator calculator(dir, {"--send", "ABC", "--text", ":abc"});
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1\n3\n\n3\n", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, 0);
    EXPECT_TRUE(Has(exit.out, "Ouverture et configuration du port " + com + "...\r\n...OK\r\n"));
    EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":abc");
  }
  {
    Calculator calculator(dir, {"--receive"});
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2\nex.txt\nABC\n\n3\n", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, 0);
    EXPECT_TRUE(Has(exit.out, "Programme transfere!"));
    EXPECT_EQ(calculator.FromPc(),
              Hex(std::string("16 ") + kWorkedHeaderHex + "3A 61 62 63 FF DB " + kEndHeaderHex));
  }
  Exit nowhere = RunLiaison(dir.Path(), "/dev/null", "3\n", options);
  EXPECT_EQ(nowhere.status, 255);
  EXPECT_TRUE(Has(nowhere.out, "du port " + com)) << nowhere.out;
}

INSTANTIATE_TEST_SUITE_P(Windows, AnyComPort, ::testing::Values("COM7", "COM12"));

// A LIAISON_PORT that names no COM port: one line on standard error, status
// 255, and nothing on the console.
TEST(AnyComPortName, ThatIsNoPort) {
  if (!OnWindows()) GTEST_SKIP() << "COM port names are Windows'";
  TempDir dir;
  RunOptions options;
  options.env = {"LIAISON_PORT=/dev/ttyUSB0"};
  Exit exit = RunLiaison(dir.Path(), "/dev/null", "3\n", options);
  EXPECT_EQ(exit.status, 255);
  EXPECT_EQ(exit.out, "");
}

}  // namespace

namespace {

// The USB cable: --ports lists the Casio calculators on USB (none here), and
// a command on LIAISON_PORT=usb with none says so, naming USB, status 255.
TEST(UsbCable, ListedAndMissing) {
  TempDir dir;
  RunOptions ports;
  ports.args = {"--ports"};
  Exit exit = RunLiaison(dir.Path(), "/dev/null", "", ports);
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, "Calculatrices Casio en USB (Graph 35+ et suivantes) :\n  (aucune)\n"))
      << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "Disques de calculatrice (Graph 90+E, Graph 35+E II en USB Flash) :\n"
                  "  (aucun)\n"))
      << exit.out;
  // A calculator's disk mounted elsewhere, named by hand.
  RunOptions named = ports;
  named.env = {"LIAISON_DISQUE=" + dir.Path()};
  exit = RunLiaison(dir.Path(), "/dev/null", "", named);
  EXPECT_TRUE(
      Has(exit.out, "Disques de calculatrice (Graph 90+E, Graph 35+E II en USB Flash) :\n  " +
                        dir.Path() + " (nomme par LIAISON_DISQUE)\n"))
      << exit.out;
  RunOptions info;
  info.args = {"info"};
  info.env = {"LIAISON_PORT=usb"};  // wine's programs see only what the case sets
  info.stderrPath = dir / "err.txt";
  exit = RunLiaison(dir.Path(), "usb", "", info);
  EXPECT_EQ(exit.status, 255) << exit.out;
  if (!OnWindows()) {
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), "aucune calculatrice Casio branchee en USB"))
        << ReadAll(dir / "err.txt");
  }
  ports.env = {"LIAISON_PORT=USB"};
  exit = RunLiaison(dir.Path(), "usb", "", ports);
  EXPECT_TRUE(Has(exit.out, "Liaison ouvrira la calculatrice USB : nomme par LIAISON_PORT.\n"))
      << exit.out;
  // The console names the USB cable, not COM1; the screen asks for its mode.
  WriteAll(dir / "P.g1m", G1mBytes({G1mProgram("P", "1")}));
  info.args = {"envoyer", "P.g1m"};
  exit = RunLiaison(dir.Path(), "usb", "", info);
  EXPECT_EQ(exit.status, 255) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Erreur lors de l'ouverture de la calculatrice USB\n")) << exit.out;
  EXPECT_FALSE(Has(exit.out, "COM1")) << exit.out;
  info.args = {"ecran"};
  exit = RunLiaison(dir.Path(), "usb", "", info);
  EXPECT_EQ(exit.status, 255) << exit.out;
  if (!OnWindows()) {
    std::string err = ReadAll(dir / "err.txt");
    EXPECT_TRUE(Has(err,
                    "choisissez Projecteur (Projector), ou ScreenR(XP) / ScreenRecv sur une "
                    "Graph 90+E, sur la calculatrice"))
        << err;
    EXPECT_FALSE(Has(err, "TransfDon")) << err;
  }
}

// LIAISON_PORT naming what is no serial port: said in French for what it
// is, on opening and by --ports; status 255.
TEST(PortNames, ThatAreNoSerialPort) {
  if (OnWindows()) GTEST_SKIP() << "POSIX device names";
  TempDir dir;
  mkdir((dir / "dossier").c_str(), 0755);
  mkfifo((dir / "tube").c_str(), 0644);
  WriteAll(dir / "fichier", "x");
  struct Case {
    std::string device, said;
    bool byPorts;
  };
  const Case cases[] = {
      {dir / "dossier", dir / "dossier : un dossier, pas un port serie", true},
      {dir / "tube", dir / "tube : un tube (FIFO), pas un port serie", true},
      {dir / "fichier", dir / "fichier : un fichier, pas un port serie", true},
      {"/dev/null", "/dev/null : un peripherique qui n'est pas un port serie", false},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.args = {"info"};
    options.stderrPath = dir / "err.txt";
    Exit exit = RunLiaison(dir.Path(), c.device, "", options);
    EXPECT_EQ(exit.status, 255) << c.device;
    std::string err = ReadAll(dir / "err.txt");
    EXPECT_EQ(err, "\nliaison: " + c.said + "\n") << c.device;
    options.args = {"--ports"};
    exit = RunLiaison(dir.Path(), c.device, "", options);
    if (c.byPorts) {
      EXPECT_EQ(exit.status, 255) << c.device;
      EXPECT_TRUE(Has(exit.out, "Attention, LIAISON_PORT nomme " + c.said)) << exit.out;
    }
  }
}

}  // namespace
