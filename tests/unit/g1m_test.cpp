// Main-memory archives (.g1m) byte for byte, and programs crossing between
// the two generations' tables, code by code.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "files/g1m.h"
#include "support/blocks.h"
#include "text/crossing.h"

namespace {

std::string Str(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

MainFile FileOf(const G1mEntry& entry) {
  MainFile file;
  file.group = entry.group;
  file.directory = entry.directory;
  file.name = entry.name;
  file.type = static_cast<unsigned char>(entry.type);
  file.content = entry.content;
  return file;
}

void ExpectSame(const std::vector<MainFile>& read, const std::vector<G1mEntry>& entries) {
  ASSERT_EQ(read.size(), entries.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].group, entries[i].group.substr(0, 16)) << i;
    EXPECT_EQ(read[i].directory, entries[i].directory) << i;
    EXPECT_EQ(read[i].name, entries[i].name) << i;
    EXPECT_EQ(read[i].type, entries[i].type) << i;
    EXPECT_EQ(read[i].content, entries[i].content) << i;
  }
}

TEST(G1m, WorkedExampleByteForByte) {
  const std::string demo = Str(Hex(kDemoG1mHex));
  ASSERT_EQ(demo.size(), 106u);
  G1mRead read;
  std::string error;
  ASSERT_TRUE(ReadG1m(demo, &read, &error)) << error;
  EXPECT_TRUE(read.warnings.empty());
  ExpectSame(read.files, {G1mProgram("DEMO", Str(Hex(kDemoProgramHex)))});
  EXPECT_EQ(WriteG1m(read.files), demo);
  EXPECT_EQ(WriteG1m({ProgramFile("DEMO", Str(Hex(kDemoProgramHex)))}), demo);
  std::string program, password = "x";
  ASSERT_TRUE(ProgramOf(read.files[0], &program, &password));
  EXPECT_EQ(program, Str(Hex(kDemoProgramHex)));
  EXPECT_EQ(password, "");
}

TEST(G1m, RoundTrips) {
  const std::vector<std::vector<G1mEntry>> archives = {
      {G1mProgram("A", "x"), G1mProgram("B", "", "MDP"), G1mProgram("EIGHTCHR", "y", "PASSWORD")},
      {G1mProgram("P", "1"),
       {"LIST", "main", "LIST 1", 5, std::string("\x00\xFF\x10", 3)},
       {"LIST", "main", "LIST 2", 5, ""},
       {"SIXTEEN_CHARS_GR", "dir45678", "N", 0x7E, "z"}},
      {{"Q", "d", "n", 0xFF, std::string(300, '\x5C')}},
  };
  for (const auto& entries : archives) {
    std::vector<MainFile> files;
    for (const G1mEntry& entry : entries) files.push_back(FileOf(entry));
    std::string bytes = WriteG1m(files);
    EXPECT_EQ(bytes, G1mBytes(entries));
    G1mRead read;
    std::string error;
    ASSERT_TRUE(ReadG1m(bytes, &read, &error)) << error;
    EXPECT_TRUE(read.warnings.empty());
    ExpectSame(read.files, entries);
  }
}

// Files of one group apart from each other are read, and written under one
// group header, in the order the groups first came.
TEST(G1m, GroupsComeTogether) {
  std::vector<G1mEntry> apart = {
      G1mProgram("A", "1"), {"OTHER", "d", "X", 9, "x"}, G1mProgram("B", "2")};
  G1mRead read;
  std::string error;
  ASSERT_TRUE(ReadG1m(G1mBytes(apart), &read, &error)) << error;
  ExpectSame(read.files, apart);
  EXPECT_EQ(WriteG1m(read.files), G1mBytes({apart[0], apart[2], apart[1]}));
}

TEST(G1m, NamesEndAtFFAndLeftoversAreSaid) {
  std::string bytes = G1mBytes({G1mProgram("AB", "x")});
  bytes[0x3C + 2] = '\xFF';  // the name's padding as FF
  bytes[0x3C + 3] = 'Z';
  bytes += "tail";
  G1mRead read;
  std::string error;
  ASSERT_TRUE(ReadG1m(bytes, &read, &error)) << error;
  EXPECT_EQ(read.files[0].name, "AB");
  ASSERT_EQ(read.warnings.size(), 2u);  // the size in the header, the 4 bytes after
  EXPECT_EQ(read.warnings[1], "4 octet(s) apres le dernier fichier, laisses de cote");
}

