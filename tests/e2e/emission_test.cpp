#include <gtest/gtest.h>

#include "link/link.h"
#include "support/harness.h"

namespace {

const char kFileQuestion[] = "\nOuvrir quel fichier? (mettre l'extension...)";
const char kNameQuestion[] =
    "...OK!\n\n\nQuel nom donner a votre programme? (maximum = 8 caracteres...)     ";
const char kUpToAnswer[] =
    "\nDemarage de l'emmission......OK!\nAttente du caractere de controle......OK!\nEmmission du "
    "Header......OK!\nEn attente de d'une reponse...";

TEST(Emission, WorkedExample) {
  TempDir dir;
  WriteAll(dir / "ex.txt", ":abc");
  Calculator calculator(dir, {"--receive"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2\nex.txt\nABC\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.out, kStart + std::string(kMenu) + kFileQuestion +
                          "\nChargement du contenu du fichier..." + kNameQuestion +
                          "\n\nContenu du buffer :\n" + kWorkedHeaderHex + kUpToAnswer +
                          "\nCalculatrice prete pour le transfert!\nTransfert...\nHexadecimal a "
                          "emmetre :\n3A 61 62 63 FF DB ...OK!\n\nProgramme transfere!\nEmmission "
                          "du header de fin......OK!\nFin de la communication!" +
                          kMenu);
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(calculator.FromPc(),
            Hex(std::string("16 ") + kWorkedHeaderHex + "3A 61 62 63 FF DB " + kEndHeaderHex));
  EXPECT_EQ(calculator.Field("name"), "ABC");
  EXPECT_EQ(calculator.Field("size"), "0006");
  EXPECT_EQ(calculator.Field("header_checksum"), "ok");
  EXPECT_EQ(calculator.Field("data_checksum"), "ok");
  EXPECT_EQ(calculator.Field("content"), "3A616263");
}

struct Content {
  const char* what;
  std::string file;
  std::string size;
  const char* block;             // the data block on the line
  std::string windowsSize = "";  // where the text-mode file differs
  const char* windowsBlock = nullptr;
};

void PrintTo(const Content& c, std::ostream* os) {
  *os << c.what;
}

class EmissionContent : public ::testing::TestWithParam<Content> {};

TEST_P(EmissionContent, BlockOnTheLine) {
  Content c = GetParam();
  if (OnWindows() && c.windowsBlock) {
    c.size = c.windowsSize;
    c.block = c.windowsBlock;
  }
  TempDir dir;
  WriteAll(dir / "f.txt", c.file);
  Calculator calculator(dir, {"--receive"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2 f.txt P\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, std::string("Hexadecimal a emmetre :\n") + c.block + " ...OK!"));
  EXPECT_EQ(calculator.Field("size"), c.size);
  EXPECT_EQ(calculator.Field("data_checksum"), "ok");
  Bytes sent = calculator.FromPc();
  Bytes block = Hex(c.block);
  ASSERT_GE(sent.size(), 51 + block.size());
  EXPECT_EQ(Bytes(sent.begin() + 51, sent.begin() + 51 + static_cast<long>(block.size())), block);
}

INSTANTIATE_TEST_SUITE_P(
    Files, EmissionContent,
    ::testing::Values(Content{"empty", "", "0002", "FF 3B"},
                      Content{"checksum_zero", ";", "0003", "3B FF 00"},
                      Content{"first_line_only", "L1\nL2\n", "0005", "4C 31 0A FF B4"},
                      Content{"zero_bytes_are_kept", std::string("ab\0cd\n", 6), "0008",
                              "61 62 00 63 64 0A FF A7"},
                      Content{"carriage_return", "a\r\nb", "0005", "61 0D 0A FF C3", "0004",
                              "61 0A FF D0"},
                      Content{"end_of_file_byte", "ab\x1a\ncd", "0006", "61 62 1A 0A FF 54", "0004",
                              "61 62 FF 78"}),
    [](const ::testing::TestParamInfo<Content>& info) { return std::string(info.param.what); });

struct Answer {
  const char* what;
  std::vector<std::string> sim;
  const char* typed;
  std::string shown;
  int status;
  bool dataSent;
  std::string afterHeader;  // what the PC sends after the header, data block aside
};

void PrintTo(const Answer& c, std::ostream* os) {
  *os << c.what;
}

class EmissionAnswer : public ::testing::TestWithParam<Answer> {};

TEST_P(EmissionAnswer, Flow) {
  const Answer& a = GetParam();
  TempDir dir;
  WriteAll(dir / "f.txt", ";");
  Calculator calculator(dir, a.sim);
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), std::string("2 f.txt P\n") + a.typed);
  calculator.Finish();
  EXPECT_EQ(exit.status, a.status);
  EXPECT_TRUE(Has(exit.out, kUpToAnswer + a.shown)) << exit.out;
  Bytes sent = calculator.FromPc();
  ASSERT_GE(sent.size(), 51u);
  Bytes after(sent.begin() + 51, sent.end());
  Bytes expected = Hex(a.afterHeader);
  if (a.dataSent) {
    Bytes block = Hex("3B FF 00");
    expected.insert(expected.begin() + (expected.size() - HEADER_SIZE), block.begin(), block.end());
  }
  EXPECT_EQ(after, expected);
}

