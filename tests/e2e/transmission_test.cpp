// Whole transmissions end to end: liaison recevoir and liaison envoyer
// against the simulated calculator, with the archive each side keeps.
#include <dirent.h>
#include <gtest/gtest.h>

#include <ctime>

#include "support/harness.h"

namespace {

const Bytes kEnd = Hex(kEndHeaderHex);

// Three programs, a list and a matrix, as a calculator sends them.
std::vector<Bytes> FiveItems() {
  return {ProgramItemBytes("ABC", "abc"),
          ProgramItemBytes("DEF", std::string("\xF7\x00"
                                              "A=1\r\xF7\x01"
                                              "B",
                                              9)),
          ProgramItemBytes("GHI", std::string(3000, 'g')), ListItemBytes("1", 3),
          MatrixItemBytes("A", 2, 2)};
}
const int kParts[] = {1, 1, 1, 3, 4};

std::string AsText(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// The archives liaison wrote in `dir` (the test's own input is sent.cas).
std::vector<std::string> Archives(const TempDir& dir) {
  std::vector<std::string> found;
  DIR* d = opendir(dir.Path().c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string name = e->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".cas") == 0 && name != "sent.cas" &&
        name != "taken.cas")
      found.push_back(name);
  }
  if (d) closedir(d);
  return found;
}

const char kItemLines[] =
    "  programme ABC (4 octets) : recu, ABC.cat\n"
    "  programme DEF (10 octets) : recu, DEF.cat\n"
    "  programme GHI (3001 octets) : recu, GHI.cat\n"
    "  liste 1 (42 octets) : recu\n"
    "  matrice A (56 octets) : recu\n";

class Received : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(Received, ArchiveHoldsEveryItemAsItCrossed) {
  TempDir dir;
  WriteAll(dir / "sent.cas", AsText(Join(FiveItems())));
  std::vector<std::string> sim = {"--transmit", dir / "sent.cas"};
  sim.insert(sim.end(), GetParam().begin(), GetParam().end());
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = {"recevoir"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  std::vector<std::string> archives = Archives(dir);
  ASSERT_EQ(archives.size(), 1u) << exit.out;
  EXPECT_EQ(ReadAll(dir / archives[0]), AsText(Join(FiveItems())));
  EXPECT_EQ(exit.out, "En attente de la calculatrice sur COM1...\nTransmission commencee.\n" +
                          std::string(kItemLines) + "Fin de la transmission.\n" +
                          "5 element(s) enregistre(s) dans " + archives[0] + "\n");
  bool between = GetParam().size() == 1 && GetParam()[0] == "--request-between";
  Bytes answers = Hex("13");
  for (int i = 0; i < 5; ++i) {
    if (between && i > 0) answers.push_back(0x13);
    answers.insert(answers.end(), static_cast<size_t>(1 + kParts[i]), 0x06);
  }
  answers.push_back(0x06);  // the end header's
  EXPECT_EQ(calculator.FromPc(), answers);
}

INSTANTIATE_TEST_SUITE_P(Transmissions, Received,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--noise", "40"},
                                           std::vector<std::string>{"--request-between"}));

struct Fault {
  const char* what;
  std::vector<std::string> sim;
  std::vector<std::string> args;
  int status;
  int itemsKept;  // -1: no archive at all
  std::string fromPc;
  const char* shown;
  long fileSizeLimit = -1;
};

void PrintTo(const Fault& f, std::ostream* os) {
  *os << f.what;
}

class ReceivedBadly : public ::testing::TestWithParam<Fault> {};

