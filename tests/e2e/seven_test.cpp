// The commands with a Graph 35+ (Protocol 7.00) end to end: the real liaison
// against the simulated calculator, the packets on the line, the files on
// both sides, the statuses.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "seven/command.h"
#include "serial/serial.h"
#include "session/seven.h"
#include "support/harness.h"

namespace {

std::string Str(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Hexadecimal of the packets the facts sheet works through.
const char kCheck[] = "05 30 30 30 37 30";
const char kAckHex[] = "06 30 30 30 37 30";
const char kTerminate[] = "18 30 30 30 37 30";
const char kDemoCommand[] =
    "01 32 35 31 30 30 32 39 30 30 30 31 30 30 30 30 30 30 31 45 30 36 30 34 30 37 30 30 30 30 "
    "30 30 73 79 73 74 65 6D 44 45 4D 4F 50 52 4F 47 52 41 4D 31 33";
const char kDemoData[] =
    "02 32 35 31 30 30 33 36 30 30 30 31 30 30 30 31 5C 20 5C 20 5C 20 5C 20 5C 20 5C 20 5C 20 "
    "5C 20 5C 20 5C 20 22 48 45 4C 4C 4F 22 5C 2D 3F 5C 2E 41 5C 2D 41 A9 41 5C 2E 42 5C 2D 42 "
    "5C 2C 32 37";

// A main memory of two programs, and an add-in for storage.
std::vector<G1mEntry> Memory() {
  return {G1mProgram("JEU", std::string("\xF7\x00"
                                        "A\r",
                                        4)),
          G1mProgram("BIG", std::string(700, '\x0D'), "MDP")};
}

std::string AddIn() {
  std::string bytes = G1mBytes({G1mProgram("X", "x")});
  bytes[8] = static_cast<char>(~0xF3);
  return bytes + std::string(3000, '\x5C');
}

struct Outcome {
  Exit exit;
  Bytes fromPc, toPc;
  std::string report;
};

// One command against a fresh simulated calculator in `dir`.
Outcome Against(const TempDir& dir, const std::vector<std::string>& sim,
                const std::vector<std::string>& args) {
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = args;
  Outcome run;
  run.exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  run.fromPc = calculator.FromPc();
  run.toPc = calculator.ToPc();
  run.report = calculator.Report();
  return run;
}

TEST(Seven, InfoAndList) {
  TempDir dir;
  WriteAll(dir / "mem.g1m", G1mBytes(Memory()));
  WriteAll(dir / "JEU.G1A", AddIn());
  std::vector<std::string> sim = {"--seven", "--memory", dir / "mem.g1m", "--storage",
                                  dir / "JEU.G1A"};
  Outcome info = Against(dir, sim, {"info"});
  EXPECT_EQ(info.exit.status, 0) << info.exit.out;
  EXPECT_EQ(info.exit.out,
            "Calculatrice : Graph 35+ (SH4) ou Graph 35+E (Gy362007)\n"
            "Systeme : 02.04.0201 (2496 Kio ; brut 00002496)\n"
            "Code de demarrage : 01.04.0000\n"
            "Identifiant de produit : ABCDEFGH\n"
            "Utilisateur : ALICE\n"
            "Memoire flash : 4096 Kio ; memoire vive : 512 Kio\n"
            "Protocole : 7.00\n");
  EXPECT_EQ(info.fromPc, Join({Hex(kCheck), Hex("01 30 31 30 36 46"), Hex(kTerminate)}));

  Outcome list = Against(dir, sim, {"liste"});
  EXPECT_EQ(list.exit.status, 0) << list.exit.out;
  EXPECT_EQ(list.exit.out,
            "Memoire principale :\n"
            "  PROGRAM          JEU      programme  14 octets\n"
            "  PROGRAM          BIG      programme  710 octets\n"
            "  Libre : 61440 octets\n"
            "Stockage (fls0) :\n"
            "  JEU.G1A                  3087 octets\n"
            "  Libre : 1572864 octets\n");
  sim.push_back("--no-storage");
  Outcome none = Against(dir, sim, {"liste", "--stockage"});
  EXPECT_EQ(none.exit.status, 1);
  EXPECT_TRUE(
      Has(none.exit.out, "  pas de memoire de stockage (refuse par la calculatrice (NAK 00))"))
      << none.exit.out;
}

// The facts sheet's exchange, byte for byte, at the start speed.
TEST(Seven, SendsTheWorkedExample) {
  TempDir dir;
  WriteAll(dir / "demo.g1m", Str(Hex(kDemoG1mHex)));
  Outcome run =
      Against(dir, {"--seven", "--keep", dir.Path()}, {"envoyer", "--vitesse", "9600", "demo.g1m"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(run.fromPc, Join({Hex(kCheck), Hex(kDemoCommand), Hex(kDemoData), Hex(kTerminate)}));
  EXPECT_EQ(run.toPc, Join({Hex(kAckHex), Hex(kAckHex), Hex(kAckHex), Hex(kAckHex)}));
  EXPECT_EQ(ReadAll(dir / "main-DEMO"), std::string(10, '\0') + Str(Hex(kDemoProgramHex)));
  EXPECT_TRUE(Has(run.exit.out,
                  "Calculatrice Graph 35+ ou suivante (Protocole 7.00).\n"
                  "  programme DEMO : envoye\n1 fichier(s) envoye(s) sur 1.\n"))
      << run.exit.out;
}

// By default the line goes to 115200 bit/s once the calculator has said
// yes, and back to 9600 before the end; storage files and the programs of
// a catalogue go too, each where it belongs.
TEST(Seven, SendsEverythingFast) {
  TempDir dir;
  WriteAll(dir / "jeu.g1a", AddIn());
  WriteAll(dir / "notes.txt", "des notes");
  WriteAll(dir / "p.cat",
           "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\nData Type:PG\r\nCapacity:0\r\n"
           "File Name:MINI\r\nGroup Name:\r\nPassword:MDP\r\nOption1:NL\r\nOption2:\r\n"
           "Option3:\r\nOption4:\r\n%Data Record\r\n\\Min(List 1)\r\n%End\r\n");
  Outcome run = Against(dir, {"--seven", "--keep", dir.Path()}, {"envoyer", "jeu.g1a", "p.cat"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "storage-jeu.g1a"), AddIn());
  // The Graph 35/65's Min( (7F 2D) arrives as the fx-9860G's (7F 99).
  EXPECT_EQ(ReadAll(dir / "main-MINI"), G1mProgramContent("\x7F\x99\x7F\x51"
                                                          "1)",
                                                          "MDP"));
  EXPECT_TRUE(Has(run.report, "speed_before_ack=9600\nspeed=115200 EVEN 1\n")) << run.report;
  EXPECT_TRUE(Has(run.report, "speed_before_ack=115200\nspeed=9600 NONE 2\nterminate\n"))
      << run.report;
  run = Against(dir, {"--seven", "--keep", dir.Path()}, {"envoyer", "--stockage", "notes.txt"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "storage-notes.txt"), "des notes");
}

TEST(Seven, FileTheCalculatorHas) {
  struct Case {
    std::vector<std::string> choice;
    const char* said;
    const char* answered;  // to its NAK 02
    int status;
  };
  // The summary counts what the calculator took.
  const Case cases[] = {
      {{"--remplacer"},
       "  programme JEU : envoye\n1 fichier(s) envoye(s) sur 1.\n",
       "06 30 31 30 36 46",
       0},
      {{"--garder"},
       "  programme JEU : deja sur la calculatrice : garde, non envoye\n"
       "0 fichier(s) envoye(s) sur 1.\n",
       "15 30 33 30 36 44",
       1},
      {{},
       "  programme JEU : deja sur la calculatrice : garde, non envoye\n"
       "0 fichier(s) envoye(s) sur 1.\n",
       "15 30 33 30 36 44",
       1},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteAll(dir / "mem.g1m", G1mBytes(Memory()));
    WriteAll(dir / "new.g1m", G1mBytes({G1mProgram("JEU", "nouveau")}));
    std::vector<std::string> args = {"envoyer", "--vitesse", "9600"};
    args.insert(args.end(), c.choice.begin(), c.choice.end());
    args.push_back("new.g1m");
    Outcome run =
        Against(dir, {"--seven", "--memory", dir / "mem.g1m", "--keep", dir.Path()}, args);
    EXPECT_EQ(run.exit.status, c.status) << run.exit.out;
    EXPECT_TRUE(Has(run.exit.out, c.said)) << run.exit.out;
    Bytes command = Slice(run.fromPc, 6, run.fromPc.size());
    EXPECT_TRUE(Has(Str(run.fromPc), Str(Hex(c.answered))));
    EXPECT_EQ(ReadAll(dir / "main-JEU"), c.status == 0 ? G1mProgramContent("nouveau") : "");
  }
}

// Windows takes AUX.anything for its device: such names are saved apart.
TEST(Seven, FetchedNamesAreNoDevice) {
  TempDir dir;
  WriteAll(dir / "mem.g1m", G1mBytes({G1mProgram("AUX.TXT", "1")}));
  mkdir((dir / "sto").c_str(), 0755);
  WriteAll(dir / "sto/AUX.TXT.BAK", "sauve");
  std::vector<std::string> sim = {"--seven", "--memory", dir / "mem.g1m", "--storage",
                                  dir / "sto/AUX.TXT.BAK"};
  Outcome run = Against(dir, sim, {"recuperer", "AUX.TXT"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(run.exit.out, "  programme AUX.TXT : _AUX.TXT.g1m\n");
  EXPECT_EQ(ReadAll(dir / "_AUX.TXT.g1m"), G1mBytes({G1mProgram("AUX.TXT", "1")}));
  run = Against(dir, sim, {"recuperer", "--stockage", "AUX.TXT.BAK"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(run.exit.out, "  AUX.TXT.BAK (5 octets) : _AUX.TXT.BAK\n");
  EXPECT_EQ(ReadAll(dir / "_AUX.TXT.BAK"), "sauve");
}

TEST(Seven, FetchesAndBacksUp) {
  TempDir dir;
  WriteAll(dir / "mem.g1m", G1mBytes(Memory()));
  WriteAll(dir / "JEU.G1A", AddIn());
  std::vector<std::string> sim = {"--seven", "--memory", dir / "mem.g1m", "--storage",
                                  dir / "JEU.G1A"};
  mkdir((dir / "out").c_str(), 0755);
  WriteAll(dir / "JEU.g1m", "a file of the user's");
  Outcome run = Against(dir, sim, {"recuperer", "JEU", "BIG", "ABSENT"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_EQ(run.exit.out,
            "  programme JEU : JEU-2.g1m\n  programme BIG : BIG.g1m\n"
            "  ABSENT : pas sur la calculatrice\n");
  EXPECT_EQ(ReadAll(dir / "JEU.g1m"), "a file of the user's");
  EXPECT_EQ(ReadAll(dir / "JEU-2.g1m"), G1mBytes({Memory()[0]}));
  EXPECT_EQ(ReadAll(dir / "BIG.g1m"), G1mBytes({Memory()[1]}));

  run = Against(dir, sim, {"recuperer", "--stockage", "JEU.G1A"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "JEU.G1A-2"), "");  // named as itself
  EXPECT_EQ(ReadAll(dir / "JEU-2.G1A"), AddIn());

  run = Against(dir, sim, {"sauvegarder", "out", "--stockage"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  std::vector<std::string> archives = Listed(dir / "out");
  ASSERT_EQ(archives.size(), 2u);  // the archive and the storage folder
  std::string stem = archives[0].substr(0, 15);
  EXPECT_EQ(ReadAll(dir / "out" + "/" + stem + ".g1m"), G1mBytes(Memory()));
  EXPECT_EQ(ReadAll(dir / "out" + "/" + stem + "/JEU.G1A"), AddIn());
}

TEST(Seven, DeletesAndOptimises) {
  TempDir dir;
  WriteAll(dir / "mem.g1m", G1mBytes(Memory()));
  WriteAll(dir / "JEU.G1A", AddIn());
  std::vector<std::string> sim = {"--seven", "--memory", dir / "mem.g1m", "--storage",
                                  dir / "JEU.G1A"};
  Outcome run = Against(dir, sim, {"supprimer", "BIG", "NON"});
  EXPECT_EQ(run.exit.status, 1);
  EXPECT_EQ(run.exit.out, "  BIG : supprime\n  NON : pas sur la calculatrice\n");
  EXPECT_TRUE(Has(run.report, "deleted=BIG\n"));
  run = Against(dir, sim, {"supprimer", "--stockage", "JEU.G1A"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_TRUE(Has(run.report, "command=46\ndeleted=JEU.G1A\n"));
  run = Against(dir, sim, {"optimiser"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_TRUE(Has(run.report, "command=51\noptimised\n"));
  // Nothing that erases or reprograms the calculator ever goes.
  for (unsigned char code : {0x00, 0x2A, 0x4A, 0x4F, 0x50, 0x52, 0x53, 0x54, 0x55, 0x56}) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%02X", code);
    EXPECT_FALSE(Has(run.report, std::string("command=") + hex));
  }
}

// A fetched file the disk refuses leaves nothing; a truncated archive is
// refused before a packet goes.
TEST(Seven, NothingHalfDone) {
  TempDir dir;
  WriteAll(dir / "mem.g1m", G1mBytes(Memory()));
  if (!OnWindows()) {
    Calculator calculator(dir, {"--seven", "--memory", dir / "mem.g1m"});
    RunOptions options;
    options.args = {"recuperer", "BIG"};
    options.fileSizeLimit = 100;
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, 1) << exit.out;
    EXPECT_TRUE(Has(exit.out, "  BIG : pas enregistre : ")) << exit.out;
    EXPECT_EQ(Listed(dir.Path()), std::vector<std::string>({"mem.g1m", "report.txt", "sim.log"}));
  }
  std::string truncated = G1mBytes(Memory());
  WriteAll(dir / "cut.g1m", truncated.substr(0, truncated.size() - 1));
  RunOptions options;
  options.args = {"envoyer", "--protocole", "7", "cut.g1m"};
  Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);  // no port is opened
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "cut.g1m : octet ")) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Rien n'a ete envoye.\n")) << exit.out;
}

// A Graph 35+ that transmits by itself (LINK, Transmit): its files land in
// one .g1m, exactly.
TEST(Seven, RecevoirTakesItsTransmission) {
  TempDir dir;
  WriteAll(dir / "sent.g1m", G1mBytes(Memory()));
  mkdir((dir / "in").c_str(), 0755);
  Outcome run = Against(dir, {"--seven-transmit", dir / "sent.g1m"}, {"recevoir", "in"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out,
                  "  programme JEU : recu\n  programme BIG : recu\n"
                  "Fin de la transmission.\n2 fichier(s) enregistre(s) dans in/"))
      << run.exit.out;
  EXPECT_TRUE(Has(run.report, "pc_info=ok\n")) << run.report;
  std::vector<std::string> kept = Listed(dir / "in");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadAll(dir / "in/" + kept[0]), G1mBytes(Memory()));
}

// A file it announces over the size Liaison takes: refused, said, status 1;
// the others kept.
TEST(Seven, RecevoirSaysWhatItRefused) {
  TempDir dir;
  std::vector<G1mEntry> sent = {Memory()[0], G1mProgram("HUGE", std::string(1100000, 'x')),
                                Memory()[1]};
  WriteAll(dir / "sent.g1m", G1mBytes(sent));
  mkdir((dir / "in").c_str(), 0755);
  Outcome run = Against(dir, {"--seven-transmit", dir / "sent.g1m"}, {"recevoir", "in"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out,
                  "  programme JEU : recu\n  programme BIG : recu\n"
                  "Fin de la transmission.\n1 fichier(s) non recu(s).\n"
                  "2 fichier(s) enregistre(s) dans in/"))
      << run.exit.out;
  EXPECT_TRUE(Has(run.report, "refused=HUGE\n")) << run.report;
  std::vector<std::string> kept = Listed(dir / "in");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadAll(dir / "in/" + kept[0]), G1mBytes(Memory()));
}

// What recevoir has said received is on disk at once: a signal, or a disk
// that refuses the next file (the calculator is told with a NAK), keeps it.
TEST(Seven, RecevoirKeepsWhatItSaidReceived) {
  TempDir dir;
  WriteAll(dir / "sent.g1m", G1mBytes(Memory()));
  mkdir((dir / "in").c_str(), 0755);
  {
    Calculator calculator(dir, {"--seven-transmit", dir / "sent.g1m", "--transmit-gap", "5000"});
    RunOptions options;
    options.args = {"recevoir", "in"};
    Liaison liaison(dir.Path(), calculator.Port(), options);
    ASSERT_TRUE(liaison.WaitFor("  programme JEU : recu"));
    kill(liaison.Pid(), SIGTERM);
    liaison.Finish();
    std::vector<std::string> kept = Listed(dir / "in");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadAll(dir / "in/" + kept[0]), G1mBytes({Memory()[0]}));
  }
  if (OnWindows()) return;  // no file size limit there
  TempDir full;
  WriteAll(full / "sent.g1m", G1mBytes(Memory()));
  mkdir((full / "in").c_str(), 0755);
  Calculator calculator(full, {"--seven-transmit", full / "sent.g1m"});
  RunOptions options;
  options.args = {"recevoir", "in"};
  options.fileSizeLimit = static_cast<long>(G1mBytes({Memory()[0]}).size());
  Exit exit = RunLiaison(full.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  programme JEU : recu\n  programme BIG : pas enregistre : "))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "1 fichier(s) non recu(s).\n1 fichier(s) enregistre(s) dans in/"))
      << exit.out;
  EXPECT_TRUE(Has(calculator.Report(), "refused=BIG\n")) << calculator.Report();
  std::vector<std::string> kept = Listed(full / "in");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(ReadAll(full / "in/" + kept[0]), G1mBytes({Memory()[0]}));
}

// Two files of one name: each kept, the second in an archive of its own.
TEST(Seven, RecevoirKeepsOneNameTwice) {
  TempDir dir;
  std::vector<G1mEntry> sent = {Memory()[0], G1mProgram("JEU", "autre")};
  WriteAll(dir / "sent.g1m", G1mBytes(sent));
  mkdir((dir / "in").c_str(), 0755);
  Outcome run = Against(dir, {"--seven-transmit", dir / "sent.g1m"}, {"recevoir", "in"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  std::vector<std::string> kept = Listed(dir / "in");
  ASSERT_EQ(kept.size(), 2u);
  std::sort(kept.begin(), kept.end(), [](const std::string& a, const std::string& b) {
    return a.size() < b.size();  // X.g1m, then X-2.g1m
  });
  EXPECT_TRUE(Has(run.exit.out, "  programme JEU : recu\n  programme JEU : recu, dans in/" +
                                    kept[1] + " (ce nom est deja recu)\n"))
      << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "in/" + kept[0]), G1mBytes({sent[0]}));
  EXPECT_EQ(ReadAll(dir / "in/" + kept[1]), G1mBytes({sent[1]}));
}

// A storage backup keeps the calculator's folders as folders, and goes back
// into them: D/X.TXT and X.TXT stay two files of one name.
TEST(Seven, StorageFoldersRoundTrip) {
  TempDir dir;
  mkdir((dir / "racine").c_str(), 0755);
  mkdir((dir / "dans").c_str(), 0755);
  WriteAll(dir / "racine/X.TXT", "a la racine");
  WriteAll(dir / "dans/X.TXT", "dans D");
  mkdir((dir / "out").c_str(), 0755);
  Outcome run = Against(
      dir, {"--seven", "--storage", dir / "racine/X.TXT", "--storage-in", "D", dir / "dans/X.TXT"},
      {"sauvegarder", "out", "--stockage"});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  std::string inside;
  for (const std::string& e : Listed(dir / "out"))
    if (e.find(".g1m") == std::string::npos) inside = dir / "out/" + e;
  ASSERT_FALSE(inside.empty());
  EXPECT_EQ(ReadAll(inside + "/X.TXT"), "a la racine");
  EXPECT_EQ(ReadAll(inside + "/D/X.TXT"), "dans D");
  EXPECT_EQ(Listed(inside), std::vector<std::string>({"D", "X.TXT"}));

  TempDir back;
  run = Against(back, {"--seven", "--keep", back.Path()},
                {"envoyer", "--stockage", "--vitesse", "9600", inside});
  EXPECT_EQ(run.exit.status, 0) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out,
                  "  fichier D/X.TXT (6 octets) : envoye\n"
                  "  fichier X.TXT (11 octets) : envoye\n"))
      << run.exit.out;
  EXPECT_EQ(ReadAll(back / "storage-D-X.TXT"), "dans D");
  EXPECT_EQ(ReadAll(back / "storage-X.TXT"), "a la racine");
}

// A storage file is its folder and its name; a file the calculator sends
// for another is not saved under the name asked.
TEST(Seven, StorageFilesByFolderAndName) {
  TempDir dir;
  WriteAll(dir / "ESSAI.BIN", "racine");
  std::vector<std::string> sim = {"--seven", "--storage", dir / "ESSAI.BIN"};
  Outcome run = Against(dir, sim, {"recuperer", "--stockage", "PROJETS/ESSAI.BIN"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_EQ(run.exit.out, "  PROJETS/ESSAI.BIN : pas sur la calculatrice\n");
  run = Against(dir, sim, {"supprimer", "--stockage", "PROJETS/ESSAI.BIN"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_FALSE(Has(run.report, "deleted=")) << run.report;
  sim.push_back("--misname");
  run = Against(dir, sim, {"recuperer", "--stockage", "ESSAI.BIN"});
  EXPECT_EQ(run.exit.status, 1) << run.exit.out;
  EXPECT_EQ(run.exit.out,
            "  ESSAI.BIN : la calculatrice envoie AUTRE/ESSAI.BIN a la place : pas enregistre\n");
  EXPECT_EQ(Listed(dir.Path()), std::vector<std::string>({"ESSAI.BIN", "report.txt", "sim.log"}));
}

// The simulated calculator, driven here packet by packet over its line, honours
// what a calculator honours: the device of a storage command, copy and
// reset, and a session that outlives the PC closing and opening its port.
TEST(Simulator, HonoursWhatACalculatorHonours) {
  if (OnWindows()) GTEST_SKIP() << "driven in this process";
  TempDir dir;
  WriteAll(dir / "ESSAI.BIN", "octets");
  Calculator calculator(dir, {"--seven", "--storage", dir / "ESSAI.BIN"});
  setenv("LIAISON_PORT", calculator.Port().c_str(), 1);
  ASSERT_TRUE(OpenCOM(1));
  SevenEvents events;
  auto list = [&](SevenLink& link, const std::string& device) {
    std::vector<Announced> files;
    Step step =
        link.Request(seven::kRequestStorageList, seven::StorageFields("", "", 0, device), &files);
    std::string names;
    for (const Announced& f : files) names += f.fields.d[0] + "/" + f.fields.d[1] + " ";
    return step == Step::Done ? names : "refused";
  };
  {
    SevenLink link(events);
    ASSERT_EQ(link.Open(), Step::Done);
    seven::Fields copy = seven::StorageFields("", "ESSAI.BIN");
    copy.d[2] = "SAUVE";
    copy.d[3] = "COPIE.BIN";
    EXPECT_EQ(link.Simple(0x48, copy), Step::Done);
    EXPECT_EQ(list(link, "fls0"), "/ESSAI.BIN SAUVE/COPIE.BIN ");
    EXPECT_EQ(list(link, "crd0"), "refused");                                // no SD card
    EXPECT_EQ(link.Simple(0x4A, seven::StorageFields("", "")), Step::Done);  // erased
    EXPECT_EQ(list(link, "fls0"), "");
  }
  CloseCOM();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the calculator sees it closed
  ASSERT_TRUE(OpenCOM(1));
  {
    SevenLink link(events);
    EXPECT_EQ(link.Open(), Step::Done);  // the same session, the port opened again
    EXPECT_EQ(link.Close(), Step::Done);
  }
  CloseCOM();
  unsetenv("LIAISON_PORT");
  calculator.Finish();
  std::string report = calculator.Report();
  EXPECT_TRUE(Has(report, "copied=/ESSAI.BIN to SAUVE/COPIE.BIN\n")) << report;
  EXPECT_TRUE(Has(report, "command=4D\nno_device=crd0\n")) << report;
  EXPECT_TRUE(Has(report, "storage_reset\n")) << report;
  EXPECT_TRUE(Has(report, "pc_closed\npc_reopened\n")) << report;
}

// A folder nothing can be written in: said before the calculator is answered.
TEST(Seven, RecevoirIntoAFolderThatTakesNothing) {
  if (OnWindows()) GTEST_SKIP() << "/proc";
  TempDir dir;
  WriteAll(dir / "sent.g1m", G1mBytes(Memory()));
  Calculator calculator(dir, {"--seven-transmit", dir / "sent.g1m"});
  RunOptions options;
  options.args = {"recevoir", "/proc"};  // a folder even root cannot write in
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Rien ne peut etre enregistre : impossible de creer /proc/"))
      << exit.out;
  EXPECT_TRUE(calculator.FromPc().empty());
}

struct Fault {
  const char* what;
  std::vector<std::string> sim;
  std::vector<std::string> args;
  int status;
  const char* shown;
  bool delivered;  // the file arrived whole
};

void PrintTo(const Fault& f, std::ostream* os) {
  *os << f.what;
}

class SevenFaults : public ::testing::TestWithParam<Fault> {};

TEST_P(SevenFaults, FilesWholeOrNotAtAll) {
  const Fault& f = GetParam();
  TempDir dir;
  WriteAll(dir / "big.g1m", G1mBytes({Memory()[1]}));
  std::vector<std::string> sim = {"--seven", "--keep", dir.Path()};
  sim.insert(sim.end(), f.sim.begin(), f.sim.end());
  std::vector<std::string> args = f.args;
  args.push_back("big.g1m");
  Outcome run = Against(dir, sim, args);
  EXPECT_EQ(run.exit.status, f.status) << run.exit.out;
  EXPECT_TRUE(Has(run.exit.out, f.shown)) << run.exit.out;
  EXPECT_EQ(ReadAll(dir / "main-BIG"), f.delivered ? Memory()[1].content : "") << run.report;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SevenFaults,
    ::testing::Values(
        // Its ACK of the command comes damaged: asked again (NAK 01).
        Fault{"damaged_answer", {"--corrupt-once", "2"}, {"envoyer"}, 0, "envoye", true},
        // It finds the PC's second data packet damaged: sent again.
        Fault{"resend_asked", {"--ask-resend", "5"}, {"envoyer"}, 0, "envoye", true},
        // Its answer to the first data packet never comes: the regular check.
        Fault{"lost_answer", {"--silent-once", "4"}, {"envoyer"}, 0, "envoye", true},
        Fault{"memory_full",
              {"--full"},
              {"envoyer"},
              1,
              "programme BIG : refuse par la calculatrice (NAK 05 : memoire pleine)\n"
              "0 fichier(s) envoye(s) sur 1.\n",
              false},
        Fault{"line_lost", {"--vanish-after", "4"}, {"envoyer"}, 255, "liaison perdue", false},
        Fault{"no_answer",
              {"--silent"},
              {"envoyer", "--protocole", "7"},
              1,
              "Pas de reponse en Protocole 7.00",
              false}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.what); });

TEST(Seven, WrongCommandLines) {
  TempDir dir;
  const std::vector<std::vector<std::string>> wrongs = {
      {"info", "x"},
      {"liste", "--tout"},
      {"liste", "--memoire", "--stockage"},
      {"recuperer"},
      {"recuperer", "--vitesse", "99", "A"},
      {"sauvegarder", "a", "b"},
      {"sauvegarder", "no-such-dir"},
      {"supprimer"},
      {"optimiser", "x"},
      {"envoyer", "--protocole", "8", "x.g1m"},
      {"envoyer", "--vitesse", "x", "x.g1m"},
      {"envoyer", "--stockage", "--protocole", "cas50", "x"}};
  for (const std::vector<std::string>& args : wrongs) {
    RunOptions options;
    options.args = args;
    Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);
    EXPECT_EQ(exit.status, 2) << args[0] << " " << args.back();
  }
}

// An option's value that cannot be: what is wrong with it, then the usage;
// status 2, and no port opened.
TEST(Options, ValuesSayWhatIsWrong) {
  TempDir dir;
  const char kSpeeds[] =
      "une calculatrice ne prend que 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 ou "
      "115200 bit/s\n";
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"envoyer", "--vitesse", "1234", "x.g1m"}, std::string("--vitesse 1234 : ") + kSpeeds},
      {{"recuperer", "--vitesse", "-9600", "A"}, std::string("--vitesse -9600 : ") + kSpeeds},
      {{"sauvegarder", "--vitesse", "0"}, std::string("--vitesse 0 : ") + kSpeeds},
      {{"envoyer", "x.g1m", "--vitesse"}, "--vitesse attend une valeur\n"},
      {{"ecran", "--nombre", "abc"},
       "--nombre abc : un nombre entier de 1 a 1000000 est attendu\n"},
      {{"ecran", "--echelle", "0"}, "--echelle 0 : un nombre entier de 1 a 64 est attendu\n"},
      {{"ecran", "--echelle", "+4"}, "--echelle +4 : un nombre entier de 1 a 64 est attendu\n"},
      {{"recevoir", "--attente", "-1"},
       "--attente -1 : un nombre entier de 0 a 1000000 est attendu\n"},
      {{"envoyer", "--protocole", "8", "x.g1m"}, "--protocole 8 : 7 ou cas50 est attendu\n"},
      {{"envoyer", "x.g1m", "--nom"}, "--nom attend une valeur\n"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.args = c.args;
    options.stderrPath = dir / "err.txt";
    Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);
    EXPECT_EQ(exit.status, 2) << c.said;
    if (OnWindows()) continue;  // wine's standard error does not reach the file here
    std::string err = ReadAll(dir / "err.txt");
    EXPECT_EQ(err.substr(0, err.find("usage : ")), "liaison : " + c.said);
    EXPECT_TRUE(Has(err, "usage : liaison " + c.args[0])) << err;
  }
}

}  // namespace
