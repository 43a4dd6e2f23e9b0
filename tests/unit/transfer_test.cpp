// Both transfers run in this process against the in-memory line: the cases
// that hinge on read time-outs cost no real time here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "support/blocks.h"
#include "support/memory_line.h"
#include "support/session.h"

namespace {

TEST(Reception, HeaderInPiecesWithinOneRead) {
  MemoryLine line;
  Bytes header = ProgramHeader("ABC", 4);
  line.Then({0x16}).Then(Slice(header, 0, 20)).Then(Slice(header, 20, 50), 3000);
  line.Then(DataBlock(":abc"));
  Session s("1 3\n\n3\n");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_TRUE(Has(s.Output(), "Nom du programme : ABC_____"));
  EXPECT_EQ(ReadAll(s.Dir() / "ABC_____.txt"), ":abc");
  EXPECT_EQ(line.Written(), (Bytes{0x13, 0x06, 0x06}));
}

TEST(Reception, DataVerdictsAndWhatIsStored) {
  struct Case {
    const char* what;
    Bytes data;
    const char* verdict;
    std::string stored;
  };
  Bytes whole = DataBlock(":abc");
  Bytes badSum = whole;
  badSum.back() ^= 1;
  const Case cases[] = {
      {"whole", whole, "Reception des donnes en cours......OK!", ":abc"},
      {"cut", Slice(whole, 0, 4), "Reception des donnes en cours...... donnees incompletes!",
       ":abc"},
      {"bad checksum", badSum,
       "Reception des donnes en cours...... checksum des donnees incorrect!", ":abc"},
      {"nothing", {}, "Reception des donnes en cours...... donnees incompletes!", ""},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then({0x16}).Then(ProgramHeader("ABC", 4)).Then(c.data, 10);
    Session s("1 3\n\n3\n");
    EXPECT_EQ(s.Run(), 0) << c.what;
    EXPECT_TRUE(Has(s.Output(), c.verdict)) << c.what << s.Output();
    EXPECT_EQ(ReadAll(s.Dir() / "ABC_____.txt"), c.stored) << c.what;
  }
}

TEST(Reception, LongProgramAtLineRateArrivesWhole) {
  std::string content(20000, 'x');
  MemoryLine line;
  line.Then({0x16}).Then(ProgramHeader("LONG", 20000));
  for (unsigned char byte : DataBlock(content)) line.Then({byte}, 1);  // about the line rate
  Session s("1 3\n\n3\n");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_TRUE(Has(s.Output(), "en cours......OK!"));
  EXPECT_EQ(ReadAll(s.Dir() / "LONG____.txt"), content);
}

TEST(Reception, OtherHeaderReadsUntilSilenceUnderItsOwnName) {
  struct Case {
    std::string data;
    std::string stored;
  };
  const Case cases[] = {{"0123456789", "01234567"}, {"01", ""}, {"", ""}};
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then({0x16}).Then(ProgramHeader("ABC", 4, "XYZ"));
    line.Then(Bytes(c.data.begin(), c.data.end()), 100);
    Session s("1 3\n\n3\n");
    EXPECT_EQ(s.Run(), 0);
    EXPECT_TRUE(Has(s.Output(), "Type : Type non-gere actuellement...\n\nQuel message"));
    EXPECT_FALSE(Has(s.Output(), "Taille"));
    EXPECT_EQ(ReadAll(s.Dir() / "ABC_____.txt"), c.stored) << c.data;
  }
}

TEST(Reception, FailedWrites) {
  MemoryLine line;
  line.Then({0x16}).Then(ProgramHeader("ABC", 4));
  line.FailWrites(true);
  Session s("1 2\n");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_TRUE(Has(s.Output(), "Envoi du message de reception...\nErreur lors de l'envoi.\r\n"));
  EXPECT_TRUE(Has(s.Output(), "en cours...... erreur lors de l'envoi.\r\nAppuyez sur une touche"));
  EXPECT_FALSE(Has(s.Output(), "Message d'erreur envoye"));
}

TEST(Transfers, EndOfInputAtAQuestionEndsWithoutSendingMore) {
  struct Case {
    const char* typed;
    size_t sent;
  };
  const Case cases[] = {
      {"1", 1},                        // 0x13 only
      {"2 missing.txt", 0},            // the file question
      {"2 f.txt TOOLONGNAME", 0},      // the name question
      {"2 f.txt P", 1 + HEADER_SIZE},  // the replace question
  };
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then({0x16}).Then(ProgramHeader("ABC", 4));  // for the reception
    line.Then({0x13, 0x21});                          // for the emission
    Session s(c.typed);
    WriteAll(s.Dir() / "f.txt", "x\n");
    EXPECT_EQ(s.Run(), 0) << c.typed;
    EXPECT_EQ(line.Written().size(), c.sent) << c.typed;
  }
}

