// What the Protocol 7.00 commands say, run in the program over the in-memory
// line: a calculator's answers no simulator gives (an unnamed storage entry,
// data out of order) and the words the user reads for them.
#include <gtest/gtest.h>

#include <cstdio>

#include "app/seven_commands.h"
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
std::pair<int, std::string> RunCommand(int (*command)(Console&, int, const std::vector<std::string>&),
                                const std::vector<std::string>& args,
                                const std::vector<Packet>& answers) {
  TempDir dir;
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

const Packet kAck = Basic(seven::kAck, 0), kSwap = Basic(kRoleswap, 0);

TEST(SevenWords, StorageListAsTheUserReadsIt) {
  Fields unnamed = StorageFields("", "", 0), one = StorageFields("", "UN.BIN", 1),
         folder = StorageFields("DOC", "", 0), free = StorageFields("", "", 1);
  std::pair<int, std::string> run =
      RunCommand(Liste, {"--stockage"},
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
  std::pair<int, std::string> run =
      RunCommand(Recuperer, {"--vitesse", "9600", "P"},
          {kAck, kAck, Command(kMainInfo, listed), kSwap, kAck, Command(kMainFile, listed),
           data[0], data[2]});
  EXPECT_EQ(run.first, 1) << run.second;
  EXPECT_EQ(run.second.find("  P : echange rompu : paquet 3 apres le paquet 1\n"), 0u)
      << run.second;
}

}  // namespace