// The colour models' archive: the same layout, the type byte 75 where a
// .g1m has 62 (both inverted), read and written alike.
TEST(G1m, ColourArchives) {
  std::vector<MainFile> files = {ProgramFile("A",
                                             "\xF7\x00"
                                             "1"),
                                 ProgramFile("B", "")};
  std::string g1m = WriteG1m(files), g3m = WriteG1m(files, true);
  ASSERT_EQ(g3m.size(), g1m.size());
  for (size_t i = 0; i < g1m.size(); ++i)
    if (i != 8) {
      EXPECT_EQ(g3m[i], g1m[i]) << i;
    }
  EXPECT_EQ(static_cast<unsigned char>(~g1m[8]), 0x62);
  EXPECT_EQ(static_cast<unsigned char>(~g3m[8]), 0x75);
  G1mRead read;
  std::string error;
  ASSERT_TRUE(ReadG1m(g3m, &read, &error)) << error;
  EXPECT_TRUE(read.colour);
  ASSERT_EQ(read.files.size(), 2u);
  EXPECT_EQ(read.files[0].content, files[0].content);
  ASSERT_TRUE(ReadG1m(g1m, &read, &error)) << error;
  EXPECT_FALSE(read.colour);
  EXPECT_EQ(OtherContainer(g3m), "");
}

// A colour model's add-in or picture: its kind and the title of its extra
// header, or nothing where no text stands.
TEST(G1m, ColourFilesAndTheirTitles) {
  auto file = [](unsigned char type, const std::string& title) {
    std::string bytes(0x70, '\0');
    const std::string magic = "USBPower";
    for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(~magic[i]);
    bytes[8] = static_cast<char>(~type);
    bytes.replace(0x40, title.size(), title);
    return bytes;
  };
  EXPECT_EQ(ColourTitle(file(0x2C, "Geometrie")), "Geometrie");
  EXPECT_EQ(ColourTitle(file(0x7D, "Carte")), "Carte");
  EXPECT_EQ(ColourTitle(file(0x2C, std::string(40, 'T'))), std::string(32, 'T'));
  EXPECT_EQ(ColourTitle(file(0x2C, "\x1B[2J")), "");  // no escape reaches the terminal
  EXPECT_EQ(ColourTitle(file(0xF3, "Pas moi")), "");    // a .g1a has no such header
  EXPECT_EQ(ColourTitle(file(0x2C, "Court").substr(0, 0x50)), "");
  EXPECT_EQ(OtherContainer(file(0x2C, "")), "une application de Graph 90+E (.g3a)");
  EXPECT_EQ(OtherContainer(file(0x7D, "")), "une image de Graph 90+E (.g3p)");
}

TEST(G1m, RefusesWhatIsNoMainMemoryArchive) {
  const std::string whole = G1mBytes({G1mProgram("A", "abc"), G1mProgram("B", "def")});
  G1mRead read;
  std::string error;
  for (size_t cut = 0; cut < whole.size(); ++cut)
    EXPECT_FALSE(ReadG1m(whole.substr(0, cut), &read, &error)) << cut;
  struct Foreign {
    unsigned char type;
    const char* said;
  };
  for (const Foreign& f : {Foreign{0xF3, ".g1a"}, Foreign{0x12, ".g1l"}, Foreign{0x49, ".g1e"},
                           Foreign{0x31, ".g2m"}}) {
    std::string other = whole;
    other[8] = static_cast<char>(~f.type);
    EXPECT_FALSE(ReadG1m(other, &read, &error));
    EXPECT_NE(error.find(f.said), std::string::npos) << error;
  }
  EXPECT_FALSE(ReadG1m(std::string(32, '\0') + whole.substr(32), &read, &error));  // all FF
  std::string counted = whole;
  counted[31] = static_cast<char>(~3);  // three files announced, two there
  EXPECT_FALSE(ReadG1m(counted, &read, &error));
  std::string longer = whole;
  longer[0x34 + 20] = '\x7F';  // the first content's length past the end
  EXPECT_FALSE(ReadG1m(longer, &read, &error));
  EXPECT_NE(error.find("programme A annonce"), std::string::npos) << error;
}

// Both tables as the data files give them: code, and the fx-9860G table's
// graph35 column.
std::map<std::string, std::string> TableRows(const char* file) {
  std::ifstream in(std::string(LIAISON_SOURCE_DIR) + "/src/text/" + file);
  std::map<std::string, std::string> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#' || line.compare(0, 5, "code\t") == 0) continue;
    std::string hex = line.substr(0, line.find('\t')), code;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      code += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    rows[code] = line.substr(line.rfind('\t') + 1);
  }
  return rows;
}

