// Main-memory archives (.g1m) as a user meets them: read as text, converted
// to the Graph 35/65's files and back exactly, sent to a Graph 35/65.
#include <gtest/gtest.h>

#include "support/harness.h"

namespace {

std::string Str(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// Three programs both generations share (one with a password): If A=1,
// Then "OK", IfEnd; Min(List 1)→B; a For loop.
const std::string kIf(
    "\xF7\x00"
    "A=1\r\xF7\x01\"OK\"\r\xF7\x03",
    15);
const std::string kMin(
    "\x7F\x99\x7F\x51"
    "1)\x0E"
    "B",
    8);  // fx-9860G Min(
const std::string kLegacyMin(
    "\x7F\x2D\x7F\x51"
    "1)\x0E"
    "B",
    8);
const std::string kFor(
    "\xF7\x04"
    "1\x0E"
    "I\xF7\x05"
    "3\r\xF7\x07",
    11);

std::vector<G1mEntry> Shared() {
  return {G1mProgram("IF", kIf), G1mProgram("MINI", kMin, "MDP"), G1mProgram("BOUCLE", kFor)};
}

std::vector<Bytes> SharedItems() {
  return {ProgramItemBytes("IF", kIf), ProgramItemBytes("MINI", kLegacyMin, "MDP"),
          ProgramItemBytes("BOUCLE", kFor)};
}

TEST(G1mFiles, ConvertedBothWaysExactly) {
  TempDir dir;
  const std::string g1m = G1mBytes(Shared());
  WriteAll(dir / "trois.g1m", g1m);
  for (const char* other : {"trois.cat", "trois.cas"}) {
    EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "trois.g1m", other}).status, 0) << other;
    EXPECT_EQ(RunTexte(dir.Path(), {"convertir", other, "again.g1m"}).status, 0) << other;
    EXPECT_EQ(ReadAll(dir / "again.g1m"), g1m) << other;
  }
  EXPECT_EQ(ReadAll(dir / "trois.cas"), Str(Join(SharedItems())));
  // One program to a program file (named by the file) and back.
  WriteAll(dir / "IF.g1m", G1mBytes({Shared()[0]}));
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "IF.g1m", "IF.txt"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "IF.txt"), ":" + kIf);
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "IF.txt", "back.g1m"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "back.g1m"), ReadAll(dir / "IF.g1m"));
}

// A code the Graph 35/65 lacks: refused with its line and column, and
// nothing written or sent.
TEST(G1mFiles, CodesTheGraph35LacksAreRefused) {
  TempDir dir;
  // Line 2: "Ref " (7F 55, row echelon form) after "A+"; line 3 an E5 code.
  WriteAll(dir / "new.g1m",
           G1mBytes({G1mProgram("OK", "1"), G1mProgram("NEW", std::string("A\rA\x89\x7F\x55"
                                                                          "B\r\xE5\x30",
                                                                          9))}));
  WriteAll(dir / "out.cat", "old");
  RunOptions options;
  options.stderrPath = dir / "err.txt";
  Exit exit = RunTexte(dir.Path(), {"convertir", "new.g1m", "out.cat"}, options);
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(ReadAll(dir / "out.cat"), "old");
  std::string err = ReadAll(dir / "err.txt");
  if (!OnWindows()) {  // wine's standard error does not reach the file here
    EXPECT_TRUE(Has(err,
                    "programme NEW : 2 code(s) inconnu(s) de la Graph 35/65\n"
                    "  ligne 2, colonne 3 : Ref \n  ligne 3, colonne 1 : "))
        << err;
  }

  // The calculator gets nothing of it: the next transmission is the first
  // it sees.
  WriteAll(dir / "ok.g1m", G1mBytes({G1mProgram("OK", "1")}));
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions send;
  send.args = {"envoyer", "--protocole", "cas50", "ok.g1m", "new.g1m"};
  exit = RunLiaison(dir.Path(), calculator.Port(), "", send);
  EXPECT_EQ(exit.status, 1);
  EXPECT_TRUE(Has(exit.out, "new.g1m : programme NEW : 2 code(s) inconnu(s)")) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Rien n'a ete envoye.\n")) << exit.out;
  send.args = {"envoyer", "ok.g1m"};
  EXPECT_EQ(RunLiaison(dir.Path(), calculator.Port(), "", send).status, 0);
  calculator.Finish();
  EXPECT_EQ(calculator.FromPc(),
            Join({Hex(kGuessHex), ProgramItemBytes("OK", "1"), Hex(kEndHeaderHex)}));
  EXPECT_EQ(ReadAll(dir / "taken.cas"), Str(ProgramItemBytes("OK", "1")));
}

