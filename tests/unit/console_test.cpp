#include <gtest/gtest.h>

#include <climits>

#include "console/console.h"

namespace {

Console Typed(const std::string& text) {
  Console con;
  con.inFd = -1;
  con.pending = text;
  con.out = nullptr;
  return con;
}

TEST(ConsoleInput, WordsOfAnyBytesAndLength) {
  std::string huge(1 << 20, 'w');
  std::string binary("a\0b\x01\xff", 5);
  Console con = Typed("  abc\t\r\ndef\v" + huge + "\f" + binary + "\n");
  std::string word;
  for (const std::string& expected : {std::string("abc"), std::string("def"), huge, binary}) {
    ASSERT_EQ(ReadWord(con, &word), Answer::Given);
    EXPECT_EQ(word, expected);
  }
  EXPECT_EQ(ReadWord(con, &word), Answer::EndOfInput);
  EXPECT_EQ(ReadWord(con, &word), Answer::EndOfInput);  // the end stays the end
}

TEST(ConsoleInput, Numbers) {
  struct Case {
    const char* typed;
    Answer answer;
    int number;
  };
  const Case cases[] = {
      {"12", Answer::Given, 12},
      {"-5", Answer::Given, -5},
      {"+3", Answer::Given, 3},
      {"99999999999", Answer::Given, INT_MAX},
      {"-99999999999", Answer::Given, INT_MIN},
      {"3abc", Answer::NotNumber, 77},
      {"-", Answer::NotNumber, 77},
      {"\xff", Answer::NotNumber, 77},
      {"", Answer::EndOfInput, 77},
  };
  for (const Case& c : cases) {
    Console con = Typed(c.typed);
    int number = 77;  // an earlier answer, never to be taken again
    EXPECT_EQ(ReadNumber(con, &number), c.answer) << c.typed;
    EXPECT_EQ(number, c.number) << c.typed;
  }
}

TEST(ConsoleInput, NotANumberDropsTheRestOfItsLine) {
  Console con = Typed("abc 7 8\n9\n");
  int number = 0;
  EXPECT_EQ(ReadNumber(con, &number), Answer::NotNumber);
  EXPECT_EQ(ReadNumber(con, &number), Answer::Given);
  EXPECT_EQ(number, 9);
}

TEST(ConsoleInput, AskChoiceReadsOverOtherAnswers) {
  Console con = Typed("0 4 -1 x y\n 2\n");
  int choice = 0;
  EXPECT_TRUE(AskChoice(con, &choice, 1, 3));
  EXPECT_EQ(choice, 2);
  EXPECT_FALSE(AskChoice(con, &choice, 1, 3));
}

TEST(ConsoleInput, PauseTakesTheLineAfterTheAnswer) {
  FILE* sink = std::fopen("/dev/null", "w");
  Console con = Typed("3\n\nnext\n");
  con.out = sink;
  int number = 0;
  ASSERT_EQ(ReadNumber(con, &number), Answer::Given);
  Pause(con);  // the answer's own line feed is no key press
  std::string word;
  ASSERT_EQ(ReadWord(con, &word), Answer::Given);
  EXPECT_EQ(word, "next");
  SilentPause(con);  // end of input ends a pause at once
  SilentPause(con);
  std::fclose(sink);
}

}  // namespace