TEST_P(ReceivedBadly, KeepsWholeItemsOnly) {
  const Fault& f = GetParam();
  if (OnWindows() && f.fileSizeLimit >= 0) GTEST_SKIP() << "a file size limit is POSIX's";
  TempDir dir;
  WriteAll(dir / "sent.cas", AsText(Join(FiveItems())));
  std::vector<std::string> sim = f.sim;
  for (std::string& a : sim)
    if (a == "SENT") a = dir / "sent.cas";
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = {"recevoir"};
  options.args.insert(options.args.end(), f.args.begin(), f.args.end());
  options.fileSizeLimit = f.fileSizeLimit;
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, f.status) << exit.out;
  EXPECT_TRUE(Has(exit.out, f.shown)) << exit.out;
  std::vector<std::string> archives = Archives(dir);
  if (f.itemsKept < 0) {
    EXPECT_TRUE(archives.empty());
  } else {
    ASSERT_EQ(archives.size(), 1u) << exit.out;
    std::vector<Bytes> items = FiveItems();
    items.resize(static_cast<size_t>(f.itemsKept));
    EXPECT_EQ(ReadAll(dir / archives[0]), AsText(Join(items)));
  }
  EXPECT_EQ(calculator.FromPc(), Hex(f.fromPc));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReceivedBadly,
    ::testing::Values(
        Fault{"bad_part_checksum",
              {"--transmit", "SENT", "--bad-part", "2"},
              {},
              1,
              1,
              "13 06 06 06 2B",
              "  programme DEF (10 octets) : refuse : checksum des donnees"},
        Fault{"line_lost_mid_part",
              {"--transmit", "SENT", "--vanish-part", "3"},
              {},
              255,
              2,
              "13 06 06 06 06 06",
              "  programme GHI (3001 octets) : incomplet : liaison perdue\n"
              "Liaison avec la calculatrice perdue"},
        Fault{"silence_mid_part",
              {"--transmit", "SENT", "--silent-part", "1"},
              {},
              1,
              -1,
              "13 06",
              "  programme ABC (4 octets) : incomplet : 5 s de silence\n"
              "Transmission interrompue.\nAucun element enregistre.\n"},
        Fault{"no_end_header",
              {"--transmit", "SENT", "--no-end"},
              {},
              0,
              5,
              "13 06 06 06 06 06 06 06 06 06 06 06 06 06 06 06",
              "Fin de la transmission : 5 s sans rien apres le dernier element.\n"},
        Fault{"disk_full",
              {"--transmit", "SENT"},
              {},
              1,
              1,
              "13 06 06 06 2B",
              "  programme DEF (10 octets) : refuse (2B envoye) : pas enregistre : erreur "
              "d'ecriture dans ",
              100},
        Fault{"no_calculator",
              {"--take"},
              {"--attente", "1"},
              1,
              -1,
              "",
              "En attente de la calculatrice sur COM1 (1 s au plus)...\n"
              "La calculatrice ne s'est pas manifestee.\nAucun element enregistre.\n"},
        // 0 is no wait at all, not "no limit": it ends after the line's own 5 s.
        Fault{"no_calculator_no_wait",
              {"--take"},
              {"--attente", "0"},
              1,
              -1,
              "",
              "(0 s au plus)...\nLa calculatrice ne s'est pas manifestee.\n"},
        // The first item cannot be stored at all: no archive, not even an
        // empty one.
        Fault{"disk_full_at_once",
              {"--transmit", "SENT"},
              {},
              1,
              -1,
              "13 06 2B",
              "  programme ABC (4 octets) : refuse (2B envoye) : pas enregistre : erreur "
              "d'ecriture dans ",
              10}));

// The calculator holds DEF already: replaced, kept, or (no terminal to ask)
// kept; it receives every other item as it was sent.
TEST(Sent, ToACalculatorThatHoldsOneName) {
  struct Case {
    std::vector<std::string> choice;
    bool replaced;
    int status;
    const char* shown;
  };
  const Case cases[] = {
      {{"--remplacer"}, true, 0, "  programme DEF (10 octets) : envoye, remplace celui"},
      {{"--garder"}, false, 1, "  programme DEF (10 octets) : deja sur la calculatrice : garde"},
      {{}, false, 1, "  programme DEF (10 octets) : deja sur la calculatrice : garde"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteAll(dir / "sent.cas", AsText(Join(FiveItems())));
    Calculator calculator(dir, {"--take", "--holds", "DEF,Z", "--archive", dir / "taken.cas"});
    RunOptions options;
    options.args = {"envoyer"};
    options.args.insert(options.args.end(), c.choice.begin(), c.choice.end());
    options.args.push_back("sent.cas");
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
    calculator.Finish();
    EXPECT_EQ(exit.status, c.status) << exit.out;
    EXPECT_TRUE(Has(exit.out, c.shown)) << exit.out;
    EXPECT_TRUE(Has(exit.out, "Fin de la transmission.\n")) << exit.out;
    std::vector<Bytes> items = FiveItems();
    if (!c.replaced) items.erase(items.begin() + 1);
    EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(Join(items)));
    Bytes def = FiveItems()[1];
    Bytes sent =
        Join({Hex(kGuessHex), FiveItems()[0], Slice(def, 0, 50), Hex(c.replaced ? "06" : "15"),
              c.replaced ? Slice(def, 50, def.size()) : Bytes{}, FiveItems()[2], FiveItems()[3],
              FiveItems()[4], kEnd});
    EXPECT_EQ(calculator.FromPc(), sent);
  }
}

