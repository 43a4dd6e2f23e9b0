// What the Protocol 7.00 commands say, run in the program over the in-memory
// line: a calculator's answers no simulator gives (an unnamed storage entry,
// data out of order) and the words the user reads for them.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/seven_commands.h"
#include "files/g1m.h"
#include "seven/command.h"
#include "support/blocks.h"
#include "support/memory_line.h"
#include "support/session.h"

namespace {

using namespace seven;

Bytes B(const Packet& packet) {
  std::string bytes = Encode(packet);
  return Bytes(bytes.begin(), bytes.end());
}

// A command run against the scripted answers: what it printed, its status.
using Run = int (*)(Console&, int, const std::vector<std::string>&);

std::pair<int, std::string> RunCommand(const TempDir& dir, Run command,
                                       const std::vector<std::string>& args,
                                       const std::vector<Packet>& answers) {
  MemoryLine line;
  for (const Packet& p : answers) line.Then(B(p));
  line.SetIdleReads(4);
  Console con;
  con.inFd = -1;
  con.out = std::fopen((dir / "out.txt").c_str(), "w");
  int status = command(con, 1, args);
  std::fclose(con.out);
  return {status, ReadAll(dir / "out.txt")};
}

std::pair<int, std::string> RunCommand(Run command, const std::vector<std::string>& args,
                                       const std::vector<Packet>& answers) {
  TempDir dir;
  return RunCommand(dir, command, args, answers);
}

const Packet kAck = Basic(seven::kAck, 0), kSwap = Basic(kRoleswap, 0);

TEST(SevenWords, StorageListAsTheUserReadsIt) {
  Fields unnamed = StorageFields("", "", 0), one = StorageFields("", "UN.BIN", 1),
         folder = StorageFields("DOC", "", 0), free = StorageFields("", "", 1);
  std::pair<int, std::string> run = RunCommand(
      Liste, {"--stockage"},
      {kAck, kAck, Command(kStorageInfo, unnamed), Command(kStorageInfo, one),
       Command(kStorageInfo, folder), kSwap, kAck, Command(kStorageFree, free), kSwap, kAck});
  EXPECT_EQ(run.first, 0) << run.second;
  EXPECT_EQ(run.second,
            "Stockage (fls0) :\n"
            "  (sans nom)/\n"
            "  UN.BIN                   1 octet\n"
            "  DOC/\n"
            "  Libre : 1 octet\n");
}

// Data out of order: the file is said broken once, with its name once.
TEST(SevenWords, BrokenFileNamedOnce) {
  std::string content(600, 'x');
  std::vector<Packet> data = DataPackets(kMainFile, content);
  Fields listed = MainFields("system", "P", "PROGRAM", 1, 600);
  std::pair<int, std::string> run = RunCommand(Recuperer, {"--vitesse", "9600", "P"},
                                               {kAck, kAck, Command(kMainInfo, listed), kSwap, kAck,
                                                Command(kMainFile, listed), data[0], data[2]});
  EXPECT_EQ(run.first, 1) << run.second;
  EXPECT_EQ(run.second.find("  P : echange rompu : paquet 3 apres le paquet 1\n"), 0u)
      << run.second;
}

// A calculator whose list never ends: what it listed is shown, the series
// ended, status 1. Whether it repeats itself or announces more than any
// calculator holds.
TEST(SevenWords, EndlessListIsEnded) {
  Packet same = Command(kMainInfo, MainFields("system", "P", "PROGRAM", 1, 10));
  std::vector<Packet> repeating = {kAck, kAck};
  for (int i = 0; i < 50; ++i) repeating.push_back(same);
  std::pair<int, std::string> run = RunCommand(Liste, {"--memoire"}, repeating);
  EXPECT_EQ(run.first, 1) << run.second;
  EXPECT_EQ(run.second,
            "Memoire principale :\n"
            "  PROGRAM          P        programme  10 octets\n"
            "  echange rompu : la calculatrice annonce de nouveau un fichier deja annonce\n");
  std::vector<Packet> huge = {kAck, kAck};
  for (int i = 0; i < 5; ++i)
    huge.push_back(Command(
        kMainInfo, MainFields("system", "H" + std::to_string(i), "PROGRAM", 1, 30ul << 20)));
  run = RunCommand(Liste, {"--memoire"}, huge);
  EXPECT_EQ(run.first, 1) << run.second;
  EXPECT_NE(run.second.find("  echange rompu : serie trop longue (2 fichiers, 94371840 octets "
                            "annonces)\n"),
            std::string::npos)
      << run.second;
}

// More files than one archive counts (16 bits): the next archives take them.
TEST(SevenWords, BackupOfMoreThan65535Files) {
  TempDir dir;
  std::vector<Packet> answers = {kAck, kAck};
  const int count = 65536;
  char name[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "F%05X", i);
    answers.push_back(Command(kMainFile, MainFields("system", name, "PROGRAM", 1, 0)));
  }
  answers.push_back(kSwap);
  answers.push_back(kAck);
  std::pair<int, std::string> run =
      RunCommand(dir, Sauvegarder, {dir.Path(), "--vitesse", "9600"}, answers);
  EXPECT_EQ(run.first, 0) << run.second.substr(0, 500);
  size_t first = run.second.find("Memoire principale : 65535 fichier(s) dans ");
  size_t second = run.second.find("Memoire principale : 1 fichier(s) dans ");
  ASSERT_NE(first, std::string::npos) << run.second.substr(0, 500);
  ASSERT_NE(second, std::string::npos) << run.second.substr(0, 500);
  std::string path =
      run.second.substr(second + 39, run.second.find(' ', second + 39) - second - 39);
  EXPECT_NE(path.find("-2.g1m"), std::string::npos) << path;
  G1mRead read;
  std::string error;
  ASSERT_TRUE(ReadG1m(ReadAll(path), &read, &error)) << error;
  ASSERT_EQ(read.files.size(), 1u);
  EXPECT_EQ(read.files[0].name, "F0FFFF");  // the last one
}

}  // namespace
