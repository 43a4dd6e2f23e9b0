#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/harness.h"

namespace {

std::string Accepted(const std::string& header, const std::string& details) {
  return std::string(
             "\n Debut de la communication...\nEn attente de la calculatrice...\n"
             "Calculatrice : OK! Envoi du message de reception...\nMessage envoye!\n"
             "Reception du Header en cours...\nHeader recu!\n") +
         header + "\n\nInformations...\nType :" + details;
}

const char kQuestion[] =
    "\n\nQuel message donner a la calculatrice?\n1 : Donnes deja existante...\n2 : Ne pas "
    "recevoir ces donnes...\n3 : Recevoir ces donnes...\n";

const char kWorkedExampleDetails[] =
    " programme\nTaille du programme : 20\nNom du programme : ABC_____\nProtection par mot de "
    "passe? Non!\nTotal (sum) du Header : 9274 avec le checksum, 9238 sans, et le checksum vaut "
    "36...\nLe checksum est donc correcte!\nCalcule du checksum :: OK!";

const char kStored[] =
    "\n Emission de la reponse en cours...... envoye!\n\nReception des donnes en cours......OK!\n"
    "Creation d'un fichier et stockage des donnes recues......OK!\nEmission du code de fin de "
    "transfert...... envoye!\n\r\n";

// The worked example, received and stored: the whole console, every byte on
// the line, the file. Noise before the request changes nothing.
class WorkedExample : public ::testing::TestWithParam<const char*> {};

TEST_P(WorkedExample, ReceivedAndStored) {
  TempDir dir;
  Calculator calculator(dir, {"--send", "ABC", "--text", ":abc", "--noise", GetParam()});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1\n3\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.out, kStart + std::string(kMenu) +
                          Accepted(kWorkedHeaderHex, kWorkedExampleDetails) + kQuestion + kStored +
                          kPause + kMenu);
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":abc");
  EXPECT_EQ(calculator.FromPc(), Hex("13 06 06"));
}

INSTANTIATE_TEST_SUITE_P(Noise, WorkedExample, ::testing::Values("0", "40"));

struct Case {
  const char* what;
  std::vector<std::string> sim;
  const char* typed;
  std::vector<std::string> shown;
  const char* file;  // nullptr: no file
  std::string stored;
  const char* fromPc;
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.what;
}

class Reception : public ::testing::TestWithParam<Case> {};

