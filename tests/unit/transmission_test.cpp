// Whole transmissions over the in-memory line: the part rule for every kind,
// archives, and both sides' answers, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files/archive.h"
#include "link/item.h"
#include "session/transmission.h"
#include "support/blocks.h"
#include "support/memory_line.h"
#include "support/session.h"

namespace {

Bytes Screen40(unsigned char kind, int height, int width) {
  Bytes h = {
      0x3A, 'D',  kind, static_cast<unsigned char>(height), static_cast<unsigned char>(width), 0x10,
      0x44, 0x57, 0x46};
  h.resize(39, 0x00);
  return Sealed(h);
}

TEST(PartRule, EveryKind) {
  struct Case {
    const char* what;
    Bytes header;
    bool known;
    long long count, length;
    Kind kind;
  };
  const Case cases[] = {
      {"program", Header50("TXT", "PG", 10, "A"), true, 1, 8, Kind::Program},
      {"S = 3", Header50("TXT", "PG", 3, "A"), true, 1, 1, Kind::Program},
      {"S = 2", Header50("TXT", "PG", 2, "A"), true, 0, 0, Kind::Program},
      {"S = 0", Header50("IMG", "PC", 0, "A"), true, 0, 0, Kind::Picture},
      {"list", Header50("VAL", "LT", 3 << 16 | 1, "1"), true, 3, 14, Kind::List},
      {"matrix", Header50("VAL", "MT", 2 << 16 | 3, "A"), true, 6, 14, Kind::Matrix},
      {"width 0", Header50("VAL", "VM", 2 << 16 | 0, "A"), true, 2, 14, Kind::Variable},
      {"height 0", Header50("VAL", "LT", 0 << 16 | 5, "A"), true, 0, 14, Kind::List},
      {"picture", Header50("IMG", "PC", 2050, "PICT1"), true, 1, 2048, Kind::Picture},
      {"backup", Header50("MEM", "BU", 65538, "BACKUP"), true, 1, 65536, Kind::Backup},
      {"function", Header50("FNC", "GF", 12, "Y1"), true, 1, 10, Kind::Function},
      {"end", Hex(kEndHeaderHex), true, 0, 0, Kind::End},
      {"unknown type", Header50("TXT", "ZZ", 7, "A"), true, 1, 5, Kind::Other50},
      {"screen", Screen40('D', 64, 128), true, 1, 1024, Kind::Screen},
      {"odd width", Screen40('D', 3, 9), true, 1, 6, Kind::Screen},
      {"colour", Screen40('C', 64, 128), true, 3, 1025, Kind::ColourScreen},
      {"no width", Screen40('D', 64, 0), false, 0, 0, Kind::Screen},
      {"40 bytes, other", Screen40('X', 1, 1), false, 0, 0, Kind::Other40},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(HeaderLength(c.header.data()), static_cast<int>(c.header.size())) << c.what;
    PartRule rule;
    EXPECT_EQ(PartsOf(c.header, &rule), c.known) << c.what;
    EXPECT_EQ(rule.count, c.count) << c.what;
    EXPECT_EQ(rule.length, c.length) << c.what;
    EXPECT_EQ(KindOf(c.header), c.kind) << c.what;
  }
  EXPECT_EQ(HeaderLength(Hex("3A 58 59 5A 00").data()), 40);  // "XYZ\0" is no 50-byte format
  EXPECT_EQ(HeaderLength(Hex("3A 45 4E 44 00").data()), 40);  // END is followed by FF
}

TEST(PartRule, ColourSheetsWithOrWithoutTheirColourByte) {
  PartRule rule;
  ASSERT_TRUE(PartsOf(Screen40('C', 1, 8), &rule));
  Bytes with = Sealed({0x3A, 0x02, 0x81});
  Bytes without = Sealed({0x3A, 0x81});
  without.insert(without.begin() + 1, 0x02);
  EXPECT_TRUE(PartIsSound(with, rule));
  EXPECT_TRUE(PartIsSound(without, rule));
  without.back() ^= 1;
  EXPECT_FALSE(PartIsSound(without, rule));
  ASSERT_TRUE(PartsOf(Screen40('D', 1, 16), &rule));
  Bytes mono = Sealed({0x3A, 0x02, 0x81});
  mono.erase(mono.end() - 1);
  mono.push_back(static_cast<unsigned char>(0x3A - 0x81));  // right only without byte 1
  EXPECT_FALSE(PartIsSound(mono, rule));
}

Bytes Transmission() {
  return Join({ProgramItemBytes("ABC", "abc"),
               ProgramItemBytes("IF", std::string("\xF7\x00"
                                                  "A",
                                                  3)),
               ListItemBytes("1", 3), MatrixItemBytes("A", 2, 2)});
}

TEST(Archive, ReadsItemsAndSaysWhereItIsWrong) {
  std::vector<Item> items;
  std::string error;
  Bytes bytes = Join({Transmission(), Hex(kEndHeaderHex)});
  ASSERT_TRUE(ReadArchive(bytes, &items, &error)) << error;
  ASSERT_EQ(items.size(), 4u);  // the end header is no item
  Bytes again;
  for (const Item& item : items) again = Join({again, ItemBytes(item)});
  EXPECT_EQ(again, Transmission());
  EXPECT_EQ(items[2].parts.size(), 3u);
  EXPECT_EQ(ItemName(items[1].header), "IF");

  struct Case {
    Bytes bytes;
    std::string error;
  };
  Bytes badPart = Transmission();
  badPart[53] ^= 1;
  const Case cases[] = {
      {Slice(Transmission(), 0, 52), "octet 0 : l'archive s'arrete dans les donnees"},
      {Slice(Transmission(), 0, 30), "octet 0 : l'archive s'arrete dans un en-tete"},
      {Join({Transmission(), Hex("00")}), "octet 324 : un en-tete commence par 3A"},
      {badPart, "octet 50 : checksum d'une partie incorrect"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(ReadArchive(c.bytes, &items, &error));
    EXPECT_EQ(error.compare(0, c.error.size(), c.error), 0) << error;
  }
}

TEST(Archive, GrowsItemByItemNeverReplacing) {
  TempDir dir;
  WriteAll(dir / "20261207-101010.cas", "there");
  ArchiveWriter archive(dir.Path(), "20261207-101010");
  std::string error;
  Item item = ProgramItem("A", Bytes{'x'});
  EXPECT_TRUE(archive.Path().empty());
  ASSERT_TRUE(archive.Append(item, &error)) << error;
  ASSERT_TRUE(archive.Append(item, &error)) << error;
  EXPECT_EQ(archive.Path(), dir / "20261207-101010-2.cas");
  Bytes twice = Join({ItemBytes(item), ItemBytes(item)});
  EXPECT_EQ(ReadAll(archive.Path()), std::string(twice.begin(), twice.end()));
  EXPECT_EQ(ReadAll(dir / "20261207-101010.cas"), "there");
  EXPECT_EQ(DateStem(0).size(), 15u);
}

// What the receiving side did, item by item.
struct Record : TransmissionEvents {
  std::vector<Bytes> kept;
  std::vector<ItemEnd> ends;
  bool store = true;
  bool replace = false;
  bool Keep(const Item& item) override {
    if (store) kept.push_back(ItemBytes(item));
    return store;
  }
  bool Replace(const Item&) override { return replace; }
  void ItemEnded(const Item&, ItemEnd end, unsigned char) override { ends.push_back(end); }
};

Bytes Acks(int n) {
  return Bytes(static_cast<size_t>(n), 0x06);
}

TEST(Receiving, EveryAnswerOfAWholeTransmission) {
  const Bytes program = ProgramItemBytes("ABC", "abc");
  const Bytes list = ListItemBytes("1", 3);
  Bytes badPart = program;
  badPart.back() ^= 1;
  Bytes badHeader = program;
  badHeader[49] ^= 1;
  const Bytes huge = Header50("IMG", "QQ", 2 * 1024 * 1024, "BIG");
  struct Case {
    const char* what;
    std::vector<std::pair<Bytes, long>> calculator;  // bytes, after ms
    Bytes fromPc;
    std::vector<Bytes> kept;
    TransmissionEnd end;
    int notDone;
    bool store = true;
  };
  const Bytes end = Hex(kEndHeaderHex);
  const Case cases[] = {
      {"two items and the end",
       {{Join({Hex("16"), program, list, end}), 0}},
       Join({Hex("13"), Acks(2 + 4 + 1)}),
       {program, list},
       TransmissionEnd::EndHeader,
       0},
      {"noise first, 16 between items",
       {{Join({Hex("00 FF 3A 16"), program, Hex("16"), list, end}), 0}},
       Join({Hex("13 06 06 13"), Acks(4 + 1)}),
       {program, list},
       TransmissionEnd::EndHeader,
       0},
      {"no end header: 5 s of silence",
       {{Join({Hex("16"), program}), 0}},
       Hex("13 06 06"),
       {program},
       TransmissionEnd::Silence,
       0},
      {"bad part checksum",
       {{Join({Hex("16"), list, badPart, list}), 0}},
       Join({Hex("13"), Acks(4), Hex("06 2B")}),
       {list},
       TransmissionEnd::Broken,
       1},
      {"bad header checksum",
       {{Join({Hex("16"), badHeader, list}), 0}},
       Hex("13 2B"),
       {},
       TransmissionEnd::Broken,
       1},
      {"absurd size refused, next taken",
       {{Join({Hex("16"), huge, program, end}), 0}},
       Hex("13 24 06 06 06"),
       {program},
       TransmissionEnd::EndHeader,
       1},
      {"silence inside a part",
       {{Join({Hex("16"), Slice(program, 0, 53)}), 0}, {Slice(program, 53, 56), 6000}},
       Hex("13 06"),
       {},
       TransmissionEnd::Broken,
       1},
      {"a backup is alone",
       {{Join({Hex("16"), BackupItemBytes(3000)}), 0}},
       Hex("13 06 06"),
       {BackupItemBytes(3000)},
       TransmissionEnd::Backup,
       0},
      {"store refused: 2B, not 06",
       {{Join({Hex("16"), program}), 0}},
       Hex("13 06 2B"),
       {},
       TransmissionEnd::Broken,
       1,
       false},
      {"13 then nothing", {{Hex("16"), 0}}, Hex("13"), {}, TransmissionEnd::NothingCame, 0},
      // Bytes 3 s apart: no 5 s without a byte, though no read of 5 s gets them all.
      {"slow header",
       {{Join({Hex("16"), Slice(program, 0, 20)}), 0},
        {Slice(program, 20, 40), 3000},
        {Slice(program, 40, 56), 3000}},
       Hex("13 06 06"),
       {program},
       TransmissionEnd::Silence,
       0},
      // The size compared with 1 MiB is the size shown: the data's bytes.
      {"a byte over 1 MiB refused, 1 MiB taken",
       {{Join({Hex("16"), Header50("IMG", "QQ", 1048576 + 3, "A"),
               Header50("IMG", "QQ", 1048576 + 2, "B")}),
         0}},
       Hex("13 24 06"),
       {},
       TransmissionEnd::Broken,
       2},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    for (const auto& arrival : c.calculator) line.Then(arrival.first, arrival.second);
    line.SetIdleReads(3);
    Record record;
    record.store = c.store;
    Summary summary = ReceiveTransmission(-1, record);
    EXPECT_EQ(line.Written(), c.fromPc) << c.what;
    EXPECT_EQ(record.kept, c.kept) << c.what;
    EXPECT_EQ(summary.end, c.end) << c.what;
    EXPECT_EQ(summary.notDone, c.notDone) << c.what;
    EXPECT_EQ(summary.done, static_cast<int>(c.kept.size())) << c.what;
  }
}

TEST(Receiving, LineLostInsideAnItem) {
  MemoryLine line;
  line.Then(Join({Hex("16"), ProgramItemBytes("A", "a"), Slice(ListItemBytes("1", 3), 0, 70)}));
  line.SetIdleReads(0);
  Record record;
  Summary summary = ReceiveTransmission(-1, record);
  EXPECT_EQ(summary.end, TransmissionEnd::LineLost);
  EXPECT_EQ(record.kept, std::vector<Bytes>{ProgramItemBytes("A", "a")});
  EXPECT_EQ(record.ends.back(), ItemEnd::Lost);
}

// The line goes just as the last 0x06 of a stored item leaves: the item is
// kept, and counted once, as kept.
TEST(Receiving, LineLostAtTheLastAck) {
  MemoryLine line;
  line.Then(Join({Hex("16"), ProgramItemBytes("A", "a")}));
  line.FailWritesAfter(2);  // 13 and the header's 06
  Record record;
  Summary summary = ReceiveTransmission(-1, record);
  EXPECT_EQ(summary.end, TransmissionEnd::LineLost);
  EXPECT_EQ(record.kept, std::vector<Bytes>{ProgramItemBytes("A", "a")});
  EXPECT_EQ(record.ends, std::vector<ItemEnd>{ItemEnd::Kept});
  EXPECT_EQ(summary.done, 1);
  EXPECT_EQ(summary.notDone, 0);
}

TEST(Sending, EveryAnswerOfTheCalculator) {
  std::vector<Item> items;
  std::string error;
  ASSERT_TRUE(
      ReadArchive(Join({ProgramItemBytes("ABC", "abc"), ListItemBytes("1", 2)}), &items, &error));
  const Bytes request = Hex("16"), program = ProgramItemBytes("ABC", "abc");
  const Bytes header = Slice(program, 0, 50), part = Slice(program, 50, program.size());
  const Bytes list = ListItemBytes("1", 2), end = Hex(kEndHeaderHex);
  const Bytes listHeader = Slice(list, 0, 50), listParts = Slice(list, 50, list.size());
  struct Case {
    const char* what;
    Bytes answers;
    bool replace;
    Bytes fromPc;
    std::vector<ItemEnd> ends;
    TransmissionEnd how;
  };
  const Case cases[] = {
      {"all accepted",
       Hex("13 06 06 06 06 06"),
       false,
       Join({request, program, list, end}),
       {ItemEnd::Sent, ItemEnd::Sent},
       TransmissionEnd::EndHeader},
      {"exists, replaced",
       Hex("13 21 06 06 06 06 06"),
       true,
       Join({request, header, Hex("06"), part, list, end}),
       {ItemEnd::Replaced, ItemEnd::Sent},
       TransmissionEnd::EndHeader},
      {"exists, kept",
       Hex("13 21 06 06 06 06"),
       false,
       Join({request, header, Hex("15"), list, end}),
       {ItemEnd::LeftAlone, ItemEnd::Sent},
       TransmissionEnd::EndHeader},
      {"24, then the next",
       Hex("13 24 06 06 06"),
       false,
       Join({request, header, list, end}),
       {ItemEnd::Refused, ItemEnd::Sent},
       TransmissionEnd::EndHeader},
      {"2B and 51",
       Hex("13 2B 51"),
       false,
       Join({request, header, listHeader, end}),
       {ItemEnd::RefusedChecksum, ItemEnd::RefusedInvalid},
       TransmissionEnd::EndHeader},
      {"no answer",
       Hex("13"),
       false,
       Join({request, header}),
       {ItemEnd::NoAnswer},
       TransmissionEnd::Broken},
      {"part refused",
       Hex("13 06 2B"),
       false,
       Join({request, program}),
       {ItemEnd::PartRefused},
       TransmissionEnd::Broken},
      // Silence is no answer, not a refusal with the byte 00.
      {"no answer to a part",
       Hex("13 06"),
       false,
       Join({request, program}),
       {ItemEnd::NoAnswer},
       TransmissionEnd::Broken},
      {"no answer to 15",
       Hex("13 21"),
       false,
       Join({request, header, Hex("15")}),
       {ItemEnd::NoAnswer},
       TransmissionEnd::Broken},
  };
  (void)listParts;
  for (const Case& c : cases) {
    MemoryLine line;
    line.Then(c.answers);
    line.SetIdleReads(1);
    Record record;
    record.replace = c.replace;
    Summary summary = SendTransmission(items, record);
    EXPECT_EQ(line.Written(), c.fromPc) << c.what;
    EXPECT_EQ(record.ends, c.ends) << c.what;
    EXPECT_EQ(summary.end, c.how) << c.what;
  }
}

}  // namespace
