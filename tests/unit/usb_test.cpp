// The USB line's logic over a fake bus: finding the one calculator, the
// enabling request, a ClassPad refused, transfers cut anywhere, a device
// pulled out, and a Protocol 7.00 session over it.
#include <gtest/gtest.h>

#include "seven/command.h"
#include "session/seven.h"
#include "support/blocks.h"
#include "support/fake_usb.h"

namespace {

using namespace seven;

std::string Ack() {
  return Encode(Basic(kAck, 0));
}

// A Graph 35+ on the bus: the initial check's ACK once its six bytes are in,
// then the next answer of `script` for each packet.
void PlayCalculator(FakeUsbBus& bus, std::vector<std::vector<std::string>> script) {
  auto state = std::make_shared<std::pair<std::string, size_t>>();
  bus.answer = [state, script](const std::string& chunk) -> std::vector<std::string> {
    state->first += chunk;
    if (state->first == std::string("\x05\x30", 2)) return {};  // waits for the rest
    if (state->first == Encode(Basic(kCheck, 0))) {
      state->first.clear();
      return {Ack()};
    }
    state->first.clear();
    return state->second < script.size() ? script[state->second++] : std::vector<std::string>{};
  };
}

struct NoEvents : SevenEvents {};

TEST(UsbLine, FindsTheOneCalculator) {
  struct Case {
    const char* what;
    std::vector<UsbCalculator> devices;
    UsbOpen open;
    OpenResult result;
    const char* said;
  };
  const Case cases[] = {
      {"none", {}, UsbOpen::Opened, OpenResult::CannotOpen, "aucune calculatrice Casio"},
      {"two",
       {{1, 5, "", ""}, {1, 6, "", ""}},
       UsbOpen::Opened,
       OpenResult::CannotOpen,
       "2 calculatrices Casio en USB"},
      {"no right", {{1, 5, "", ""}}, UsbOpen::NoPermission, OpenResult::CannotOpen, "udev"},
      {"taken", {{1, 5, "", ""}}, UsbOpen::Busy, OpenResult::CannotOpen, "deja prise"},
      {"one", {{1, 5, "CESG502", ""}}, UsbOpen::Opened, OpenResult::Opened, ""},
  };
  for (const Case& c : cases) {
    FakeUsbBus bus;
    bus.devices = c.devices;
    bus.openResult = c.open;
    PlayCalculator(bus, {});
    UsbLine line(bus);
    EXPECT_EQ(line.Open(1), c.result) << c.what;
    EXPECT_NE(line.OpenError().find(c.said), std::string::npos) << c.what << line.OpenError();
    if (c.result == OpenResult::Opened) {
      // The enabling request, then the whole initial check, its ACK taken.
      EXPECT_EQ(bus.controls, (std::vector<std::vector<int>>{{0x41, 0x01, 0, 0}}));
      EXPECT_EQ(bus.written, Encode(Basic(kCheck, 0)));
    }
  }
}

TEST(UsbLine, ClassPadIsRefused) {
  FakeUsbBus bus;
  bus.devices = {{1, 5, "CASIO COMPUTER CO., LTD.", ""}};
  bus.answer = [](const std::string& chunk) -> std::vector<std::string> {
    return chunk == std::string("\x05\x30", 2) ? std::vector<std::string>{"\x05"}
                                               : std::vector<std::string>{};
  };
  UsbLine line(bus);
  EXPECT_EQ(line.Open(1), OpenResult::CannotOpen);
  EXPECT_NE(line.OpenError().find("ClassPad"), std::string::npos);
  EXPECT_EQ(bus.written, std::string("\x05\x30", 2));  // nothing more went to it
  EXPECT_EQ(bus.closed, 1);
}

// Packets cut across transfers and several in one transfer: the session
// reads them by their own lengths.
TEST(UsbLine, SessionOverTransfersCutAnywhere) {
  FakeUsbBus bus;
  std::string info = Encode(Extended(kAck, kAckDevice, std::string(164, 'x')));
  std::string content = std::string(10, '\0') + std::string(300, '\x0D');
  std::vector<Packet> data = DataPackets(kMainFile, content);
  PlayCalculator(bus, {{info.substr(0, 3), info.substr(3, 100), info.substr(103)},  // 01
                       {Ack()},                                                     // 25
                       {Ack().substr(0, 1), Ack().substr(1)},                       // data 1
                       {Ack() + Ack()},  // data 2, and terminate's
                       {}});
  UsbLine line(bus);
  ASSERT_EQ(line.Open(1), OpenResult::Opened);
  SerialBackend& previous = UseSerialBackend(line);
  NoEvents events;
  SevenLink link(events);
  EXPECT_EQ(link.Open(), Step::Done);
  DeviceInfo device;
  EXPECT_EQ(link.Info(&device), Step::Done) << link.Why();
  EXPECT_EQ(device.hardwareId, "xxxxxxxx");
  EXPECT_EQ(link.SendFile(kMainFile, MainFields("system", "P", "PROGRAM", 1), content), Step::Done);
  EXPECT_EQ(link.Close(), Step::Done);  // no speed was changed: terminate only
  UseSerialBackend(previous);
  std::string check = Encode(Basic(kCheck, 0));
  EXPECT_EQ(
      bus.written,
      check + check + Encode(Command(kDeviceInfo)) +
          Encode(Command(kMainFile, MainFields("system", "P", "PROGRAM", 1, content.size()))) +
          Encode(data[0]) + Encode(data[1]) + Encode(Basic(kTerminate, 0)));
}

// A request series over the cable (what liste, recuperer and sauvegarder
// use): the calculator's commands after the roleswap, each answered.
TEST(UsbLine, RequestSeriesOverTheCable) {
  FakeUsbBus bus;
  std::string first = Encode(Command(kStorageInfo, StorageFields("", "A.G1A", 10))),
              second = Encode(Command(kStorageInfo, StorageFields("", "B.G1M", 20)));
  PlayCalculator(bus, {{Ack()},                                                      // 4D
                       {first.substr(0, 9), first.substr(9) + second.substr(0, 4)},  // roleswap
                       {second.substr(4)},                                           // ACK
                       {Encode(Basic(kRoleswap, 0))}});                              // ACK
  UsbLine line(bus);
  ASSERT_EQ(line.Open(1), OpenResult::Opened);
  SerialBackend& previous = UseSerialBackend(line);
  NoEvents events;
  SevenLink link(events);
  EXPECT_EQ(link.Open(), Step::Done);
  std::vector<Announced> files;
  EXPECT_EQ(link.Request(kRequestStorageList, StorageFields("", ""), &files), Step::Done);
  UseSerialBackend(previous);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].fields.d[1], "A.G1A");
  EXPECT_EQ(files[1].fields.size, 20u);
}

// The cable pulled out in the middle of a file: the line is lost, at once
// for what follows.
TEST(UsbLine, DevicePulledOutMidTransfer) {
  FakeUsbBus bus;
  PlayCalculator(bus, {{Ack()}});
  UsbLine line(bus);
  ASSERT_EQ(line.Open(1), OpenResult::Opened);
  bus.goneAfterReads = 3;
  SerialBackend& previous = UseSerialBackend(line);
  NoEvents events;
  SevenLink link(events, SevenTimes{1000, 2000, 800, 30000});  // the waits short
  EXPECT_EQ(link.Open(), Step::Done);
  Step step = link.SendFile(kStorageFile, StorageFields("", "BIG.BIN"), std::string(2000, 'b'));
  EXPECT_EQ(step, Step::LineLost);
  int written = 0;
  EXPECT_EQ(WriteCOM("x", 1, &written), 0);
  UseSerialBackend(previous);
}

}  // namespace