TEST_P(Reception, Case) {
  const Case& c = GetParam();
  TempDir dir;
  Calculator calculator(dir, c.sim);
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), c.typed);
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  for (const std::string& part : c.shown)
    EXPECT_TRUE(Has(exit.out, part)) << part << "\n" << exit.out;
  EXPECT_TRUE(exit.out.size() >= strlen(kMenu) &&
              exit.out.compare(exit.out.size() - strlen(kMenu), std::string::npos, kMenu) == 0)
      << exit.out;
  if (c.file) {
    EXPECT_EQ(ReadAll(dir / c.file), TextFile(c.stored));
  }
  EXPECT_EQ(calculator.FromPc(), Hex(c.fromPc));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Reception,
    ::testing::Values(
        Case{"name_AB",
             {"--send", "AB", "--text", "x\ny"},
             "1 3\n\n3\n",
             {"Nom du programme : AB______\n", "Taille du programme : 19\n"},
             "AB______.txt",
             "x\ny",
             "13 06 06"},
        Case{"password",
             {"--send", "P", "--password", "PW"},
             "1 2\n\n3\n",
             {"Protection par mot de passe? Oui!   Mot de passe : PW\nTotal"},
             nullptr,
             "",
             "13 2B"},
        Case{"wrong_checksum_still_accepted",
             {"--send", "ABC", "--text", ":abc", "--bad-checksum"},
             "1 3\n\n3\n",
             {"et le checksum vaut 37...Le checksum est... INCORRECTE! ERREUR!\nErreur dans "
              "l'algorithme de g\xE9n\xE9ration du checksum...\n\nQuel message"},
             "ABC_____.txt",
             ":abc",
             "13 06 06"},
        Case{"other_type",
             {"--send", "ABC", "--type", "XYZ"},
             "1 2\n\n3\n",
             {"\nInformations...\nType : Type non-gere actuellement...\n\nQuel message"},
             nullptr,
             "",
             "13 2B"},
        Case{"answer_1",
             {"--send", "ABC"},
             "1 1\n\n3\n",
             {"en cours...... envoye!\n\n\nNon gere pour le moment...\n\r\nAppuyez"},
             nullptr,
             "",
             "13 21"},
        Case{"answer_2",
             {"--send", "ABC"},
             "1 2\n\n3\n",
             {"en cours...... envoye!\n\nMessage d'erreur envoye... Communication interompue!\n"
              "\r\nAppuyez"},
             nullptr,
             "",
             "13 2B"},
        Case{"answers_out_of_range",
             {"--send", "ABC", "--text", "z"},
             "1 0\n4\n-1\nx y\n3\n\n3\n",
             {"3 : Recevoir ces donnes...\n\n Emission de la reponse"},
             "ABC_____.txt",
             "z",
             "13 06 06"},
        Case{"bad_data_checksum",
             {"--send", "ABC", "--text", ":abc", "--bad-data-checksum"},
             "1 3\n\n3\n",
             {"Reception des donnes en cours...... checksum des donnees incorrect!\nCreation"},
             "ABC_____.txt",
             ":abc",
             "13 06 06"},
        Case{"hostile_name_bytes",
             {"--send", std::string("../\x1b[2J", 7)},
             "1 3\n\n3\n",
             {"Nom du programme : _.__[2J_\n", "stockage des donnes recues......OK!"},
             "_.__[2J_.txt",
             "Bonjour",
             "13 06 06"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

TEST(ReceptionFile, CannotBeCreated) {
  TempDir dir;
  mkdir((dir / "ABC_____.txt").c_str(), 0755);  // a directory stands in its place
  Calculator calculator(dir, {"--send", "ABC"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n");
  calculator.Finish();
  EXPECT_TRUE(Has(exit.out,
                  "stockage des donnes recues...\nImpossible de creer le fichier ABC_____.txt!\n"
                  "Emission du refus des donnees (2B)...... envoye!\n\r\nAppuyez"))
      << exit.out;
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(calculator.FromPc(), Hex("13 06 2B"));  // the calculator is not told it arrived
}

// A full disk: the copy already there is kept whole, and the calculator gets
// the refusal of the data, not the acknowledgement.
TEST(ReceptionFile, DiskRefusesTheWrite) {
  if (OnWindows()) GTEST_SKIP() << "a file size limit is a POSIX signal, not a Windows write error";
  TempDir dir;
  WriteAll(dir / "big", std::string(10000, 'b'));
  WriteAll(dir / "ABC_____.txt", ":the good copy");
  Calculator calculator(dir, {"--send", "ABC", "--content", dir / "big"});
  RunOptions limited;
  limited.fileSizeLimit = 4096;
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n", limited);
  calculator.Finish();
  EXPECT_TRUE(Has(exit.out,
                  "\nErreur d'ecriture dans le fichier ABC_____.txt! Rien n'y est "
                  "change.\nEmission du refus des donnees (2B)...... envoye!"))
      << exit.out;
  EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":the good copy");
  EXPECT_EQ(calculator.FromPc(), Hex("13 06 2B"));
  EXPECT_EQ(exit.status, 0);
}

TEST(ReceptionText, AccentInUtf8Terminals) {
  TempDir dir;
  Calculator calculator(dir, {"--send", "ABC", "--bad-checksum"});
  RunOptions utf8;
  utf8.env = {"LC_ALL=C.UTF-8"};
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 2\n\n3\n", utf8);
  // Windows writes the byte 0xE9 whatever the terminal.
  EXPECT_TRUE(Has(exit.out, OnWindows()
                                ? "l'algorithme de g\xE9n\xE9ration du checksum..."
                                : "l'algorithme de g\xC3\xA9n\xC3\xA9ration du checksum..."));
}

// The calculator stops in mid-block: the read ends after 5 s of silence and
// every byte that came is kept.
TEST(ReceptionSlow, ShortDataIsStoredWhole) {
  TempDir dir;
  Calculator calculator(dir, {"--send", "ABC", "--text", ":abcdef", "--data-cut", "5"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n");
  EXPECT_TRUE(Has(exit.out, "Reception des donnes en cours...... donnees incompletes!\nCreation"));
  EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":abcd");
}

}  // namespace