// Each program goes to the Graph 35/65 as its program item, in its table.
TEST(G1mFiles, SentToAGraph35) {
  TempDir dir;
  WriteAll(dir / "trois.g1m", G1mBytes(Shared()));
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions options;
  options.args = {"envoyer", "trois.g1m"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "3 element(s) envoye(s) sur 3.\n")) << exit.out;
  EXPECT_EQ(ReadAll(dir / "taken.cas"), Str(Join(SharedItems())));
}

TEST(G1mFiles, ReadAndWrittenAsText) {
  TempDir dir;
  std::vector<G1mEntry> files = Shared();
  files.push_back({"LIST", "main", "LISTE1", 5, "abc"});
  WriteAll(dir / "a.g1m", G1mBytes(files));
  Exit exit = RunTexte(dir.Path(), {"lire", "a.g1m"});
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.out,
            "--- IF ---\nIf A=1\nThen \"OK\"\nIfEnd\n"
            "--- MINI (mot de passe MDP) ---\nMin(List 1)\xE2\x86\x92"
            "B\n"
            "--- BOUCLE ---\nFor 1\xE2\x86\x92I To 3\nNext\n"
            "--- fichier LISTE1 (type 05, 3 octets) ---\n");
  WriteAll(dir / "prog.txt", "Min(List 1)\\->B\nViewWindow 1,2,3,4\n");
  EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "prog.txt", "PROG.g1m"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "PROG.g1m"), G1mBytes({G1mProgram("PROG", std::string("\x7F\x99\x7F\x51"
                                                                                "1)\x0E"
                                                                                "B\r\xEB"
                                                                                "1,2,3,4",
                                                                                17))}));
  // Another container is named for what it is.
  std::string addin = G1mBytes(Shared());
  addin[8] = static_cast<char>(~0xF3);
  WriteAll(dir / "jeu.g1m", addin);
  RunOptions options;
  options.stderrPath = dir / "err.txt";
  EXPECT_EQ(RunTexte(dir.Path(), {"lire", "jeu.g1m"}, options).status, 1);
  if (!OnWindows()) {
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), "une application (.g1a)"));
  }
}

// An add-in or an e-activity is no program: named, nothing shown, status 1.
TEST(G1mFiles, OtherFilesOfTheFamilyAreNoProgram) {
  TempDir dir;
  struct Case {
    const char* file;
    unsigned char type;
    const char* said;
  };
  const Case cases[] = {{"JEU.g1a", 0xF3, "une application (.g1a), pas un programme"},
                        {"COURS.g1e", 0x49, "une e-activite (.g1e), pas un programme"},
                        {"CARTE.g3p", 0x7D, "une image de Graph 90+E (.g3p), pas un programme"},
                        {"X.txt", 0x7E, "un fichier de type 7E, pas un programme"}};
  for (const Case& c : cases) {
    std::string bytes = G1mBytes(Shared());
    bytes[8] = static_cast<char>(~c.type);
    WriteAll(dir / c.file, bytes);
    RunOptions options;
    options.stderrPath = dir / "err.txt";
    Exit exit = RunTexte(dir.Path(), {"lire", c.file}, options);
    EXPECT_EQ(exit.status, 1) << c.file;
    EXPECT_EQ(exit.out, "") << c.file;
    if (!OnWindows()) {
      EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), c.said)) << c.file;
    }
  }
}

