// Protocol 7.00's packets byte for byte: every ready-made packet and the
// worked exchanges, escaping, data in pieces, commands' payloads, and the
// device information.
#include <gtest/gtest.h>

#include "seven/command.h"
#include "support/blocks.h"

namespace {

using namespace seven;

std::string H(const std::string& spaced) {
  Bytes bytes = Hex(spaced);
  return std::string(bytes.begin(), bytes.end());
}

TEST(SevenPackets, ReadyMadeBasicPackets) {
  struct Case {
    Packet packet;
    const char* hex;
  };
  const Case cases[] = {
      {Basic(kCheck, 0), "05 30 30 30 37 30"},
      {Basic(kCheck, 1), "05 30 31 30 36 46"},
      {Basic(kRoleswap, 0), "03 30 30 30 37 30"},
      {Basic(kAck, 0), "06 30 30 30 37 30"},
      {Basic(kAck, 1), "06 30 31 30 36 46"},
      {Basic(kAck, 3), "06 30 33 30 36 44"},
      {Basic(kNak, 0), "15 30 30 30 37 30"},
      {Basic(kNak, 1), "15 30 31 30 36 46"},
      {Basic(kNak, 2), "15 30 32 30 36 45"},
      {Basic(kNak, 3), "15 30 33 30 36 44"},
      {Basic(kNak, 4), "15 30 34 30 36 43"},
      {Basic(kNak, 5), "15 30 35 30 36 42"},
      {Basic(kTerminate, 0), "18 30 30 30 37 30"},
      {Basic(kTerminate, 1), "18 30 31 30 36 46"},
      {Basic(kTerminate, 2), "18 30 32 30 36 45"},
      {Basic(kTerminate, 3), "18 30 33 30 36 44"},
      {Command(kDeviceInfo), "01 30 31 30 36 46"},
      {Command(kRequestAllMain), "01 32 39 30 36 35"},
      {Command(kRequestMainFree), "01 32 42 30 35 43"},
      {Command(kRequestMainList), "01 32 44 30 35 41"},
  };
  for (const Case& c : cases) {
    std::string bytes = Encode(c.packet);
    EXPECT_EQ(bytes, H(c.hex)) << c.hex;
    size_t length = 0;
    Packet back;
    ASSERT_EQ(CutPacket(bytes, &length, &back), Cut::Whole) << c.hex;
    EXPECT_EQ(length, 6u);
    EXPECT_TRUE(back.Is(c.packet.type, c.packet.subtype));
  }
}

// The exchanges of the facts sheet: sending DEMO, listing storage, the
// speed change.
TEST(SevenPackets, WorkedExchanges) {
  Fields demo = MainFields("system", "DEMO", "PROGRAM", 1, 30);
  EXPECT_EQ(Encode(Command(kMainFile, demo)),
            H("01 32 35 31 30 30 32 39 30 30 30 31 30 30 30 30 30 30 31 45 30 36 30 34 30 37 "
              "30 30 30 30 30 30 73 79 73 74 65 6D 44 45 4D 4F 50 52 4F 47 52 41 4D 31 33"));
  std::string content = std::string(10, '\0') + H(kDemoProgramHex);
  std::vector<Packet> data = DataPackets(kMainFile, content);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(Encode(data[0]),
            H("02 32 35 31 30 30 33 36 30 30 30 31 30 30 30 31 5C 20 5C 20 5C 20 5C 20 5C 20 "
              "5C 20 5C 20 5C 20 5C 20 5C 20 22 48 45 4C 4C 4F 22 5C 2D 3F 5C 2E 41 5C 2D 41 "
              "A9 41 5C 2E 42 5C 2D 42 5C 2C 32 37"));
  Fields list;
  list.d[4] = "fls0";
  EXPECT_EQ(Encode(Command(kRequestStorageList, list)),
            H("01 34 44 31 30 30 31 43 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 30 "
              "30 30 30 34 30 30 66 6C 73 30 38 41"));
  Packet info;
  size_t length = 0;
  ASSERT_EQ(CutPacket(H("01 34 45 31 30 30 32 37 30 30 30 30 30 30 30 30 31 41 32 43 30 30 30 "
                        "42 30 30 30 30 30 34 30 30 4D 59 41 44 44 49 4E 2E 47 31 41 66 6C 73 "
                        "30 36 45"),
                      &length, &info),
            Cut::Whole);
  Fields file;
  ASSERT_TRUE(ReadFields(info, &file));
  EXPECT_EQ(file.size, 0x1A2Cu);
  EXPECT_EQ(file.d[0], "");
  EXPECT_EQ(file.d[1], "MYADDIN.G1A");
  EXPECT_EQ(file.d[4], "fls0");
  Fields speed;
  speed.d[0] = "115200";
  speed.d[1] = "EVEN";
  speed.d[2] = "1";
  EXPECT_EQ(Encode(Command(kLinkSettings, speed)),
            H("01 30 32 31 30 30 32 33 30 30 30 30 30 30 30 30 30 30 30 30 30 36 30 34 30 31 "
              "30 30 30 30 30 30 31 31 35 32 30 30 45 56 45 4E 31 39 35"));
}

TEST(SevenPackets, EscapingOfEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string escaped = Escape(all), back;
  EXPECT_EQ(escaped.size(), 256u + 32 + 1);  // 00-1F and 5C take two bytes
  for (int b = 0; b < 0x20; ++b)
    EXPECT_EQ(escaped.substr(2 * b, 2), std::string("\x5C") + char(b + 0x20));
  ASSERT_TRUE(Unescape(escaped, &back));
  EXPECT_EQ(back, all);
  EXPECT_FALSE(Unescape("ab\x5C", &back));
  // A whole data packet of every value crosses back whole.
  for (const Packet& p : DataPackets(kStorageFile, all + all)) {
    size_t length = 0;
    Packet read;
    ASSERT_EQ(CutPacket(Encode(p), &length, &read), Cut::Whole);
    EXPECT_EQ(read.data, p.data);
  }
}

TEST(SevenPackets, FilesInPiecesAndTheirChecks) {
  for (size_t size : {1, 255, 256, 257, 512, 1055, 65536}) {
    std::string content(size, '\x5C');
    std::vector<Packet> packets = DataPackets(kStorageFile, content);
    EXPECT_EQ(packets.size(), (size + 255) / 256) << size;
    DataReceiver receiver(kStorageFile, size);
    std::string why;
    for (const Packet& p : packets) {
      EXPECT_FALSE(receiver.Done());
      ASSERT_TRUE(receiver.Take(p, &why)) << size << why;
    }
    EXPECT_TRUE(receiver.Done());
    EXPECT_EQ(receiver.Content(), content);
    EXPECT_EQ(packets.back().data.size() - 8, size % 256 ? size % 256 : 256);
  }
  EXPECT_TRUE(DataPackets(kMainFile, "").empty());
  EXPECT_TRUE(DataReceiver(kMainFile, 0).Done());

  std::vector<Packet> three = DataPackets(kMainFile, std::string(600, 'x'));
  struct Case {
    const char* what;
    std::vector<Packet> packets;
    unsigned long size;
    const char* why;
  };
  Packet otherTotal = three[1];
  otherTotal.data.replace(0, 4, "0004");
  Packet empty = Extended(kData, kMainFile, "00030003");
  // Each refused for its own reason: out of order, the sizes add up.
  const Case bad[] = {
      {"gap", {three[0], three[2]}, 600, "paquet 3 apres le paquet 1"},
      {"out of order", {three[0], three[2], three[1]}, 600, "paquet 3 apres le paquet 1"},
      {"again", {three[0], three[0]}, 600, "paquet 1 apres le paquet 1"},
      {"total changes", {three[0], otherTotal}, 600, "nombre de paquets 4 au lieu de 3"},
      {"more than announced", three, 599, "donnees de 600 octets pour 599 annonces"},
      {"fewer than announced", three, 601, "donnees de 600 octets pour 601 annonces"},
      {"no byte", {three[0], three[1], empty}, 600, "paquet de donnees mal forme"},
      {"other code", DataPackets(kStorageFile, "x"), 1, "paquet de donnees mal forme"},
  };
  for (const Case& c : bad) {
    DataReceiver receiver(kMainFile, c.size);
    std::string why;
    bool all = true;
    for (const Packet& p : c.packets) all = all && receiver.Take(p, &why);
    EXPECT_FALSE(all && receiver.Done()) << c.what;
    EXPECT_EQ(why, c.why) << c.what;
  }
}

TEST(SevenPackets, CuttingTheStream) {
  std::string ack = Encode(Basic(kAck, 0));
  size_t length = 0;
  Packet p;
  for (size_t n = 0; n < ack.size(); ++n)
    EXPECT_EQ(CutPacket(ack.substr(0, n), &length, &p), Cut::More) << n;
  EXPECT_EQ(CutPacket(ack + "junk", &length, &p), Cut::Whole);
  std::string corrupt = ack;
  corrupt[5] = '1';
  EXPECT_EQ(CutPacket(corrupt, &length, &p), Cut::Corrupt);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case outOfStep[] = {
      {"unknown type",
       "\x07"
       "00070"},
      {"lower-case hex",
       "\x06"
       "0a0"},
      {"extended flag",
       "\x06"
       "002"},
      {"data size 0",
       "\x01"
       "0110000"},
      {"data size too large",
       "\x01"
       "011FFFF"},
      {"lower-case size",
       "\x01"
       "01100a1"},
  };
  for (const Case& c : outOfStep)
    EXPECT_EQ(CutPacket(c.bytes, &length, &p), Cut::OutOfStep) << c.what;
  std::string extended = Encode(Command(kMainFile, MainFields("system", "A", "PROGRAM", 1, 3)));
  EXPECT_EQ(CutPacket(extended.substr(0, 9), &length, &p), Cut::More);
  EXPECT_EQ(length, extended.size());
}

TEST(SevenPackets, PayloadsAreReadStrictly) {
  Fields f = MainFields("system", "DEMO", "PROGRAM", 1, 30);
  Packet command = Command(kMainFile, f);
  Fields back;
  ASSERT_TRUE(ReadFields(command, &back));
  EXPECT_EQ(back.type, 1);
  EXPECT_EQ(back.size, 30u);
  EXPECT_EQ(back.d[2], "PROGRAM");
  Packet longer = command;
  longer.data += "X";
  EXPECT_FALSE(ReadFields(longer, &back));
  Packet lower = command;
  lower.data[11] = 'e';
  EXPECT_FALSE(ReadFields(lower, &back));
}

TEST(SevenPackets, DeviceInformation) {
  // The worked example's 164 bytes, after its 8-byte head.
  const std::string packet =
      H("06 30 32 31 30 30 41 34 47 79 33 36 32 30 30 37 52 45 4E 45 53 41 53 20 53 48 37 33 35 "
        "35 30 31 30 30 30 30 30 30 30 30 30 30 30 30 34 30 39 36 30 30 30 30 30 35 31 32 FF FF "
        "FF FF FF FF FF FF FF FF FF FF FF FF FF FF 30 31 2E 30 34 2E 30 30 30 30 FF FF FF FF FF FF "
        "41 30 30 30 30 30 30 30 30 30 30 30 30 30 36 34 30 32 2E 30 34 2E 30 32 30 31 FF FF FF FF "
        "FF FF 41 30 30 31 30 30 30 30 30 30 30 30 32 34 39 36 37 2E 30 30 41 42 43 44 45 46 47 48 "
        "FF FF FF FF FF FF FF FF 41 4C 49 43 45 FF FF FF FF FF FF FF FF FF FF FF 45 41");
  size_t length = 0;
  Packet p;
  ASSERT_EQ(CutPacket(packet, &length, &p), Cut::Whole);
  ASSERT_TRUE(p.Is(kAck, kAckDevice));
  DeviceInfo info;
  ASSERT_TRUE(ReadDeviceInfo(p.data, &info));
  EXPECT_EQ(info.hardwareId, "Gy362007");
  EXPECT_EQ(info.flashKiB, "00004096");
  EXPECT_EQ(info.romVersion, "");
  EXPECT_EQ(info.bootVersion, "01.04.0000");
  EXPECT_EQ(info.osVersion, "02.04.0201");
  EXPECT_EQ(info.osSizeKiB, "00002496");
  EXPECT_EQ(info.protocol, "7.00");
  EXPECT_EQ(info.productId, "ABCDEFGH");
  EXPECT_EQ(info.userName, "ALICE");
  EXPECT_EQ(Encode(Extended(kAck, kAckDevice, DeviceInfoPayload(info))), packet);
  // Every hardware id the calculators are known by, as `info` names it.
  const std::pair<const char*, const char*> models[] = {
      {"Gy362000", "code de demarrage (fx-9750G, fx-9860GII SD...)"},
      {"Gy363000", "code de demarrage (Graph 35+E, Graph 75+E...)"},
      {"Gy490000", "code de demarrage (fx-7400GII-2)"},
      {"Gy362006", "Graph 35+ (SH3)"},
      {"Gy362007", "Graph 35+ (SH4) ou Graph 35+E"},
      {"Gy36200F", "Graph 35+E"},
      {"Gy363006", "Graph 75 (SH3)"},
      {"Gy363007", "Graph 75 ou Graph 95 (SH4)"},
      {"Gy36300F", "Graph 75+E"},
      {"Ly755000", "fx-CG20 (Prizm)"},
      {"Gy36200f", ""},
      {"", ""},
  };
  for (const auto& m : models) EXPECT_EQ(ModelOf(m.first), m.second) << m.first;
  EXPECT_FALSE(ReadDeviceInfo(p.data.substr(0, 163), &info));
}

}  // namespace
