// Protocol 7.00 sessions over the port operations: the PC drives a
// calculator of the fx-9860G family (device information, files in main
// memory and storage, the speed of the line), or takes what a calculator
// transmits by itself. Nothing here talks to the user: results and events.
#pragma once

#include <string>
#include <vector>

#include "seven/command.h"

// How a step went.
enum class Step {
  Done,      // the calculator answered as hoped
  Refused,   // it answered a NAK (its subtype: SevenLink::Nak())
  Kept,      // a file of that name is on the calculator, and stays
  NoAnswer,  // no answer, even to the check that asks for one
  Broken,    // answers or data that make no sense here (SevenLink::Why())
  LineLost,  // the port failed
  Stopped,   // the user asked to stop: nothing more was sent after a packet
};

// A file as the calculator announced it (command 25, 45, 2E, 4E, 2C, 4C),
// with its content when data followed.
struct Announced {
  int code = 0;
  seven::Fields fields;
  std::string content;
};

class SevenEvents {
 public:
  virtual ~SevenEvents() = default;
  // A file's bytes going or coming: `done` of `total`.
  virtual void Progress(unsigned long /*done*/, unsigned long /*total*/) {}
  // Whether the user asked to stop: looked at before each packet.
  virtual bool Stopping() { return false; }
  // The calculator holds a file of that name: replace it?
  virtual bool Replace(const std::string& /*name*/) { return false; }
  // Taking a transmission: keeps this file, before its last ACK goes. False
  // when it cannot be kept, with the NAK's subtype the calculator then gets
  // (05 for a full disk, 00 otherwise).
  virtual bool Keep(const Announced& /*file*/, int* /*nak*/) { return true; }
};

// The waits, in milliseconds: for the first byte of an answer, between two
// bytes of a packet, and for each initial check.
struct SevenTimes {
  int answer = 10000;
  int between = 2000;
  int opening = 800;
  int longCommand = 30000;  // optimising the storage takes long
};

class SevenLink {
 public:
  explicit SevenLink(SevenEvents& events, SevenTimes times = SevenTimes())
      : events_(events), times_(times) {}

  // The initial check, sent up to `tries` times: Done when it is answered.
  Step Open(int tries = 8);
  Step Info(seven::DeviceInfo* info);
  // Command 02; both sides switch once the calculator has acknowledged.
  Step SetSpeed(unsigned long baud);
  // A file to main memory (25) or storage (45). A file that exists is
  // replaced or kept as events.Replace() says: Done, or Kept.
  Step SendFile(int code, seven::Fields fields, const std::string& content);
  // A request (24, 29, 2B, 2D, 44, 4B, 4D...): each file the calculator
  // then announces, with its data.
  Step Request(int code, const seven::Fields& fields, std::vector<Announced>* files);
  // A command answered by an ACK alone (26, 46, 51).
  Step Simple(int code, const seven::Fields& fields);
  // Back to 9600 bit/s if the speed changed, then the end of the link.
  Step Close();

  // Off by default; on USB the data packets of a file of 3 packets or more
  // go one ahead of their answers (the ACKs read one behind), as the
  // calculators answer each one only after a pause. Never on a serial line,
  // where a damaged packet could not be sent again.
  void AllowShifting(bool allow) { shifting_ = allow; }
  // A file cut short while its packets went ahead: the link is over.
  bool Ended() const { return ended_; }

  int Nak() const { return nak_; }
  const std::string& Why() const { return why_; }
  unsigned long Speed() const { return speed_; }

 private:
  friend class SevenPassive;
  enum class Read { Packet, Corrupt, Silent, Lost };
  Read ReadPacket(int firstMs, seven::Packet* packet);
  bool Write(const seven::Packet& packet);
  // Sends `out` and reads the answer: a corrupt answer is asked again (NAK
  // 01), a packet the calculator found corrupt is sent again, silence is
  // met with the regular check.
  Step Exchange(const seven::Packet& out, seven::Packet* answer, int firstMs = 0);
  // Reads the calculator's next packet, asking again for a corrupt one.
  Step Receive(seven::Packet* packet, int firstMs = 0);
  // The data of an announced file. `kept`: the file is given to
  // events.Keep() before its last ACK, which becomes its NAK when it cannot
  // be kept (*kept false then).
  Step ReceiveData(const Announced& file, std::string* content, bool* kept = nullptr);
  Step AnswerNak(const seven::Packet& answer);
  // The data packets after the first, each sent before the answer of the
  // one before it is read; the last once every earlier answer has come.
  Step SendShifted(const std::vector<seven::Packet>& packets, unsigned long total);
  // The answer of a packet sent ahead: an ACK, or the file ends here.
  Step ShiftedAnswer();
  Step Fail(Step step, const std::string& why) {
    why_ = why;
    lost_ = lost_ || step == Step::LineLost;
    dead_ = dead_ || step == Step::NoAnswer;
    return step;
  }

  SevenEvents& events_;
  SevenTimes times_;
  int nak_ = 0;
  std::string why_;
  unsigned long speed_ = 9600;
  bool lost_ = false;  // once the line is gone, nothing more is tried on it
  bool dead_ = false;  // nor once even the check got no answer
  bool shifting_ = false;
  bool ended_ = false;
  bool closing_ = false;  // bringing the calculator back: no stop then
  // The user asked to stop (said once, then every step stops at once).
  bool Stop() { return !closing_ && events_.Stopping(); }
};

// Which protocol the calculator at the other end speaks, found by trying:
// Protocol 7.00's initial check, then the older protocol's 0x16 (its 0x13
// then answered), in rounds until one is answered or the line is lost.
enum class Protocol { Seven, Cas50, LineLost };
Protocol FindProtocol(SevenLink& link);

// What came of a calculator's own transmission.
struct SevenTaken {
  Step end = Step::Done;
  int kept = 0, refused = 0;
};
// The calculator opens Protocol 7.00 itself (LINK, Transmit): its initial
// check's first byte (05) has been read. Answers the check, its device
// information request with `info`, its speed change by switching after the
// ACK, every file it sends (kept through events.Keep()), and ends at its
// terminate.
SevenTaken TakeSevenTransmission(SevenEvents& events, const seven::DeviceInfo& info,
                                 SevenTimes times = SevenTimes());
