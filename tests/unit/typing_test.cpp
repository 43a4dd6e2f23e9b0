// Hostile typing at every question of the program: a word that is no number,
// every byte value, a 1 MiB word, and the end of input. The program asks again
// or ends cleanly, and never takes an earlier answer for a new one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/link.h"
#include "support/blocks.h"
#include "support/memory_line.h"
#include "support/session.h"

namespace {

std::string EveryByte() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

struct Question {
  const char* name;
  const char* before;  // typed to reach the question
  const char* after;   // typed to get out of it again
  const char* asked;   // the question's own text
};

const Question kQuestions[] = {
    {"menu", "", "3\n", "Choix : "},
    {"answer", "1 ", "2\n\n3\n", "3 : Recevoir ces donnes...\n"},
    {"file", "2 ", "f.txt P\n\n3\n", "(mettre l'extension...)"},
    {"name", "2 f.txt ", "P\n\n3\n", "(maximum = 8 caracteres...)     "},
    {"replace", "2 f.txt P ", "2\n", "2 : Ne pas envoyer ce programme...\n"},
};

struct Hostile {
  const char* name;
  std::string typed;
};

const Hostile kHostile[] = {
    {"not_a_number", "abc -\n"},
    {"every_byte", EveryByte() + "\n"},
    {"huge_word", std::string(1 << 20, '7') + "\n"},
};

void ScriptCalculator(MemoryLine& line) {
  line.Then({0x16}).Then(ProgramHeader("ABC", 0));  // for a reception
  line.Then({0x13, 0x21, 0x06});                    // for an emission
  line.SetIdleReads(2);
}

class Typing : public ::testing::TestWithParam<std::tuple<Question, Hostile>> {};

// The question goes on after the hostile word, and the program gets out of it.
TEST_P(Typing, AskedAgainOrDropped) {
  const Question& q = std::get<0>(GetParam());
  const Hostile& h = std::get<1>(GetParam());
  MemoryLine line;
  ScriptCalculator(line);
  Session s(std::string(q.before) + h.typed + q.after);
  WriteAll(s.Dir() / "f.txt", "x\n");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_NE(s.Output().find(q.asked), std::string::npos);
}

// At the end of input the program ends at once and sends nothing more.
TEST_P(Typing, EndOfInputEndsCleanly) {
  const Question& q = std::get<0>(GetParam());
  const Hostile& h = std::get<1>(GetParam());
  MemoryLine line;
  ScriptCalculator(line);
  Session s(std::string(q.before) + h.typed);
  WriteAll(s.Dir() / "f.txt", "x\n");
  EXPECT_EQ(s.Run(), 0);
  size_t sent = line.Written().size();
  EXPECT_TRUE(sent == 0 || sent == 1 || sent == 1 + HEADER_SIZE) << sent;
}

INSTANTIATE_TEST_SUITE_P(EveryQuestion, Typing,
                         ::testing::Combine(::testing::ValuesIn(kQuestions),
                                            ::testing::ValuesIn(kHostile)),
                         [](const ::testing::TestParamInfo<Typing::ParamType>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::get<1>(info.param).name;
                         });

void PrintTo(const Question& q, std::ostream* os) {
  *os << q.name;
}
void PrintTo(const Hostile& h, std::ostream* os) {
  *os << h.name;
}

// An answer given at an earlier question is never taken for the user's
// choice: after answer 2 to a reception, a replace question that gets no
// number must not cancel.
TEST(TypingMemory, EarlierAnswerIsNeverTaken) {
  MemoryLine line;
  ScriptCalculator(line);
  Session s("1 2\n\n2 f.txt P\nnot-a-number\n");
  WriteAll(s.Dir() / "f.txt", "x\n");
  EXPECT_EQ(s.Run(), 0);
  Bytes sent = line.Written();
  ASSERT_EQ(sent.size(), 2u + 1u + HEADER_SIZE);  // 0x13 0x2B, then 0x16 and the header
  EXPECT_EQ(sent[1], CODE_ERROR);
  EXPECT_EQ(s.State().answer, CODE_EXISTS);
}

TEST(TypingMemory, HugeAndNulWordsAreNoProgramName) {
  MemoryLine line;
  line.Then({0x13, 0x06, 0x06});
  Session s("2 f.txt " + std::string(1 << 20, 'N') + " " + std::string("A\0B", 3) + " OK\n\n3\n");
  WriteAll(s.Dir() / "f.txt", "x\n");
  EXPECT_EQ(s.Run(), 0);
  EXPECT_EQ(std::string(s.State().name), "OK");
}

}  // namespace
