// The calculator's disk found, mounted and ejected through the desktop's disk
// service: liaison against a stand-in of UDisks2 (python3-dbusmock) on a
// private bus, given to it as the system bus.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "support/harness.h"

namespace {

pid_t Start(const std::vector<std::string>& argv, const std::string& env) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  if (!env.empty()) putenv(const_cast<char*>(env.c_str()));
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execv(args[0], args.data());
  _exit(127);
}

bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class Udisks : public ::testing::Test {
 protected:
  void SetUp() override {
    if (OnWindows()) GTEST_SKIP() << "UDisks2 is Linux's";
    if (access("/usr/bin/dbus-daemon", X_OK) != 0 ||
        std::system("/usr/bin/python3 -c 'import dbusmock' 2>/dev/null") != 0)
      GTEST_SKIP() << "dbus-daemon or python3-dbusmock missing (scripts/test installs them)";
    address_ = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + dir_ / "bus";
    bus_ = Start(
        {"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=unix:path=" + dir_ / "bus"},
        "");
    struct stat st {};
    ASSERT_TRUE(Eventually([&] { return stat((dir_ / "bus").c_str(), &st) == 0; }));
    Folder(mnt_);
  }
  void TearDown() override {
    for (pid_t pid : {service_, bus_})
      if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
  }
  // The service with these disks (JSON) and, `busy`, a disk it cannot
  // unmount.
  void Service(const std::string& disks, bool busy = false, bool refuseMount = false) {
    std::string parameters = "{\"disks\": " + disks + ", \"busy\": " + (busy ? "true" : "false") +
                             ", \"refuse_mount\": " + (refuseMount ? "true" : "false") + "}";
    service_ = Start({"/usr/bin/python3", "-m", "dbusmock", "-t",
                      LIAISON_SOURCE_DIR "/tests/support/udisks2_template.py", "-l",
                      dir_ / "calls.log", "-p", parameters},
                     address_);
    std::string ping = address_ +
                       " dbus-send --system --print-reply --dest=org.freedesktop.UDisks2 "
                       "/org/freedesktop/UDisks2/Manager org.freedesktop.DBus.Peer.Ping "
                       ">/dev/null 2>&1";
    ASSERT_TRUE(Eventually([&] { return std::system(ping.c_str()) == 0; }));
  }
  Exit Run(const std::vector<std::string>& args) {
    RunOptions options;
    options.args = args;
    options.env = {address_};
    options.closedStdin = true;
    options.stderrPath = dir_ / "err.txt";
    return Liaison(options);
  }
  // No port named: the disk is the calculator found.
  Exit Liaison(const RunOptions& options) {
    std::vector<std::string> argv = {LIAISON_BIN};
    argv.insert(argv.end(), options.args.begin(), options.args.end());
    return Process(argv, dir_.Path(), options).Finish();
  }
  // The service's methods called, in order, from its log ("1.2 Unmount {}").
  std::string Calls() const {
    std::string calls, log = ReadAll(dir_ / "calls.log"), line;
    std::istringstream lines(log);
    while (std::getline(lines, line))
      for (const char* method : {"Mount", "Unmount", "PowerOff"})
        if (line.find(std::string(" ") + method + " {") != std::string::npos)
          calls += std::string(calls.empty() ? "" : " ") + method;
    return calls;
  }
  std::string Err() const { return ReadAll(dir_ / "err.txt"); }
  static void Folder(const std::string& path) { mkdir(path.c_str(), 0755); }
  std::string Casio(const std::string& name, const std::string& model,
                    const std::string& mounted = "") const {
    return "{\"name\": \"" + name + "\", \"vendor\": \"CASIO   \", \"model\": \"" + model +
           "\", \"mounted\": \"" + mounted + "\", \"mount_to\": \"" + mnt_ + "\"}";
  }

  TempDir dir_;
  std::string mnt_ = dir_ / "CASIO";
  std::string address_;
  pid_t bus_ = -1, service_ = -1;
};

// Other disks around it: a USB key, a loop device (no drive), a calculator
// disk without a file system.
const char kOthers[] =
    "{\"name\": \"sdc\", \"vendor\": \"Kingston\", \"model\": \"DataTraveler\", \"mounted\": "
    "\"/media/cle\"}, {\"name\": \"loop0\", \"vendor\": \"CASIO\", \"model\": \"ColorGraph\", "
    "\"drive\": \"/\"}, {\"name\": \"sdd\", \"vendor\": \"CASIO\", \"model\": \"Calculator\", "
    "\"filesystem\": false}";

