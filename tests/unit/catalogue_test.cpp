// Catalogues: written as the maker's software reads them, read as other
// tools write them, and exact both ways for every program.
#include <gtest/gtest.h>

#include "files/archive.h"
#include "files/catalogue.h"
#include "link/item.h"
#include "support/blocks.h"
#include "support/session.h"

namespace {

Bytes B(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Item Program(const std::string& name, const std::string& bytes, const std::string& password = "",
             const std::string& option = "NL") {
  Item item = ProgramItem(name, B(bytes), password);
  item.header[35] = static_cast<unsigned char>(option[0]);
  item.header[36] = static_cast<unsigned char>(option[1]);
  item.header = Sealed(Bytes(item.header.begin(), item.header.end() - 1));
  return item;
}

Item RoundTrip(const Item& item) {
  CatalogueRead read;
  std::string error;
  std::string text = WriteCatalogue({item});
  EXPECT_TRUE(ReadCatalogue(text, &read, &error)) << error << "\n" << text;
  EXPECT_TRUE(read.warnings.empty()) << text;
  return read.programs.size() == 1 ? read.programs[0] : Item{};
}

// Every program of one and two bytes, and names, passwords and options of
// every form, come back as the very same header and part.
TEST(Catalogue, ExactForEveryProgram) {
  for (int a = 0; a < 256; ++a) {
    Item one = Program("P", std::string(1, static_cast<char>(a)));
    ASSERT_EQ(ItemBytes(RoundTrip(one)), ItemBytes(one)) << a;
    for (int b = 0; b < 256; ++b) {
      Item two = Program("AB", std::string{static_cast<char>(a), static_cast<char>(b)});
      ASSERT_EQ(ItemBytes(RoundTrip(two)), ItemBytes(two)) << a << " " << b;
    }
  }
  const Item others[] = {
      Program("ABCDEFGH", "", "PASSWORD", "BN"),
      Program("X", "\r\r", "A"),
      Program("%End", "%End\r%Header Record\r%"),
      Program("\xCD\xCE",
              "A\x0A"
              "B",
              "\x0E", "NL"),
      Program("A\rB", "x", "\r\r"),
  };
  for (const Item& item : others) EXPECT_EQ(ItemBytes(RoundTrip(item)), ItemBytes(item));
}

TEST(Catalogue, WrittenAsTheMakersSoftwareReadsIt) {
  EXPECT_EQ(WriteCatalogue({Program("IF",
                                    std::string("\xF7\x00"
                                                "A\x13"
                                                "B\r\"HI\"",
                                                10),
                                    "PW")}),
            "%Header Record\r\nFormat:TXT\r\nCommunication SW:0\r\nData Type:PG\r\nCapacity:13\r\n"
            "File Name:IF\r\nGroup Name:\r\nPassword:PW\r\nOption1:NL\r\nOption2:\r\nOption3:\r\n"
            "Option4:\r\n%Data Record\r\n\\If A\\=>B\r\n\"HI\"\r\n%End\r\n");
}

// As other tools write them: LF line ends, blank lines, a record of another
// kind, a Capacity that is wrong or missing.
TEST(Catalogue, ReadAsOtherToolsWriteIt) {
  const std::string text =
      "%Header Record\nFormat:TXT\nCommunication SW:0\nData Type:PG\nCapacity:99\n"
      "File Name:ONE\nGroup Name:\nPassword:SECRET\nOption1:NL\nOption2:\nOption3:\nOption4:\n"
      "%Data Record\n\\If A>1\n\\Then \"OK\"\\->B\n\\IfEnd\n%End\n\n\n"
      "%Header Record\nFormat:VAL\nData Type:LT\nRows:3\nFile Name:LIST1\n%Data Record\n1\n2\n"
      "3\n%End\n"
      "%Header Record\r\nFormat:TXT\r\nData Type:PG\r\nFile Name:TWO\r\n%Data Record\r\n"
      "Locate 1,1,A\r\n%End\r\n";
  CatalogueRead read;
  std::string error;
  ASSERT_TRUE(ReadCatalogue(text, &read, &error)) << error;
  ASSERT_EQ(read.programs.size(), 2u);
  EXPECT_EQ(ItemBytes(read.programs[0]), ItemBytes(Program("ONE",
                                                           std::string("\xF7\x00"
                                                                       "A>1\r\xF7\x01\"OK\"\x0E"
                                                                       "B\r\xF7\x03",
                                                                       17),
                                                           "SECRET")));
  EXPECT_EQ(ItemBytes(read.programs[1]), ItemBytes(Program("TWO",
                                                           "\xF7\x10"
                                                           "1,1,A")));
  EXPECT_EQ(read.passedOver, std::vector<std::string>{"LIST1 (VAL LT)"});
  ASSERT_EQ(read.warnings.size(), 2u);
  EXPECT_EQ(read.warnings[0],
            "ligne 1 : Capacity:99 ne va pas avec le programme (20) : 20 est pris");
}

TEST(Catalogue, SaysWhereItCannotBeRead) {
  struct Case {
    std::string text, error;
  };
  const std::string head = "%Header Record\nFormat:TXT\nData Type:PG\nFile Name:A\n%Data Record\n";
  const Case cases[] = {
      {head + "A\n", "ligne 6 : le dernier enregistrement n'a pas de %End"},
      {head + "A\nB \\q\n%End\n", "ligne 7 : programme : sequence d'echappement inconnue : \\q"},
      {"Format:TXT\n", "ligne 1 : \"%Header Record\" attendu"},
      {"%Header Record\nFormat TXT\n", "ligne 2 : un champ \"Nom:valeur\" attendu"},
      {"%Header Record\nFormat:TXT\nData Type:PG\nFile Name:TOOLONGNAME\n%Data Record\n%End\n",
       "ligne 1 : nom (1 a 8 octets)"},
      // A line is quoted short, and nothing in it drives the terminal.
      {std::string(8000000, 'x') + "\r",
       "ligne 1 : \"%Header Record\" attendu, pas \"" + std::string(60, 'x') + "...\""},
      {"\x1B[2J\xC2\x9B"
       "1m\xFFz\xE2\x86\x92\n",
       "ligne 1 : \"%Header Record\" attendu, pas \"\\x1B[2J\\xC2\\x9B1m\\xFFz\xE2\x86\x92\""},
  };
  for (const Case& c : cases) {
    CatalogueRead read;
    std::string error;
    EXPECT_FALSE(ReadCatalogue(c.text, &read, &error)) << c.text.substr(0, 80);
    EXPECT_EQ(error.compare(0, c.error.size(), c.error), 0) << error.substr(0, 200);
    EXPECT_LT(error.size(), 200u);
  }
}

// Notepad's byte order mark is no line; names of records passed over are
// quoted safely.
TEST(Catalogue, ByteOrderMarkAndOddNames) {
  CatalogueRead read;
  std::string error;
  ASSERT_TRUE(
      ReadCatalogue("\xEF\xBB\xBF%Header Record\r\nFormat:TXT\r\nData Type:PG\r\n"
                    "File Name:A\r\n%Data Record\r\nB\r\n%End\r\n"
                    "%Header Record\nFormat:VAL\nData Type:LT\nFile Name:\x1B]0;x\a\n"
                    "%Data Record\n%End\n",
                    &read, &error))
      << error;
  ASSERT_EQ(read.programs.size(), 1u);
  EXPECT_EQ(read.passedOver, std::vector<std::string>{"\\x1B]0;x\\x07 (VAL LT)"});
}

// A program item whose size field announces no part (0, 1 or 2) crosses a
// catalogue as it was: no part added, the size field kept.
TEST(Catalogue, ItemsWithoutAPartStayAsTheyAre) {
  for (unsigned long size : {0ul, 1ul, 2ul}) {
    Item item{Header50("TXT", "PG", size, "VIDE"), {}};
    CatalogueRead read;
    std::string error;
    ASSERT_TRUE(ReadCatalogue(WriteCatalogue({item}), &read, &error)) << error;
    ASSERT_EQ(read.programs.size(), 1u);
    EXPECT_EQ(ItemBytes(read.programs[0]), ItemBytes(item)) << size;
    EXPECT_TRUE(read.warnings.empty());
  }
}

// The samples the demo and the guides use hold the sample programs.
TEST(Catalogue, SamplesHoldTheSamplePrograms) {
  const std::string samples = LIAISON_SOURCE_DIR "/samples/";
  CatalogueRead read;
  std::string error;
  ASSERT_TRUE(ReadCatalogue(ReadAll(samples + "programmes.cat"), &read, &error)) << error;
  EXPECT_TRUE(read.warnings.empty());
  std::vector<Item> archive;
  Bytes classe = B(ReadAll(samples + "classe.cas"));
  ASSERT_TRUE(ReadArchive(classe, &archive, &error)) << error;
  const char* files[] = {"DEMO.txt", "exemple.txt", "PGCD.txt"};
  const char* names[] = {"DEMO", "EXEMPLE", "PGCD"};
  ASSERT_EQ(read.programs.size(), 3u);
  ASSERT_EQ(archive.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    Bytes program = B(ReadAll(samples + files[i]).substr(1));
    EXPECT_EQ(ProgramBytes(read.programs[i]), program) << files[i];
    EXPECT_EQ(ItemName(read.programs[i].header), names[i]);
    if (i < 2) {
      EXPECT_EQ(ItemBytes(archive[i]), ItemBytes(read.programs[i])) << files[i];
    }
  }
  EXPECT_EQ(read.programs[2].header[27], 'M');
  EXPECT_EQ(KindOf(archive[2].header), Kind::List);
  EXPECT_EQ(KindOf(archive[3].header), Kind::Matrix);
}

}  // namespace