std::string End() {
  return kEndHeaderHex;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EmissionAnswer,
    ::testing::Values(
        Answer{
            "exists_replace",
            {"--receive", "--answer", "21"},
            "1\n\n3\n",
            "\n\nProgramme deja existant...\n1 : Remplacer l'ancien par celui-ci.\n2 : Ne pas "
            "envoyer ce programme...\n\nEnvoi de la reponse......OK!\nAttente d'une reponse de la "
            "calculatrice...\nCalculatrice prete pour le transfert!",
            0,
            true,
            "06 " + End()},
        Answer{"exists_replace_after_other_answers",
               {"--receive", "--answer", "21"},
               "0\n3\n-1\nx y\n1\n\n3\n",
               "\n\nProgramme deja existant...\n1 : Remplacer l'ancien par celui-ci.\n2 : Ne pas "
               "envoyer ce programme...\n\nEnvoi de la reponse......OK!",
               0,
               true,
               "06 " + End()},
        Answer{"exists_cancel",
               {"--receive", "--answer", "21"},
               "2\n",
               "\n\nProgramme deja existant...\n1 : Remplacer l'ancien par celui-ci.\n2 : Ne pas "
               "envoyer ce programme...\n\nFin de la communication...OK!",
               0,
               false,
               "15 " + End()},
        Answer{"checksum_error",
               {"--receive", "--answer", "2B"},
               "",
               "\n\nErreur de checksum... Fin de la communication!",
               0,
               false,
               End()},
        Answer{"other_byte",
               {"--receive", "--answer", "41"},
               "\n3\n",
               "\nAttente d'une reponse de la calculatrice...\nCalculatrice prete",
               0,
               true,
               End()}),
    [](const ::testing::TestParamInfo<Answer>& info) { return std::string(info.param.what); });

// Each costs the 5 s of the single answer read.
INSTANTIATE_TEST_SUITE_P(
    Slow, EmissionAnswer,
    ::testing::Values(Answer{"none",
                             {"--receive", "--answer", "none"},
                             "\n3\n",
                             "\nAttente d'une reponse de la calculatrice...\nCalculatrice prete",
                             0,
                             true,
                             End()},
                      Answer{"late_exists",
                             {"--receive", "--answer", "21", "--answer-delay", "5600"},
                             "\n3\n",
                             "\nAttente d'une reponse de la calculatrice...\nCalculatrice prete",
                             0,
                             true,
                             End()}),
    [](const ::testing::TestParamInfo<Answer>& info) { return std::string(info.param.what); });

// After a name that cannot be opened, the rest of its line is dropped: a
// user who typed "missing.txt b.txt" meant one file, and b.txt is not sent.
TEST(EmissionQuestions, FilesAndNames) {
  TempDir dir;
  std::string longName(120, 'n');
  WriteAll(dir / longName, "long path\n");
  WriteAll(dir / "b.txt", "never sent\n");
  WriteAll(dir / "too-long.txt", std::string(65534, 'x'));
  Calculator calculator(dir, {"--receive"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(),
                         "2 missing.txt b.txt\ntoo-long.txt " + longName + "\nABCDEFGHI " +
                             std::string(100000, 'N') + " ABCDEFGH\n\n3\n");
  calculator.Finish();
  EXPECT_TRUE(Has(exit.out,
                  std::string(kFileQuestion) +
                      "\nImpossible d'ouvrir le fichier... Recommencez...\nChargement du contenu "
                      "du fichier...\nLigne trop longue (maximum = 65533 octets)... Recommencez..."
                      "\nChargement du contenu du fichier..." +
                      kNameQuestion + "\n\nContenu du buffer :\n"));
  EXPECT_EQ(calculator.Field("name"), "ABCDEFGH");
  EXPECT_EQ(calculator.Field("content"), "6C6F6E6720706174680A");
}

TEST(EmissionQuestions, LargestLineFitsTheSizeField) {
  TempDir dir;
  WriteAll(dir / "big.txt", std::string(65532, 'x') + "\nrest");  // 65533 with its line feed
  Calculator calculator(dir, {"--receive"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2 big.txt BIG\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(calculator.Field("size"), "FFFF");
  EXPECT_EQ(calculator.Field("data_checksum"), "ok");
  EXPECT_EQ(calculator.Field("data_length"), "65535");
}

// Two emissions in one run: the second, shorter, sends only its own content.
TEST(EmissionQuestions, SecondShorterEmission) {
  TempDir dir;
  WriteAll(dir / "long.txt", "abcdefgh\n");
  WriteAll(dir / "short.txt", "z");
  Calculator calculator(dir, {"--serve", "DEMO"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "2 long.txt L\n\n2 short.txt S\n\n3\n");
  calculator.Finish();
  EXPECT_EQ(exit.status, 0);
  EXPECT_TRUE(Has(exit.out, "Hexadecimal a emmetre :\n7A FF C1 ...OK!"));
  std::string report = calculator.Report();
  EXPECT_TRUE(Has(report,
                  "name=S\nsize=0003\nheader_checksum=ok\ndata_checksum=ok\n"
                  "data_length=3\ncontent=7A\n"));
}

}  // namespace
