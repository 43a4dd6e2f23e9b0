// Protocol 7.00 sessions over the in-memory line: the calculator's answers
// are scripted, the PC's packets checked byte for byte, the waits cost no
// real time.
#include <gtest/gtest.h>

#include "seven/command.h"
#include "session/seven.h"
#include "support/blocks.h"
#include "support/memory_line.h"

namespace {

using namespace seven;

Bytes B(const Packet& packet) {
  std::string bytes = Encode(packet);
  return Bytes(bytes.begin(), bytes.end());
}

Bytes Ack(int sub = 0) {
  return B(Basic(kAck, sub));
}
Bytes Nak(int sub) {
  return B(Basic(kNak, sub));
}

struct Asked : SevenEvents {
  bool replace = false;
  std::vector<std::string> asked;
  bool Replace(const std::string& name) override {
    asked.push_back(name);
    return replace;
  }
};

const std::string kDemoContent = std::string(10, '\0') +
                                 "\"HELLO\"\r?\x0E"
                                 "A\rA\xA9"
                                 "A\x0E"
                                 "B\rB\x0C";

TEST(SevenSession, OpensWithTheInitialCheck) {
  {
    MemoryLine line;
    line.Then(Ack(), 2000);  // later than two checks' 0.8 s
    Asked events;
    SevenLink link(events);
    EXPECT_EQ(link.Open(), Step::Done);
    EXPECT_EQ(line.Written(),
              Join({B(Basic(kCheck, 0)), B(Basic(kCheck, 0)), B(Basic(kCheck, 0))}));
  }
  MemoryLine silent;
  silent.SetIdleReads(100);
  Asked events;
  SevenLink link(events);
  EXPECT_EQ(link.Open(), Step::NoAnswer);
  EXPECT_EQ(silent.Written().size(), 8u * 6);
  EXPECT_EQ(g_cto.ReadTotalTimeoutConstant, 5000u);  // the older protocol's waits are back
}

// A slow calculator answers the three checks it got at once: the two late
// ACKs are no answers to the packets that follow.
TEST(SevenSession, LateAnswersToTheChecksAreDropped) {
  MemoryLine line;
  DeviceInfo device;
  device.hardwareId = "Gy36300F";
  line.Then(Join({Ack(), Ack(), Ack()}), 2000)
      .Then(B(Extended(kAck, kAckDevice, DeviceInfoPayload(device))), 300);
  Asked events;
  SevenLink link(events);
  ASSERT_EQ(link.Open(), Step::Done);
  DeviceInfo info;
  EXPECT_EQ(link.Info(&info), Step::Done) << link.Why();
  EXPECT_EQ(info.hardwareId, "Gy36300F");
  EXPECT_EQ(line.Written(), Join({B(Basic(kCheck, 0)), B(Basic(kCheck, 0)), B(Basic(kCheck, 0)),
                                  B(Command(kDeviceInfo))}));
}

// The worked exchange: DEMO to main memory, with and without the question.
TEST(SevenSession, SendsAProgramToMainMemory) {
  struct Case {
    const char* what;
    std::vector<Bytes> answers;
    bool replace;
    Step step;
    std::vector<Bytes> written;
  };
  Fields demo = MainFields("system", "DEMO", "PROGRAM", 1);
  Fields sized = demo;
  sized.size = 30;
  Bytes command = B(Command(kMainFile, sized)), data = B(DataPackets(kMainFile, kDemoContent)[0]);
  const Case cases[] = {
      {"new", {Ack(), Ack()}, false, Step::Done, {command, data}},
      {"replaced",
       {Nak(kNakExists), Ack(), Ack()},
       true,
       Step::Done,
       {command, Ack(kAckOverwrite), data}},
      {"kept", {Nak(kNakExists), Ack()}, false, Step::Kept, {command, Nak(kNakNoOverwrite)}},
      {"full", {Nak(kNakFull)}, false, Step::Refused, {command}},
      // A damaged answer is asked for again; a packet the calculator found
      // damaged goes again.
      {"damaged answer",
       {Bytes{0x06, '0', '0', '0', '7', '1'}, Ack(), Ack()},
       false,
       Step::Done,
       {command, Nak(kNakResend), data}},
      {"resend asked",
       {Nak(kNakResend), Ack(), Ack()},
       false,
       Step::Done,
       {command, command, data}},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    for (const Bytes& answer : c.answers) line.Then(answer);
    Asked events;
    events.replace = c.replace;
    SevenLink link(events);
    EXPECT_EQ(link.SendFile(kMainFile, demo, kDemoContent), c.step) << c.what;
    EXPECT_EQ(line.Written(), Join(c.written)) << c.what;
    if (c.step == Step::Refused) {
      EXPECT_EQ(link.Nak(), kNakFull);
    }
  }
}

// No answer within 10 s: the regular check, then the packet again; a check
// that gets no answer either ends it.
TEST(SevenSession, SilenceBringsTheRegularCheck) {
  Bytes command = B(Command(kDeleteMain, MainFields("system", "A", "PROGRAM", 1)));
  {
    MemoryLine line;
    line.Then(Nak(kNakResend), 10500).Then(Ack());
    Asked events;
    SevenLink link(events);
    EXPECT_EQ(link.Simple(kDeleteMain, MainFields("system", "A", "PROGRAM", 1)), Step::Done);
    EXPECT_EQ(line.Written(), Join({command, B(Basic(kCheck, 1)), command}));
  }
  MemoryLine line;
  line.SetIdleReads(2);
  Asked events;
  SevenLink link(events);
  EXPECT_EQ(link.Simple(kDeleteMain, MainFields("system", "A", "PROGRAM", 1)), Step::NoAnswer);
  EXPECT_EQ(line.Written(), Join({command, B(Basic(kCheck, 1))}));
}

// The line switches only once the calculator has acknowledged the speed,
// and comes back to 9600 N 2 before the end of the link.
TEST(SevenSession, SpeedChangesAfterTheAck) {
  Fields fast;
  fast.d[0] = "115200";
  fast.d[1] = "EVEN";
  fast.d[2] = "1";
  Fields slow;
  slow.d[0] = "9600";
  slow.d[1] = "NONE";
  slow.d[2] = "2";
  {
    MemoryLine line;
    line.Then(Nak(kNakError));
    Asked events;
    SevenLink link(events);
    EXPECT_EQ(link.SetSpeed(115200), Step::Refused);
    EXPECT_TRUE(line.Speeds().empty());
    EXPECT_EQ(g_dcb.BaudRate, 9600u);
  }
  MemoryLine line;
  line.Then(Ack()).Then(Ack()).Then(Ack());
  Asked events;
  SevenLink link(events);
  ASSERT_EQ(link.SetSpeed(115200), Step::Done);
  EXPECT_EQ(g_dcb.BaudRate, 115200u);
  EXPECT_EQ(g_dcb.Parity, EVENPARITY);
  EXPECT_EQ(g_dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(link.Close(), Step::Done);
  Bytes first = B(Command(kLinkSettings, fast)), back = B(Command(kLinkSettings, slow));
  EXPECT_EQ(line.Written(), Join({first, back, B(Basic(kTerminate, 0))}));
  ASSERT_EQ(line.Speeds().size(), 2u);
  EXPECT_EQ(line.Speeds()[0], std::make_pair(first.size(), 115200ul));
  EXPECT_EQ(line.Speeds()[1], std::make_pair(first.size() + back.size(), 9600ul));
  EXPECT_EQ(g_dcb.StopBits, TWOSTOPBITS);
}

Bytes Info(int code, const Fields& fields) {
  return B(Command(code, fields));
}

// Requests: the calculator's commands after the roleswap, each answered,
// the data of the files it announces; its roleswap ends the series.
TEST(SevenSession, RequestSeries) {
  Fields device = StorageFields("", "");
  Fields demo = StorageFields("", "DEMO.G1M", 0x6A),
         addin = StorageFields("", "MYADDIN.G1A", 0x1A2C);
  std::string content(600, '\x5C');
  Fields file = MainFields("system", "BIG", "PROGRAM", 1, content.size());
  std::vector<Packet> data = DataPackets(kMainFile, content);
  struct Case {
    const char* what;
    int code;
    Fields fields;
    std::vector<Bytes> answers;
    size_t files;
    Step step;
  };
  const Case cases[] = {
      {"none", kRequestStorageList, device, {Ack(), B(Basic(kRoleswap, 0))}, 0, Step::Done},
      {"two",
       kRequestStorageList,
       device,
       {Ack(), Info(kStorageInfo, demo), Info(kStorageInfo, addin), B(Basic(kRoleswap, 0))},
       2,
       Step::Done},
      {"with data",
       kRequestMain,
       MainFields("system", "BIG", "PROGRAM", 1),
       {Ack(), Info(kMainFile, file), B(data[0]), B(data[1]), B(data[2]), B(Basic(kRoleswap, 0))},
       1,
       Step::Done},
      {"refused",
       kRequestMain,
       MainFields("system", "NO", "PROGRAM", 1),
       {Nak(kNakError)},
       0,
       Step::Refused},
      {"gap",
       kRequestMain,
       MainFields("system", "BIG", "PROGRAM", 1),
       {Ack(), Info(kMainFile, file), B(data[0]), B(data[2])},
       0,
       Step::Broken},
  };
  for (const Case& c : cases) {
    MemoryLine line;
    for (const Bytes& answer : c.answers) line.Then(answer);
    Asked events;
    SevenLink link(events);
    std::vector<Announced> files;
    EXPECT_EQ(link.Request(c.code, c.fields, &files), c.step) << c.what;
    ASSERT_EQ(files.size(), c.files) << c.what;
    if (c.step != Step::Done) continue;
    // The PC's side: the request, the roleswap, an ACK for every packet.
    size_t acks = c.answers.size() - 2;
    Bytes written = Join({B(Command(c.code, c.fields)), B(Basic(kRoleswap, 0))});
    for (size_t i = 0; i < acks; ++i) written = Join({written, Ack()});
    EXPECT_EQ(line.Written(), written) << c.what;
    if (c.files == 2) {
      EXPECT_EQ(files[1].fields.d[1], "MYADDIN.G1A");
    }
    if (std::string(c.what) == "with data") {
      EXPECT_EQ(files[0].content, content);
    }
  }
}

// A calculator that transmits by itself: its check, its questions, its
// speed, its file, its terminate.
TEST(SevenSession, TakesATransmission) {
  Fields speed;
  speed.d[0] = "115200";
  speed.d[1] = "EVEN";
  speed.d[2] = "1";
  Fields demo = MainFields("system", "DEMO", "PROGRAM", 1, kDemoContent.size());
  MemoryLine line;
  line.Then(Hex("30 30 30 37 30"))  // its initial check, after the 05 already read
      .Then(Bytes(3, 0x10))
      .Then(B(Command(kDeviceInfo)))
      .Then(B(Command(kLinkSettings, speed)))
      .Then(B(Command(kVerify)))
      .Then(B(Command(kMainFile, demo)))
      .Then(B(DataPackets(kMainFile, kDemoContent)[0]))
      .Then(B(Command(0x2A)))  // reset main memory: not from a PC's point of view
      .Then(B(Basic(kTerminate, 0)));
  struct Keeper : SevenEvents {
    std::vector<Announced> kept;
    bool Keep(const Announced& file, int*) override {
      kept.push_back(file);
      return true;
    }
  } events;
  DeviceInfo info;
  info.hardwareId = "Gy362007";
  SevenTaken taken = TakeSevenTransmission(events, info);
  EXPECT_EQ(taken.end, Step::Done);
  EXPECT_EQ(taken.kept, 1);
  ASSERT_EQ(events.kept.size(), 1u);
  EXPECT_EQ(events.kept[0].fields.d[1], "DEMO");
  EXPECT_EQ(events.kept[0].content, kDemoContent);
  Bytes eack = B(Extended(kAck, kAckDevice, DeviceInfoPayload(info)));
  EXPECT_EQ(eack.size(), 174u);
  EXPECT_EQ(line.Written(), Join({Ack(), eack, Ack(), Ack(), Ack(), Ack(), Nak(kNakEnds), Ack()}));
  ASSERT_GE(line.Speeds().size(), 1u);
  EXPECT_EQ(line.Speeds()[0].second, 115200ul);
  EXPECT_EQ(g_dcb.BaudRate, 9600u);  // back for the next session
}

// A file the PC cannot store: its last data packet gets the NAK that says
// why (05: the disk is full), or its command when it has no data.
TEST(SevenSession, FileThatCannotBeStoredIsRefused) {
  Fields demo = MainFields("system", "DEMO", "PROGRAM", 1, kDemoContent.size());
  Fields empty = MainFields("system", "E", "PROGRAM", 1, 0);
  MemoryLine line;
  line.Then(Hex("30 30 30 37 30"))
      .Then(B(Command(kMainFile, demo)))
      .Then(B(DataPackets(kMainFile, kDemoContent)[0]))
      .Then(B(Command(kMainFile, empty)))
      .Then(B(Basic(kTerminate, 0)));
  struct Full : SevenEvents {
    int asked = 0;
    bool Keep(const Announced& file, int* nak) override {
      ++asked;
      *nak = file.fields.size > 0 ? kNakFull : kNakError;
      return false;
    }
  } events;
  SevenTaken taken = TakeSevenTransmission(events, DeviceInfo());
  EXPECT_EQ(taken.end, Step::Done);
  EXPECT_EQ(taken.kept, 0);
  EXPECT_EQ(taken.refused, 2);
  EXPECT_EQ(events.asked, 2);
  EXPECT_EQ(line.Written(), Join({Ack(), Ack(), Nak(kNakFull), Nak(kNakError), Ack()}));
}

}  // namespace
