#include <chrono>

#include "link/link.h"
#include "serial/line.h"
#include "serial/serial.h"
#include "session/transmission.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Got { Whole, Silence, Lost };

// `count` bytes; `*done` says how many came. Read a byte at a time, each
// read waiting 5 s at most: the silence that cuts an item is 5 s without a
// byte, however slowly the bytes before it came (a read of many bytes would
// also end when its own 5 s are up). Progress is said every 256 bytes.
Got ReadExactly(unsigned char* into, long long count, TransmissionEvents* progress,
                long long* done) {
  *done = 0;
  while (*done < count) {
    int got = 0;
    if (!ReadCOM(into + *done, 1, &got)) return Got::Lost;
    if (got == 0) return Got::Silence;
    ++*done;
    if (progress && (*done % kBlockStep == 0 || *done == count)) progress->PartProgress(*done);
  }
  return Got::Whole;
}

bool Answer(unsigned char byte) {
  int written = 0;
  return WriteCOM(&byte, 1, &written) && written == 1;
}

// Bytes before the calculator's 0x16 are noise; the user may set how long
// to wait for it (read by read: each read waits at most 5 s). A calculator
// of the later generation opens with Protocol 7.00's check instead (0x05,
// after a run of 0x10 that is noise too).
enum class Call { Came, Seven, TimedOut, Lost };
Call AwaitRequest(int waitSeconds) {
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(waitSeconds);
  for (;;) {
    unsigned char byte = 0;
    if (!ReadAnswerByte(&byte)) return Call::Lost;
    if (byte == CODE_REQUEST) return Call::Came;
    if (byte == 0x05) return Call::Seven;
    if (waitSeconds >= 0 && Clock::now() >= deadline) return Call::TimedOut;
  }
}

class Receiver {
 public:
  explicit Receiver(TransmissionEvents& events) : events_(events) {}
  Summary Run(int waitSeconds);

 private:
  enum class Next { Item, End };
  Next TakeItem(const Item& item);
  Next ReadParts(Item& item, const PartRule& rule);
  Next Fail(const Item& item, ItemEnd end, TransmissionEnd how) {
    events_.ItemEnded(item, end, 0);
    ++summary_.notDone;
    summary_.end = how;
    return Next::End;
  }
  Next Lost(const Item& item) { return Fail(item, ItemEnd::Lost, TransmissionEnd::LineLost); }
  // Between items: a header's first byte, a new 0x16, or the end.
  Next AwaitHeader(Item* item);

  TransmissionEvents& events_;
  Summary summary_;
  bool sawItem_ = false;
};

Summary Receiver::Run(int waitSeconds) {
  switch (AwaitRequest(waitSeconds)) {
    case Call::Lost:
      summary_.end = TransmissionEnd::LineLost;
      return summary_;
    case Call::TimedOut:
      summary_.end = TransmissionEnd::NoCalculator;
      return summary_;
    case Call::Seven:
      summary_.end = TransmissionEnd::SevenCall;
      return summary_;
    case Call::Came:
      break;
  }
  if (!Answer(CODE_READY)) {
    summary_.end = TransmissionEnd::LineLost;
    return summary_;
  }
  events_.Started();
  for (;;) {
    Item item;
    if (AwaitHeader(&item) == Next::End) return summary_;
    sawItem_ = true;
    if (TakeItem(item) == Next::End) return summary_;
  }
}