// A calculator that takes no lists or matrices answers 0x24: said for each,
// the rest goes, the status says not everything went through.
TEST(Sent, RefusedKindsAreSaidAndPassedOver) {
  TempDir dir;
  WriteAll(dir / "sent.cas", AsText(Join(FiveItems())));
  Calculator calculator(dir, {"--take", "--refuse", "VAL", "--archive", dir / "taken.cas"});
  RunOptions options;
  options.args = {"envoyer", "sent.cas"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "  liste 1 (42 octets) : refuse par la calculatrice (24 : type "
                  "inconnu ou pas de place)\n  matrice A (56 octets) : refuse"))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "3 element(s) envoye(s) sur 5.\n")) << exit.out;
  std::vector<Bytes> programs = FiveItems();
  programs.resize(3);
  EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(Join(programs)));
}

// A backup is alone in its transmission: no end header follows it.
TEST(Sent, BackupGoesAlone) {
  TempDir dir;
  Bytes backup = BackupItemBytes(600);
  WriteAll(dir / "sent.cas", AsText(backup));
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions options;
  options.args = {"envoyer", "sent.cas"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(calculator.FromPc(), Join({Hex(kGuessHex), backup}));
  EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(backup));
}

// A program file (menu 1's, or liaison-texte ecrire's) goes under its file's
// name or the one --nom gives; a file of neither kind stops everything
// before a byte is sent.
TEST(Sent, ProgramFilesAndRefusals) {
  TempDir dir;
  WriteAll(dir / "ABC_____.txt", ":abc");
  WriteAll(dir / "prog.bin", ":xyz");
  WriteAll(dir / "notes.txt", "hello");
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions refused;
  refused.args = {"envoyer", "ABC_____.txt", "notes.txt"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", refused);
  EXPECT_EQ(exit.status, 1);
  EXPECT_TRUE(
      Has(exit.out, "notes.txt : ni une archive .cas, ni un catalogue .cat, ni un programme"))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "Rien n'a ete envoye.\n")) << exit.out;

  RunOptions options;
  options.args = {"envoyer", "ABC_____.txt"};
  exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  EXPECT_EQ(exit.status, 0) << exit.out;
  calculator.Finish();
  EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(ProgramItemBytes("ABC", "abc")));
  EXPECT_EQ(Slice(calculator.FromPc(), 0, 7), Hex(kGuessHex));  // nothing came before

  TempDir other;
  WriteAll(other / "prog.bin", ":xyz");
  Calculator named(other, {"--take", "--archive", other / "taken.cas"});
  options.args = {"envoyer", "--nom", "XYZ", "prog.bin"};
  exit = RunLiaison(other.Path(), named.Port(), "", options);
  named.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(ReadAll(other / "taken.cas"), AsText(ProgramItemBytes("XYZ", "xyz")));
}

