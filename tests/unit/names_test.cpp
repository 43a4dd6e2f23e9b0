// The names of the files Liaison makes: safe on every system, in the folder
// the user named.
#include <gtest/gtest.h>

#include "files/archive.h"

namespace {

TEST(Names, StemsAreSafeEverywhere) {
  struct Case {
    std::string name, stem;
  };
  const Case cases[] = {
      {"ABC", "ABC"},
      {"r\xCD", "r_"},  // r, a byte of the calculator's own
      {"\xCE"
       "X",
       "_X"},  // theta
      {"A\x9B"
       "B",
       "A_B"},  // a C1 byte would drive the terminal
      {"CON", "_CON"},
      {"nul", "_nul"},
      {"COM1", "_COM1"},
      {"LPT9", "_LPT9"},
      {"COM10", "COM10"},
      {"CONS", "CONS"},
      {"AUX.TXT", "_AUX.TXT"},  // Windows opens AUX whatever follows the first dot
      {"aux.txt.bak", "_aux.txt.bak"},
      {"NUL .X", "_NUL .X"},
      {"AUXI.TXT", "AUXI.TXT"},
      {"X.AUX", "X.AUX"},
      {"A:B*C?", "A_B_C_"},
      {"\"<>|", "____"},
      {"END.", "END_"},
      {"A ", "A_"},
      {".HID", "_HID"},
      {"a/b\\c", "a_b_c"},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeStem(c.name), c.stem) << c.name;
}

TEST(Names, FolderAndName) {
  EXPECT_EQ(InFolder(".", "a.cas"), "a.cas");
  EXPECT_EQ(InFolder("out", "a.cas"), "out/a.cas");
  EXPECT_EQ(InFolder("out/", "a.cas"), "out/a.cas");
#ifdef _WIN32
  EXPECT_EQ(InFolder("out\\", "a.cas"), "out\\a.cas");
#else
  EXPECT_EQ(InFolder("sauve\\", "a.cas"), "sauve\\/a.cas");  // a backslash is part of a name
#endif
}

}  // namespace