TEST_F(Udisks, FoundMountedSentAndEjected) {
  Service("[" + std::string(kOthers) + ", " + Casio("sdb", "ColorGraph") + "]");
  Exit exit = Run({"--ports"});
  EXPECT_TRUE(Has(exit.out,
                  "Disques de calculatrice (Graph 90+E, Graph 35+E II en USB Flash) :\n"
                  "  (non monte) : Graph 90+E / fx-CG (/dev/sdb)\n"
                  "Liaison ouvrira"))
      << exit.out;
  WriteAll(dir_ / "P.txt", "programme");
  exit = Run({"envoyer", "P.txt"});
  EXPECT_EQ(exit.status, 0) << exit.out << Err();
  EXPECT_TRUE(Has(Err(), "liaison: disque de calculatrice : /dev/sdb (Graph 90+E / fx-CG)\n"))
      << Err();
  EXPECT_TRUE(Has(exit.out,
                  "  fichier P.txt (9 octets) : envoye\n1 fichier(s) envoye(s) sur 1.\n"
                  "Disque ejecte. Vous pouvez debrancher la calculatrice.\n"))
      << exit.out;
  EXPECT_EQ(ReadAll(mnt_ + "/P.txt"), "programme");
  EXPECT_EQ(Calls(), "Mount Unmount PowerOff");
}

TEST_F(Udisks, MountedAlreadyAndReadOnlyCommandsDoNotEject) {
  Service("[" + Casio("sdb", "Calculator", mnt_) + "]");
  Exit exit = Run({"info"});
  EXPECT_EQ(exit.status, 0) << exit.out << Err();
  EXPECT_TRUE(
      Has(exit.out, "Calculatrice : Graph 35+E II, disque USB (/dev/sdb)\nDisque : " + mnt_ + "\n"))
      << exit.out;
  WriteAll(dir_ / "P.txt", "programme");
  exit = Run({"envoyer", "--sans-ejecter", "P.txt"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_FALSE(Has(exit.out, "ejecte")) << exit.out;
  EXPECT_EQ(Calls(), "");
  // A Graph 35+E II takes .g1m archives, whatever else its disk holds.
  Folder(mnt_ + "/@MainMem");
  Folder(mnt_ + "/@MainMem/PROGRAM");
  WriteAll(mnt_ + "/@MainMem/PROGRAM/X.g3m", "ailleurs");
  WriteAll(dir_ / "UN", ":1");
  exit = Run({"envoyer", "--memoire", "--sans-ejecter", "UN"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(ReadAll(mnt_ + "/@MainMem/PROGRAM/UN.g1m"), G1mBytes({G1mProgram("UN", "1")}));
  // Named by hand, the folder where it is mounted is still that disk.
  RunOptions options;
  options.args = {"supprimer", "--stockage", "P.txt"};
  options.env = {address_, "LIAISON_DISQUE=" + mnt_};
  options.closedStdin = true;
  exit = Liaison(options);
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Disque ejecte. Vous pouvez debrancher la calculatrice.\n"))
      << exit.out;
  EXPECT_EQ(Calls(), "Unmount PowerOff");
}

TEST_F(Udisks, BusyDiskIsSaidAndNothingLost) {
  Service("[" + Casio("sdb", "ColorGraph", mnt_) + "]", true);
  WriteAll(dir_ / "P.txt", "programme");
  Exit exit = Run({"envoyer", "P.txt"});
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Le disque de la calculatrice est occupe (")) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Fermez-le, puis ejectez le disque avant de debrancher le cable."))
      << exit.out;
  EXPECT_EQ(ReadAll(mnt_ + "/P.txt"), "programme");
  EXPECT_EQ(Calls(), "Unmount") << ReadAll(dir_ / "calls.log");
}

TEST_F(Udisks, TwoCalculatorsAreNamedByHand) {
  Service("[" + Casio("sdb", "ColorGraph", mnt_) + ", " + Casio("sde", "Calculator", "/media/b") +
          "]");
  Exit exit = Run({"liste"});
  EXPECT_EQ(exit.status, 255) << exit.out;
  EXPECT_TRUE(Has(Err(), "plusieurs disques de calculatrice : LIAISON_DISQUE=DOSSIER nomme le bon"))
      << Err();
}

// A desktop that will not mount it for this user: said, status 255.
TEST_F(Udisks, MountRefused) {
  Service("[" + Casio("sdb", "ColorGraph") + "]", false, true);
  Exit exit = Run({"liste"});
  EXPECT_EQ(exit.status, 255) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "Le disque de la calculatrice ne se monte pas : le service de disques refuse "
                  "(permission)\n"))
      << exit.out;
  EXPECT_EQ(Calls(), "Mount");
}

}  // namespace