// A catalogue as people share them, made by hand: the calculator gets
// exactly the bytes its spellings stand for, under the names it gives.
TEST(Catalogues, HandMadeReachesTheCalculatorExactly) {
  TempDir dir;
  WriteAll(dir / "partage.cat",
           "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\nData Type:PG\r\n"
           "Capacity:12\r\nFile Name:SECRET\r\nGroup Name:\r\nPassword:MDP\r\nOption1:NL\r\n"
           "Option2:\r\nOption3:\r\nOption4:\r\n%Data Record\r\n\"CODE\"?\\->A\r\n%End\r\n"
           "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\nData Type:PG\r\n"
           "Capacity:0\r\nFile Name:JEU\r\nGroup Name:\r\nPassword:\r\nOption1:NL\r\n"
           "Option2:\r\nOption3:\r\nOption4:\r\n%Data Record\r\n\\If A>1\r\n"
           "\\Then \"GAGNE\"\r\n\\IfEnd\r\nA=1\\=>\"UN\"\r\n%End\r\n");
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions options;
  options.args = {"envoyer", "partage.cat"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "partage.cat, ligne 16 : Capacity:0 ne va pas avec le programme (30)"))
      << exit.out;
  // "CODE"?→A ; If A>1 / Then "GAGNE" / IfEnd / A=1⇒"UN", from the token table.
  Bytes expected = Join({ProgramItemBytes("SECRET",
                                          "\"CODE\"?\x0E"
                                          "A",
                                          "MDP"),
                         ProgramItemBytes("JEU", std::string("\xF7\x00"
                                                             "A>1\r\xF7\x01\"GAGNE\"\r\xF7\x03\r"
                                                             "A=1\x13\"UN\"",
                                                             27))});
  EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(expected));
}

// What recevoir leaves (one NOM.cat a program), sent back, gives the
// calculator the same programs; liaison-texte reads and converts them.
TEST(Catalogues, ReceivedSentBackAndConverted) {
  TempDir dir;
  WriteAll(dir / "sent.cas", AsText(Join(FiveItems())));
  {
    Calculator calculator(dir, {"--transmit", dir / "sent.cas"});
    RunOptions options;
    options.args = {"recevoir"};
    EXPECT_EQ(RunLiaison(dir.Path(), calculator.Port(), "", options).status, 0);
    calculator.Finish();
  }
  Calculator calculator(dir, {"--take", "--archive", dir / "taken.cas"});
  RunOptions options;
  options.args = {"envoyer", "ABC.cat", "DEF.cat", "GHI.cat"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  std::vector<Bytes> programs = FiveItems();
  programs.resize(3);
  EXPECT_EQ(ReadAll(dir / "taken.cas"), AsText(Join(programs)));

  Exit shown = RunTexte(dir.Path(), {"lire", "DEF.cat"});
  EXPECT_EQ(shown.status, 0);
  EXPECT_EQ(shown.out, "--- DEF ---\nIf A=1\nThen B\n");
  shown = RunTexte(dir.Path(), {"lire", "--ascii", "sent.cas"});
  EXPECT_EQ(shown.out, "--- ABC ---\nabc\n--- DEF ---\n\\If A=1\n\\Then B\n--- GHI ---\n" +
                           std::string(3000, 'g') +
                           "\n--- liste 1 (42 octets) ---\n--- matrice A (56 octets) ---\n");

  // .cas -> .cat -> .cas is exact for programs; the list and matrix are left out.
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "taken.cas", "tous.cat"}).status, 0);
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "tous.cat", "again.cas"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "again.cas"), ReadAll(dir / "taken.cas"));
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "sent.cas", "programmes.cat"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "programmes.cat"), ReadAll(dir / "tous.cat"));
  // One program to a program file and back.
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "DEF.cat", "DEF.txt"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "DEF.txt"), std::string(":\xF7\x00"
                                                  "A=1\r\xF7\x01"
                                                  "B",
                                                  10));
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "DEF.txt", "DEF2.cas"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "DEF2.cas"), AsText(FiveItems()[1]));
  EXPECT_EQ(RunTexte(dir.Path(), {"convertir", "tous.cat", "un.txt"}).status, 1);
}

TEST(Transmissions, WrongCommandLines) {
  TempDir dir;
  const std::vector<std::vector<std::string>> wrongs = {
      {"recevoir", "--bogus"},
      {"recevoir", "a", "b"},
      {"recevoir", "--attente"},
      {"recevoir", "--attente", "-3"},
      {"recevoir", "no-such-dir"},
      {"envoyer"},
      {"envoyer", "--remplacer", "--garder", "x.cas"},
      {"envoyer", "--nom", "A", "x", "y"},
      {"envoyer", "--nom", "A", "x.cat"},
      {"envoyer", "--nom", "A", "x.CAS"},
      {"envoyer", "--nom", "A", "x.g1m"},
      {"recoit"}};
  for (const std::vector<std::string>& args : wrongs) {
    RunOptions options;
    options.args = args;
    Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);
    EXPECT_EQ(exit.status, 2) << args.back();
    EXPECT_EQ(exit.out, "") << args.back();
  }
}

}  // namespace