Receiver::Next Receiver::AwaitHeader(Item* item) {
  for (;;) {
    if (events_.Expired()) {
      summary_.end = TransmissionEnd::NoCalculator;
      return Next::End;
    }
    unsigned char byte = 0;
    int got = 0;
    if (!ReadCOM(&byte, 1, &got)) {
      summary_.end = TransmissionEnd::LineLost;
      return Next::End;
    }
    if (got == 0) {  // a complete item, then silence: the calculator is done
      summary_.end = sawItem_ ? TransmissionEnd::Silence : TransmissionEnd::NothingCame;
      return Next::End;
    }
    if (byte == CODE_REQUEST) {  // the calculator starts over, or sends a new screen
      if (!Answer(CODE_READY)) {
        summary_.end = TransmissionEnd::LineLost;
        return Next::End;
      }
      continue;
    }
    if (byte != BLOCK_START) continue;  // noise between items
    item->header.assign(HEADER_SIZE, 0);
    item->header[0] = byte;
    long long came = 0, rest = 0;
    Got start = ReadExactly(item->header.data() + 1, 4, nullptr, &came);
    if (start == Got::Whole) {
      item->header.resize(static_cast<size_t>(HeaderLength(item->header.data())));
      start = ReadExactly(item->header.data() + 5, static_cast<long long>(item->header.size()) - 5,
                          nullptr, &rest);
    }
    if (start == Got::Whole) return Next::Item;
    sawItem_ = true;
    // Only what came: a cut header says nothing of the item.
    item->header.resize(static_cast<size_t>(1 + came + rest));
    return start == Got::Lost ? Lost(*item) : Fail(*item, ItemEnd::Cut, TransmissionEnd::Broken);
  }
}

Receiver::Next Receiver::TakeItem(const Item& header) {
  Item item = header;
  if (!BlockIsSound(item.header)) {
    if (!Answer(CODE_ERROR)) return Lost(item);
    return Fail(item, ItemEnd::BadHeader, TransmissionEnd::Broken);
  }
  if (KindOf(item.header) == Kind::End) {
    summary_.end = TransmissionEnd::EndHeader;
    if (!Answer(CODE_ACK)) summary_.end = TransmissionEnd::LineLost;
    return Next::End;
  }
  PartRule rule;
  bool known = PartsOf(item.header, &rule);
  bool wanted = events_.Wanted(item);
  if (!known || !wanted || rule.count * rule.length > kMaxItemBytes) {
    // The calculator sends no part of a refused item and goes on with the next.
    if (!Answer(CODE_REFUSED)) return Lost(item);
    ItemEnd why = !wanted ? ItemEnd::NotWanted : known ? ItemEnd::TooLarge : ItemEnd::Unknown;
    events_.ItemEnded(item, why, CODE_REFUSED);
    ++summary_.notDone;
    return Next::Item;
  }
  return ReadParts(item, rule);
}

// Each part is acknowledged as it comes; the last acknowledgement waits
// until the item is stored, so that the calculator is never told that an
// item arrived which was then lost.
Receiver::Next Receiver::ReadParts(Item& item, const PartRule& rule) {
  for (long long i = 0; i <= rule.count; ++i) {
    if (i > 0) {
      Bytes part(static_cast<size_t>(rule.length + 2));
      events_.PartStarted(rule.length + 2);
      long long came = 0;
      Got got = ReadExactly(part.data(), rule.length + 2, &events_, &came);
      events_.PartEnded();
      if (got == Got::Lost) return Lost(item);
      if (got == Got::Silence) return Fail(item, ItemEnd::Cut, TransmissionEnd::Broken);
      if (!PartIsSound(part, rule)) {
        if (!Answer(CODE_ERROR)) return Lost(item);
        return Fail(item, ItemEnd::BadPart, TransmissionEnd::Broken);
      }
      item.parts.push_back(std::move(part));
    }
    if (i == rule.count && !events_.Keep(item)) {
      if (!Answer(CODE_ERROR)) return Lost(item);
      return Fail(item, ItemEnd::NotStored, TransmissionEnd::Broken);
    }
    if (!Answer(CODE_ACK)) {
      if (i < rule.count) return Lost(item);
      // Stored before its last 0x06 could go: the item is kept all the same.
      events_.ItemEnded(item, ItemEnd::Kept, CODE_ACK);
      ++summary_.done;
      summary_.end = TransmissionEnd::LineLost;
      return Next::End;
    }
  }
  events_.ItemEnded(item, ItemEnd::Kept, CODE_ACK);
  ++summary_.done;
  if (KindOf(item.header) == Kind::Backup) {  // a backup is always the only item
    summary_.end = TransmissionEnd::Backup;
    return Next::End;
  }
  if (events_.Enough()) {
    summary_.end = TransmissionEnd::Enough;
    return Next::End;
  }
  return Next::Item;
}

}  // namespace

Summary ReceiveTransmission(int waitSeconds, TransmissionEvents& events) {
  return Receiver(events).Run(waitSeconds);
}