TEST(Crossing, EveryFx9860CodeToTheGraph35) {
  auto rows = TableRows("fx9860-tokens.tsv");
  ASSERT_GT(rows.size(), 1300u);
  for (const auto& [code, graph35] : rows) {
    Crossing c = ToGraph35("A" + code + "B");
    unsigned char lead = static_cast<unsigned char>(code[0]);
    bool family =
        code.size() == 2 && (lead == 0xE5 || lead == 0xE6 || lead == 0xE7 || lead == 0xF9);
    if (code == "\x7F\x99") {
      EXPECT_EQ(c.bytes,
                "A\x7F\x2D"
                "B");
    } else if (code == "\xEB") {
      EXPECT_EQ(c.bytes,
                "A\xEB"
                "B");
      EXPECT_EQ(c.uncertain.size(), 1u);
    } else if (graph35 == "same" && !family) {
      EXPECT_EQ(c.bytes, "A" + code + "B");
      EXPECT_TRUE(c.refused.empty() && c.uncertain.empty()) << Str(Hex("00")) << code;
    } else {
      ASSERT_EQ(c.refused.size(), 1u) << graph35;
      EXPECT_EQ(c.refused[0].code, code);
      EXPECT_EQ(c.refused[0].column, 2);
    }
  }
}

TEST(Crossing, EveryGraph35CodeToTheFx9860) {
  auto legacy = TableRows("graph35-tokens.tsv");
  auto fx = TableRows("fx9860-tokens.tsv");
  ASSERT_GT(legacy.size(), 500u);
  int crossing = 0;
  for (const auto& row : legacy) {
    const std::string& code = row.first;
    Crossing c = ToFx9860(code + "\r");
    if (code == "\x7F\x2D") {
      EXPECT_EQ(c.bytes, "\x7F\x99\r");
    } else if (code == "\xEB") {
      EXPECT_EQ(c.uncertain.size(), 1u);
    } else if (fx.count(code) && fx[code] == "same") {
      EXPECT_EQ(c.bytes, code + "\r");
      EXPECT_TRUE(c.refused.empty());
      ++crossing;
    } else {
      ASSERT_EQ(c.refused.size(), 1u);
      EXPECT_EQ(c.refused[0].code, code);
    }
  }
  EXPECT_EQ(crossing, 517);  // every code the fx-9860G table marks "same"
  // The differences the two tables are known by.
  for (const char* gone : {"\xAF", "\x7F\x55", "\x7F\x97", "\xD2", "\xD8", "\xE5", "\xE6", "\xE7",
                           "\x7F\x17", "\x7F\x31", "\x7F\x39"})
    EXPECT_EQ(ToFx9860(gone).refused.size(), 1u) << Str(Hex("00")) + gone;
}

// Every refused code by line and column, as the text shows them; an E5 of the
// old table never swallows the byte after it.
TEST(Crossing, PlacesOfRefusedCodes) {
  Crossing c =
      ToGraph35(std::string("\xF7\x00"
                            "A\r\xE5\x01X\r\x7F\x55",
                            10));
  ASSERT_EQ(c.refused.size(), 2u);
  EXPECT_EQ(c.refused[0].line, 2);
  EXPECT_EQ(c.refused[0].column, 1);
  EXPECT_EQ(c.refused[1].line, 3);
  EXPECT_EQ(c.refused[1].text, "Ref ");
  c = ToGraph35(std::string("If A", 4));
  EXPECT_TRUE(c.refused.empty());
  c =
      ToFx9860(std::string("\xF7\x00"
                           "A=1\xE5"
                           "B",
                           7));
  ASSERT_EQ(c.refused.size(), 1u);
  EXPECT_EQ(c.refused[0].column, 7);  // "If A=1" is 6 characters
  EXPECT_EQ(c.refused[0].code, "\xE5");
}

// A program item and a main-memory program: the same name, password and
// program both ways; a refusal names the program and each place.
TEST(Crossing, ItemsAndMainMemoryPrograms) {
  Bytes bytes = ProgramItemBytes("PGCD",
                                 std::string("\x7F\x2D"
                                             "A\r\xEB",
                                             5),
                                 "MATH");
  Item item{Slice(bytes, 0, 50), {Slice(bytes, 50, bytes.size())}};
  MainFile file;
  std::vector<std::string> notes;
  std::string error;
  ASSERT_TRUE(ProgramOfItem(item, &file, &notes, &error)) << error;
  EXPECT_EQ(file.content, G1mProgramContent(std::string("\x7F\x99"
                                                        "A\r\xEB",
                                                        5),
                                            "MATH"));
  EXPECT_EQ(notes.size(), 1u);
  Item back;
  ASSERT_TRUE(ItemOfProgram(file, &back, &notes, &error)) << error;
  EXPECT_EQ(ItemBytes(back), bytes);

  file = ProgramFile("NEW", std::string("\x7F\x55\r\xF9\x05", 5));
  EXPECT_FALSE(ItemOfProgram(file, &back, &notes, &error));
  EXPECT_EQ(error,
            "programme NEW : 2 code(s) inconnu(s) de la Graph 35/65\n"
            "  ligne 1, colonne 1 : Ref \n  ligne 2, colonne 1 : " +
                CodesOf(std::string("\xF9\x05", 2), Table::Fx9860)[0].text);
  file.type = 0x05;
  EXPECT_FALSE(ItemOfProgram(file, &back, &notes, &error));
}

}  // namespace
