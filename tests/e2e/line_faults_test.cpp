// Hostile and broken lines: noise, a header in pieces or cut short, and a
// calculator that vanishes (a cable pulled out) in the middle of a wait.
#include <gtest/gtest.h>

#include "link/link.h"
#include "support/harness.h"

namespace {

const char kLost[] =
    "\r\n\r\nLiaison avec la calculatrice perdue (cable debranche?)... Fin du programme.\r\n";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct Vanish {
  const char* what;
  std::vector<std::string> sim;
  const char* typed;
  const char* before;  // the last step shown before the line is lost
};

void PrintTo(const Vanish& v, std::ostream* os) {
  *os << v.what;
}

class LineLost : public ::testing::TestWithParam<Vanish> {};

// The program tells the user, ends with status 255, and never spins.
TEST_P(LineLost, EndsTheProgram) {
  const Vanish& v = GetParam();
  TempDir dir;
  WriteAll(dir / "f.txt", ":abc");
  Calculator calculator(dir, v.sim);
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), v.typed);
  EXPECT_EQ(exit.status, 255);
  EXPECT_TRUE(EndsWith(exit.out, std::string(v.before) + kLost)) << exit.out;
  // Under wine, wine's own wait polls a hung-up pty for the last read's 5 s;
  // the program ends after it all the same.
  if (!OnWindows()) {
    EXPECT_LT(exit.cpuSeconds, 0.5);
  }
  if (std::string(v.what) == "mid_data") {
    EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), "012345");  // what came before is kept
  }
}

INSTANTIATE_TEST_SUITE_P(
    Waits, LineLost,
    ::testing::Values(
        Vanish{"awaiting_request",
               {"--send", "ABC", "--vanish", "request"},
               "1\n",
               "En attente de la calculatrice...\n"},
        Vanish{"mid_header",
               {"--send", "ABC", "--vanish", "header"},
               "1\n",
               "Reception du Header en cours...\n"},
        Vanish{"header_cut_short",
               {"--send", "ABC", "--header-cut", "20", "--piece-gap", "6000"},
               "1\n",
               "Reception du Header en cours...\n"},
        Vanish{"mid_data",
               {"--send", "ABC", "--text", "0123456789", "--vanish", "data"},
               "1 3\n",
               "\nReception des donnes en cours...... donnees incompletes!\nCreation d'un fichier "
               "et stockage des donnes recues......OK!"},
        Vanish{"awaiting_ready",
               {"--receive", "--vanish", "ready"},
               "2 f.txt P\n",
               "\nAttente du caractere de controle..."},
        Vanish{"awaiting_answer",
               {"--receive", "--vanish", "answer"},
               "2 f.txt P\n",
               "...OK!\nEn attente de d'une reponse..."},
        Vanish{"awaiting_last_ack",
               {"--receive", "--vanish", "ack"},
               "2 f.txt P\n",
               "3A 61 62 63 FF DB ...OK!"}),
    [](const ::testing::TestParamInfo<Vanish>& info) { return std::string(info.param.what); });

// The calculator vanishes while it takes a long data block: the write of the
// block fails, which ends the program as an incomplete write does.
TEST(LineLostMidData, WriteOfTheBlockFails) {
  TempDir dir;
  WriteAll(dir / "f.txt", std::string(65533, 'x'));
  Calculator calculator(dir, {"--receive", "--vanish", "data"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2 f.txt P\n");
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(EndsWith(exit.out, "FF A3 erreur de communication!"))
      << exit.out.substr(exit.out.size() > 300 ? exit.out.size() - 300 : 0);
  EXPECT_EQ(calculator.FromPc().size(), 1u + HEADER_SIZE + 65535 / 2);
}

// Pieces that together come within one read's 5 s make one header.
TEST(LineNoise, HeaderInPiecesWithinTheReadTime) {
  TempDir dir;
  Calculator calculator(
      dir, {"--send", "ABC", "--text", ":abc", "--header-pieces", "3", "--piece-gap", "1500"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n");
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, "Nom du programme : ABC_____\n"));
  EXPECT_EQ(ReadAll(dir / "ABC_____.txt"), ":abc");
}

// Noise before, between and after the exchanges of both tests in one run.
TEST(LineNoise, AroundEveryExchange) {
  TempDir dir;
  WriteAll(dir / "f.txt", "first line\nsecond\n");
  Calculator calculator(
      dir, {"--serve", "DEMO", "--text", "data", "--noise", "200", "--noise-after", "300"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(),
                         "1 3\n\n2 f.txt SENT\n\n1 3\n\n2 f.txt AGAIN\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(ReadAll(dir / "DEMO____.txt"), "data");
  std::string report = calculator.Report();
  EXPECT_TRUE(Has(report, "name=SENT\nsize=000D\nheader_checksum=ok\ndata_checksum=ok\n"))
      << report;
  EXPECT_TRUE(Has(report, "name=AGAIN\nsize=000D\nheader_checksum=ok\ndata_checksum=ok\n"));
  EXPECT_EQ(exit.out.find("Type non-gere"), std::string::npos);
}

}  // namespace