TEST(Transfers, LostLineEndsTheProgram) {
  for (const char* typed : {"1", "2 f.txt P"}) {
    MemoryLine line;
    line.SetIdleReads(3);
    Session s(typed);
    WriteAll(s.Dir() / "f.txt", "x\n");
    EXPECT_EQ(s.Run(), -1) << typed;
    EXPECT_TRUE(Has(s.Output(), "Liaison avec la calculatrice perdue")) << typed;
  }
}

TEST(Emission, AnswersThatComeLateOrNotAtAll) {
  struct Case {
    const char* what;
    Bytes answer;
    long delayMs;
    bool waits;
  };
  const Case cases[] = {
      {"at once", {0x06}, 0, false},           {"none", {0x06}, 6000, true},
      {"late 0x21", {0x21, 0x06}, 6000, true}, {"late 0x2B", {0x2B, 0x06}, 6000, true},
      {"another byte", {0x41, 0x06}, 0, true},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then({0x13}).Then(c.answer, c.delayMs).Then({0x06});
    Session s("2 f.txt P\n\n3\n");
    WriteAll(s.Dir() / "f.txt", ";");
    EXPECT_EQ(s.Run(), 0) << c.what;
    std::string shown = c.waits ? "En attente de d'une reponse...\nAttente d'une reponse de la "
                                  "calculatrice...\nCalculatrice prete"
                                : "En attente de d'une reponse...\nCalculatrice prete";
    EXPECT_TRUE(Has(s.Output(), shown)) << c.what;
    EXPECT_FALSE(Has(s.Output(), "Programme deja existant")) << c.what;
    EXPECT_TRUE(Has(s.Output(), "Fin de la communication!")) << c.what;
    Bytes sent = line.Written();
    ASSERT_GE(sent.size(), 54u);
    EXPECT_EQ(Slice(sent, 51, 54), (Bytes{0x3B, 0xFF, 0x00})) << c.what;
  }
}

TEST(Emission, IncompleteDataWriteEndsTheProgram) {
  MemoryLine line;
  line.Then({0x13, 0x06});
  line.FailWrites(true);
  Session s("2 f.txt P\n");
  WriteAll(s.Dir() / "f.txt", ":abc");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_TRUE(Has(s.Output(), "3A 61 62 63 FF DB erreur de communication!"));
  EXPECT_FALSE(Has(s.Output(), "Programme transfere"));
}

}  // namespace

namespace {

// The console text with the progress line taken out: from where it saves the
// cursor to its last erase.
std::string WithoutProgress(const std::string& text) {
  std::string out = text;
  for (size_t at = out.find("\0337"); at != std::string::npos; at = out.find("\0337", at)) {
    const std::string erase = "\0338\033[K";
    size_t end = out.rfind(erase);
    if (end == std::string::npos || end < at) break;
    out.erase(at, end + erase.size() - at);
  }
  const std::string clear = "\033[H\033[2J\033[3J";
  for (size_t at = out.find(clear); at != std::string::npos; at = out.find(clear))
    out.erase(at, clear.size());
  return out;
}

struct Phase {
  const char* what;
  const char* typed;
  const char* type;  // the header's type on a reception; nullptr: an emission
  const char* shown;
};

// A header of another type announces no length: its line shows no total.
TEST(Progress, ShownOnATerminalOnlyAndErased) {
  const std::string content(3000, 'p');
  const Phase phases[] = {
      {"reception", "1 3\n\n3\n", "TXT", "  (3002 / 3002 octets, reste environ 0 s)"},
      {"other type", "1 3\n\n3\n", "XYZ", "  (3002 octets)"},
      {"emission", "2 f.txt P\n\n3\n", nullptr, "  (3002 / 3002 octets, reste environ 0 s)"}};
  for (const Phase& p : phases) {
    std::string shown[2];
    for (bool terminal : {false, true}) {
      MemoryLine line;
      if (p.type) {
        line.Then({0x16}).Then(ProgramHeader("P", static_cast<int>(content.size()), p.type));
        for (unsigned char byte : DataBlock(content)) line.Then({byte}, 1);
      } else {
        line.Then({0x13, 0x06, 0x06});
      }
      Session s(p.typed);
      s.State().con.outIsTerminal = terminal;
      WriteAll(s.Dir() / "f.txt", content);
      EXPECT_EQ(s.Run(), 0) << p.what;
      shown[terminal] = s.Output();
    }
    EXPECT_FALSE(Has(shown[0], "octets")) << p.what;
    EXPECT_TRUE(Has(shown[1], p.shown)) << p.what;
    EXPECT_FALSE(Has(shown[1], "65999")) << p.what;
    EXPECT_EQ(WithoutProgress(shown[1]), shown[0]) << p.what;
  }
}

}  // namespace
