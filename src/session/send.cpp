#include "link/link.h"
#include "serial/line.h"
#include "serial/serial.h"
#include "session/transmission.h"

namespace {

bool Send(const Bytes& bytes, TransmissionEvents* progress) {
  long long done = 0, count = static_cast<long long>(bytes.size());
  while (done < count) {
    int step = count - done < kBlockStep ? static_cast<int>(count - done) : kBlockStep;
    int written = 0;
    if (!WriteCOM(bytes.data() + done, step, &written) || written != step) return false;
    done += step;
    if (progress) progress->PartProgress(done);
  }
  return true;
}

bool SendByte(unsigned char byte) {
  return Send(Bytes{byte}, nullptr);
}

// The calculator answers once the last byte is in. A write may return while
// the bytes still wait in a driver's or an adapter's buffer, so the wait
// allows the time they take on the line (1 start, 8 data and 2 stop bits at
// 9600 bit/s), then the usual 5 s read.
bool AwaitAnswer(size_t sent, unsigned char* answer) {
  long long lineMs = static_cast<long long>(sent) * 11 * 1000 / 9600;
  for (long long reads = 1 + lineMs / 5000; reads > 0; --reads) {  // 5 s each
    if (!ReadAnswerByte(answer)) return false;
    if (*answer != 0) return true;
  }
  return true;
}

class Sender {
 public:
  explicit Sender(TransmissionEvents& events) : events_(events) {}
  Summary Run(const std::vector<Item>& items, bool called);

 private:
  enum class Next { Item, End };
  Next SendItem(const Item& item);
  Next SendParts(const Item& item, ItemEnd done);
  Next Ended(const Item& item, ItemEnd end, unsigned char answer, bool goOn) {
    events_.ItemEnded(item, end, answer);
    bool well = end == ItemEnd::Sent || end == ItemEnd::Replaced;
    ++(well ? summary_.done : summary_.notDone);
    summary_.answer = answer;
    if (end == ItemEnd::Lost)
      summary_.end = TransmissionEnd::LineLost;
    else if (!goOn)
      summary_.end = TransmissionEnd::Broken;
    return goOn ? Next::Item : Next::End;
  }

  TransmissionEvents& events_;
  Summary summary_;
};

Summary Sender::Run(const std::vector<Item>& items, bool called) {
  if (!called && (!SendByte(CODE_REQUEST) || !AwaitByte(CODE_READY))) {
    summary_.end = TransmissionEnd::LineLost;
    return summary_;
  }
  events_.Started();
  bool onlyBackup = false;
  for (const Item& item : items) {
    if (SendItem(item) == Next::End) return summary_;
    onlyBackup = items.size() == 1 && KindOf(item.header) == Kind::Backup;
  }
  // Some calculators acknowledge the end header and some do not: nothing
  // waits for it.
  summary_.end = onlyBackup ? TransmissionEnd::Backup : TransmissionEnd::EndHeader;
  if (!onlyBackup && !Send(EndItem().header, nullptr)) summary_.end = TransmissionEnd::LineLost;
  return summary_;
}

Sender::Next Sender::SendItem(const Item& item) {
  unsigned char answer = 0;
  if (!Send(item.header, nullptr) || !AwaitAnswer(item.header.size(), &answer))
    return Ended(item, ItemEnd::Lost, 0, false);
  switch (answer) {
    case CODE_ACK:
      return SendParts(item, ItemEnd::Sent);
    case CODE_EXISTS: {
      bool replace = events_.Replace(item);
      unsigned char ack = 0;
      if (!SendByte(replace ? CODE_ACK : CODE_CANCEL) || !ReadAnswerByte(&ack))
        return Ended(item, ItemEnd::Lost, answer, false);
      if (ack != CODE_ACK)
        return Ended(item, ack == 0 ? ItemEnd::NoAnswer : ItemEnd::OddAnswer, ack, false);
      if (!replace) return Ended(item, ItemEnd::LeftAlone, answer, true);
      return SendParts(item, ItemEnd::Replaced);
    }
    case CODE_REFUSED:
      return Ended(item, ItemEnd::Refused, answer, true);
    case CODE_ERROR:
      return Ended(item, ItemEnd::RefusedChecksum, answer, true);
    case CODE_INVALID:
      return Ended(item, ItemEnd::RefusedInvalid, answer, true);
    case 0:  // no byte within the read's 5 s
      return Ended(item, ItemEnd::NoAnswer, answer, false);
    default:
      return Ended(item, ItemEnd::OddAnswer, answer, false);
  }
}

Sender::Next Sender::SendParts(const Item& item, ItemEnd done) {
  for (const Bytes& part : item.parts) {
    events_.PartStarted(static_cast<long long>(part.size()));
    bool sent = Send(part, &events_);
    events_.PartEnded();
    unsigned char answer = 0;
    if (!sent || !AwaitAnswer(part.size(), &answer)) return Ended(item, ItemEnd::Lost, 0, false);
    if (answer != CODE_ACK)  // 0: nothing came within the wait
      return Ended(item, answer == 0 ? ItemEnd::NoAnswer : ItemEnd::PartRefused, answer, false);
  }
  return Ended(item, done, CODE_ACK, true);
}

}  // namespace

Summary SendTransmission(const std::vector<Item>& items, TransmissionEvents& events, bool called) {
  return Sender(events).Run(items, called);
}