namespace {

struct Slow {
  const char* what;
  std::vector<std::string> sim;
  int status;
  int kept;
  const char* shown;
  const char* notShown;
};

void PrintTo(const Slow& s, std::ostream* os) {
  *os << s.what;
}

class ReceivedAsItCame : public ::testing::TestWithParam<Slow> {};

// What recevoir says and keeps when the bytes come slowly, stop in a
// header, or the line goes just before the last 0x06 of a stored item.
TEST_P(ReceivedAsItCame, SaysWhatHappened) {
  const Slow& s = GetParam();
  TempDir dir;
  std::vector<Bytes> two = {FiveItems()[0], FiveItems()[1]};
  WriteAll(dir / "sent.cas", AsText(Join(two)));
  std::vector<std::string> sim = {"--transmit", dir / "sent.cas"};
  sim.insert(sim.end(), s.sim.begin(), s.sim.end());
  Calculator calculator(dir, sim);
  RunOptions options;
  options.args = {"recevoir"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, s.status) << exit.out;
  EXPECT_TRUE(Has(exit.out, s.shown)) << exit.out;
  EXPECT_FALSE(Has(exit.out, s.notShown)) << exit.out;
  std::vector<std::string> archives = Archives(dir);
  two.resize(static_cast<size_t>(s.kept));
  if (s.kept == 0) {
    EXPECT_TRUE(archives.empty());
  } else {
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(ReadAll(dir / archives[0]), AsText(Join(two)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReceivedAsItCame,
    ::testing::Values(
        // Header bytes 2 s apart, 6 s in all: no 5 s without a byte.
        Slow{"slow_header", {"--header-gap", "2000"}, 0, 2, "2 element(s) enregistre(s)", "coupe"},
        Slow{"header_cut",
             {"--cut-header", "2"},
             1,
             1,
             "  en-tete coupe (20 octet(s)) : incomplet : 5 s de silence\n",
             "TX"}),
    [](const ::testing::TestParamInfo<Slow>& info) { return std::string(info.param.what); });

// The archive is named when the first item comes, not when the wait began.
TEST(ReceivedArchive, NamedWhenTheFirstItemCame) {
  TempDir dir;
  WriteAll(dir / "sent.cas", AsText(FiveItems()[0]));
  Calculator calculator(dir, {"--transmit", dir / "sent.cas", "--start-delay", "2500"});
  std::time_t started = std::time(nullptr);
  RunOptions options;
  options.args = {"recevoir"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  ASSERT_EQ(exit.status, 0) << exit.out;
  std::vector<std::string> archives = Archives(dir);
  ASSERT_EQ(archives.size(), 1u);
  std::tm named{};
  ASSERT_TRUE(strptime(archives[0].c_str(), "%Y%m%d-%H%M%S", &named));
  named.tm_isdst = -1;
  EXPECT_GE(std::mktime(&named), started + 2) << archives[0];
}

}  // namespace

namespace {

// Programs named for a device of Windows, with a byte of the calculator's
// own or a character Windows refuses: their NOM.cat are safe names.
TEST(ReceivedNames, SafeOnEverySystem) {
  TempDir dir;
  WriteAll(dir / "sent.cas",
           AsText(Join({ProgramItemBytes("CON", "a"), ProgramItemBytes("R\xCD", "b"),
                        ProgramItemBytes("A:B", "c")})));
  Calculator calculator(dir, {"--transmit", dir / "sent.cas"});
  RunOptions options;
  options.args = {"recevoir"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "", options);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "  programme CON (2 octets) : recu, _CON.cat\n"
                  "  programme R_ (2 octets) : recu, R_.cat\n"
                  "  programme A:B (2 octets) : recu, A_B.cat\n"))
      << exit.out;
  for (const char* file : {"_CON.cat", "R_.cat", "A_B.cat"})
    EXPECT_FALSE(ReadAll(dir / file).empty()) << file;
}

}  // namespace
