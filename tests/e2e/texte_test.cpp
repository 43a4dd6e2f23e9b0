// liaison-texte as a user runs it, and a program's whole journey: received
// with menu 1, read as text, written back, sent with menu 2.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include "support/harness.h"

namespace {

const std::string kSamples = std::string(LIAISON_SOURCE_DIR) + "/samples/";

std::string HexOf(const std::string& bytes) {
  std::string hex;
  char byte[4];
  for (unsigned char b : bytes) {
    std::snprintf(byte, sizeof byte, "%02X", b);
    hex += byte;
  }
  return hex;
}

int Entries(const std::string& dir) {
  int count = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) count += e->d_name[0] != '.';
    closedir(d);
  }
  return count;
}

// The demo program is what its readable twin says, byte for byte.
TEST(Texte, SamplesMatchTheirText) {
  for (std::string sample : {"DEMO", "exemple", "PGCD"}) {
    TempDir dir;
    Exit exit = RunTexte(dir.Path(), {"ecrire", kSamples + sample + "-lisible.txt", "out.txt"});
    EXPECT_EQ(exit.status, 0);
    EXPECT_EQ(ReadAll(dir / "out.txt"), ReadAll(kSamples + sample + ".txt")) << sample;
  }
}

TEST(Texte, ProgramGoesRoundTheMenus) {
  TempDir dir;
  const std::string program = ReadAll(kSamples + "DEMO.txt");
  {
    Calculator calculator(dir, {"--send", "DEMO", "--content", kSamples + "DEMO.txt"});
    EXPECT_EQ(RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n").status, 0);
    calculator.Finish();
  }
  Exit read = RunTexte(dir.Path(), {"lire", "DEMO____.txt"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, ReadAll(kSamples + "DEMO-lisible.txt"));
  WriteAll(dir / "programme.txt", read.out);
  EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "programme.txt", "envoi.txt"}).status, 0);

  Calculator calculator(dir, {"--receive"});
  Exit sent = RunLiaison(dir.Path(), calculator.Port(), "2 envoi.txt DEMO\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(sent.status, 0);
  EXPECT_TRUE(Has(sent.out, "Programme transfere!"));
  EXPECT_EQ(calculator.Field("content"), HexOf(program));
  EXPECT_EQ(calculator.Field("data_checksum"), "ok");
}

// A stored 0x0A is CR LF on Windows, and 0x1A (in ClrList) ends a text-mode
// read there: both come back as the calculator's bytes.
TEST(Texte, StoredFileReadsBackAsTheCalculatorsBytes) {
  TempDir dir;
  WriteAll(dir / "program", std::string(":A\nB\xF7\x1A", 6));
  Calculator calculator(dir, {"--send", "P", "--content", dir / "program"});
  EXPECT_EQ(RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n").status, 0);
  calculator.Finish();
  Exit read = RunTexte(dir.Path(), {"lire", "P_______.txt"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, "A\\PetaBClrList \n");
}

// A program's password is in its heading, from the header's password field,
// whatever the container.
TEST(Texte, HeadingsShowPasswords) {
  TempDir dir;
  Bytes secret = ProgramItemBytes("SECRET", "A", "MDP");
  WriteAll(dir / "a.cas", std::string(secret.begin(), secret.end()));
  WriteAll(dir / "a.cat",
           "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\nData Type:PG\r\n"
           "Capacity:4\r\nFile Name:SECRET\r\nGroup Name:\r\nPassword:MDP\r\nOption1:NL\r\n"
           "Option2:\r\nOption3:\r\nOption4:\r\n%Data Record\r\nA\r\n%End\r\n");
  for (const char* file : {"a.cas", "a.cat"}) {
    Exit exit = RunTexte(dir.Path(), {"lire", file});
    EXPECT_EQ(exit.status, 0) << file;
    EXPECT_EQ(exit.out, "--- SECRET (mot de passe MDP) ---\nA\n") << file;
  }
}

TEST(Texte, CommandLine) {
  TempDir dir;
  WriteAll(dir / "plain", "AB");
  WriteAll(dir / "ok.txt", "If A\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {{}, 2, ""},
      {{"lire"}, 2, ""},
      {{"ecrire", "--ascii", "ok.txt", "x"}, 2, ""},
      {{"copier", "a", "b"}, 2, ""},
      {{"lire", "missing"}, 1, ""},
      {{"lire", "plain"}, 0, "AB\n"},  // no 0x3A: decoded whole, with a warning
      {{"lire", "--ascii", "plain"}, 0, "AB\n"},
      {{"ecrire", "missing", "out.txt"}, 1, ""},
      {{"ecrire", "ok.txt", "no-such-folder/out.txt"}, 1, ""},
  };
  for (const Case& c : cases) {
    Exit exit = RunTexte(dir.Path(), c.args);
    EXPECT_EQ(exit.status, c.status) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(exit.out, c.out);
  }
  EXPECT_TRUE(Has(RunTexte(dir.Path(), {"--help"}).out, "  lire FICHIER"));
  EXPECT_EQ(Entries(dir.Path()), 2);  // nothing written, nothing left behind
}

// What menu 2 cannot carry is refused, and no file is left: neither the
// file asked for nor a temporary one.
TEST(Texte, RefusalWritesNothing) {
  TempDir dir;
  WriteAll(dir / "do.txt", "\"A\"\nDo\nLpWhile 1\n");
  WriteAll(dir / "old.txt", ":old");
  Exit exit = RunTexte(dir.Path(), {"ecrire", "do.txt", "old.txt"});
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(ReadAll(dir / "old.txt"), ":old");
  EXPECT_EQ(Entries(dir.Path()), 2);
}

}  // namespace

namespace {

// convertir loses nothing without saying it: a password a program file cannot
// hold is said; an archive with no program leaves the output as it was.
TEST(Texte, ConvertSaysWhatCannotFollow) {
  TempDir dir;
  Bytes secret = ProgramItemBytes("SECRET", "A", "MDP");
  WriteAll(dir / "secret.cas", std::string(secret.begin(), secret.end()));
  Bytes list = ListItemBytes("1", 2);
  WriteAll(dir / "list.cas", std::string(list.begin(), list.end()));
  WriteAll(dir / "out.cat", "kept");
  RunOptions options;
  options.stderrPath = dir / "err.txt";
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "secret.cas", "secret.txt"}, options).status, 0);
  EXPECT_EQ(ReadAll(dir / "secret.txt"), ":A");
  if (!OnWindows()) {
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), "ne garde pas le mot de passe de SECRET"));
  }
  // A name's control bytes reach no terminal.
  WriteAll(dir / "esc.g1m", G1mBytes({G1mProgram("\x1B[2J", "A\x7F\x55")}));
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "esc.g1m", "esc.cat"}, options).status, 1);
  if (!OnWindows()) {
    std::string err = ReadAll(dir / "err.txt");
    EXPECT_TRUE(Has(err, "programme _[2J : 1 code(s) inconnu(s)")) << err;
    EXPECT_EQ(err.find('\x1B'), std::string::npos);
  }
  for (const char* out : {"out.cat", "out.g1m"}) {
    WriteAll(dir / out, "kept");
    EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "list.cas", out}, options).status, 1) << out;
    EXPECT_EQ(ReadAll(dir / out), "kept") << out;
  }
  if (!OnWindows()) {
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), "list.cas ne tient aucun programme"));
  }
}

}  // namespace