// A program with no name (empty, or all FF) and a file of no byte: refused
// before anything is sent or written, by both protocols and convertir.
TEST(G1mFiles, EmptyNamesAndFilesAreRefused) {
  TempDir dir;
  WriteAll(dir / "vide.g1m", G1mBytes({G1mProgram("", "1")}));
  WriteAll(dir / "ff.g1m", G1mBytes({G1mProgram("\xFF\xFF\xFF", "1")}));
  WriteAll(dir / "zero.g1m", G1mBytes({{"PROGRAM", "system", "Z", 1, ""}}));
  Bytes unnamed = ProgramItemBytes("", "1");
  WriteAll(dir / "vide.cas", Str(unnamed));
  WriteAll(dir / "vide.cat",
           "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\n"
           "Data Type:PG\r\nCapacity:4\r\nFile Name:\r\nGroup Name:\r\n"
           "Password:\r\nOption1:NL\r\nOption2:NL\r\nOption3:NL\r\n"
           "Option4:NL\r\n%Data Record\r\n1\r\n%End\r\n");
  struct Case {
    std::vector<std::string> args;
    const char* said;
  };
  const Case cases[] = {
      {{"envoyer", "--protocole", "7", "vide.g1m"}, "fichier 1 (groupe PROGRAM) : nom vide"},
      {{"envoyer", "--protocole", "cas50", "ff.g1m"}, "fichier 1 (groupe PROGRAM) : nom vide"},
      {{"envoyer", "vide.cas"}, "vide.cas : programme 1 de l'archive : nom vide"},
      {{"envoyer", "vide.cat"}, "vide.cat, ligne 1 : nom vide"},
      {{"envoyer", "--protocole", "7", "zero.g1m"},
       "zero.g1m : programme Z est vide : il n'est pas envoye"},
  };
  for (const Case& c : cases) {
    RunOptions options;
    options.args = c.args;
    Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);  // no port is opened
    EXPECT_EQ(exit.status, 1) << c.said;
    EXPECT_TRUE(Has(exit.out, c.said)) << exit.out;
    EXPECT_TRUE(Has(exit.out, "Rien n'a ete envoye.\n")) << exit.out;
  }
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "vide.g1m", "out.cat"}).status, 1);
  EXPECT_EQ(RunTexte(dir.Path(), {"lire", "vide.cat"}).status, 1);
  EXPECT_EQ(ReadAll(dir / "out.cat"), "");
}

// The colour models' archives (.g3m): written, read and converted as .g1m
// are; a code the fx-9860G table lacks (the colour models have their own)
// is kept as \xHH, never dropped.
TEST(G1mFiles, ColourArchives) {
  TempDir dir;
  WriteAll(dir / "p.txt", "If A=1\nThen \"OK\"\nIfEnd\nA\\xF9\\xFFB\n");
  ASSERT_EQ(RunTexte(dir.Path(), {"ecrire", "p.txt", "P.g3m"}).status, 0);
  std::string g3m = ReadAll(dir / "P.g3m");
  std::string program = kIf +
                        "\rA\xF9\xFF"
                        "B";
  std::string g1m = G1mBytes({G1mProgram("P", program)});
  ASSERT_EQ(g3m.size(), g1m.size());
  EXPECT_EQ(static_cast<unsigned char>(~g3m[8]), 0x75);
  EXPECT_EQ(g3m.substr(9), g1m.substr(9));
  Exit exit = RunTexte(dir.Path(), {"lire", "P.g3m"});
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.out, "--- P ---\nIf A=1\nThen \"OK\"\nIfEnd\nA\\xF9\\xFFB\n");
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "P.g3m", "P.g1m"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "P.g1m"), g1m);
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "P.g1m", "Q.g3m"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "Q.g3m"), g3m);
  // The Graph 35/65 has no such code: said, nothing written.
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "P.g3m", "P.cat"}).status, 1);
  EXPECT_EQ(ReadAll(dir / "P.cat"), "");
}

// A backup with the settings (.g1r) is read as the archive it is.
TEST(G1mFiles, BackupsReadAsArchives) {
  TempDir dir;
  WriteAll(dir / "SAUVE.G1R", G1mBytes(Shared()));
  Exit exit = RunTexte(dir.Path(), {"lire", "SAUVE.G1R"});
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, "--- IF ---\nIf A=1\n")) << exit.out;
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "SAUVE.G1R", "trois.cas"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "trois.cas"), Str(Join(SharedItems())));
}

// The sample of the demo is what its text says, and reads back as it.
TEST(G1mFiles, SampleIsItsText) {
  TempDir dir;
  const std::string samples = std::string(LIAISON_SOURCE_DIR) + "/samples/";
  EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", samples + "JEU-lisible.txt", "JEU.g1m"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "JEU.g1m"), ReadAll(samples + "JEU.g1m"));
  Exit exit = RunTexte(dir.Path(), {"lire", samples + "JEU.g1m"});
  EXPECT_EQ(exit.out, "--- JEU ---\n" + ReadAll(samples + "JEU-lisible.txt"));
}

}  // namespace
