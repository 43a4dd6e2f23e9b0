// Whole transmissions, either side, over the port operations: every item a
// calculator sends (programs, lists, matrices, pictures, screens, a backup,
// kinds unknown here), or every item of a list sent to it. Nothing here
// talks to the user: what happens comes back as events and a summary.
#pragma once

#include <vector>

#include "link/item.h"

// Larger items are refused with 0x24: nothing a Graph 35/65 holds comes near.
constexpr long long kMaxItemBytes = 1024 * 1024;

// How one item went.
enum class ItemEnd {
  Kept,             // received whole and sound, and stored
  Sent,             // sent, and every part acknowledged
  Replaced,         // the calculator had that name and took ours in its place
  LeftAlone,        // the calculator had that name and kept its own (0x15 sent)
  BadHeader,        // the header's checksum is wrong (0x2B)
  Unknown,          // a header whose parts cannot be known, refused with 0x24
  TooLarge,         // refused with 0x24
  BadPart,          // a part's checksum is wrong (0x2B): the transmission ends
  Cut,              // 5 s of silence inside the item
  NotStored,        // the store refused it: refused on the line with 0x2B
  Refused,          // the calculator answered 0x24 (unknown type, or no room)
  RefusedChecksum,  // the calculator answered 0x2B
  RefusedInvalid,   // the calculator answered 0x51
  NoAnswer,         // the calculator did not answer within 5 s
  OddAnswer,        // the calculator answered with a byte that means nothing here
  PartRefused,      // the calculator did not acknowledge a part
  Lost,             // the line went in the middle of the item
  NotWanted,        // a kind the receiver does not take here, refused with 0x24
};

// How the whole transmission ended.
enum class TransmissionEnd {
  EndHeader,     // the end header came (received) or went (sent)
  Silence,       // 5 s of silence after a complete item: taken as the end
  Backup,        // a backup is the only item of its transmission
  Enough,        // the receiver took as many items as it wanted
  NoCalculator,  // no 0x16 within the wait the user set
  NothingCame,   // 0x13 answered, then no header
  Broken,        // an item went wrong in a way that ends the transmission
  LineLost,
  SevenCall,  // the calculator opened Protocol 7.00 (0x05) instead: its 05 is read
};

struct Summary {
  TransmissionEnd end = TransmissionEnd::EndHeader;
  int done = 0;              // items kept, or sent
  int notDone = 0;           // items refused, skipped or broken
  unsigned char answer = 0;  // sending: the calculator's last answer byte
};

class TransmissionEvents {
 public:
  virtual ~TransmissionEvents() = default;
  virtual void Started() {}  // 0x16 and 0x13 crossed
  virtual void PartStarted(long long /*total*/) {}
  virtual void PartProgress(long long /*done*/) {}
  virtual void PartEnded() {}
  // Receiving: whether this kind of item is taken at all (else 0x24).
  virtual bool Wanted(const Item& /*header*/) { return true; }
  // Receiving: store the item; false when it could not be (refused then).
  virtual bool Keep(const Item& /*item*/) { return true; }
  // Receiving: after each item kept, whether that was the last one wanted.
  virtual bool Enough() { return false; }
  // Receiving: whether the user's wait has run out, whatever the calculator
  // keeps sending (0x16, items refused); asked between items.
  virtual bool Expired() { return false; }
  // Sending: the calculator holds that name already: replace it?
  virtual bool Replace(const Item& /*item*/) { return false; }
  virtual void ItemEnded(const Item& item, ItemEnd end, unsigned char answer) = 0;
};

// `waitSeconds` < 0: wait for the calculator's 0x16 without a limit.
Summary ReceiveTransmission(int waitSeconds, TransmissionEvents& events);
// The end header follows the items, unless the only item is a backup.
// `called`: the 0x16 has gone and the 0x13 come already.
Summary SendTransmission(const std::vector<Item>& items, TransmissionEvents& events,
                         bool called = false);
