#include "transmission.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "calculator.h"
#include "link/item.h"
#include "link/link.h"

namespace {

// The archive's items, cut by the part rule; false on any fault in it.
bool Items(const std::string& path, std::vector<SimItem>* items) {
  std::ifstream in(path, std::ios::binary);
  Block bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && !in) return false;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 5) return false;
    size_t length = static_cast<size_t>(HeaderLength(bytes.data() + at));
    if (bytes.size() - at < length) return false;
    SimItem item;
    item.header.assign(bytes.begin() + static_cast<long>(at),
                       bytes.begin() + static_cast<long>(at + length));
    at += length;
    PartRule rule;
    if (!PartsOf(item.header, &rule)) return false;
    for (long long i = 0; i < rule.count; ++i) {
      size_t n = static_cast<size_t>(rule.length + 2);
      if (bytes.size() - at < n) return false;
      item.parts.emplace_back(bytes.begin() + static_cast<long>(at),
                              bytes.begin() + static_cast<long>(at + n));
      at += n;
    }
    items->push_back(item);
  }
  return true;
}

void Note(FILE* report, const char* what, int item, int byte) {
  if (!report) return;
  std::fprintf(report, "%s %d %02X\n", what, item, byte);
  std::fflush(report);
}

bool SendHeader(Wire& wire, const Block& header, int number, const TransmitPlan& plan) {
  int length = static_cast<int>(header.size());
  if (plan.cutHeader == number) {  // then silence: the line stays until the PC goes
    wire.Send(header.data(), 20);
    return true;
  }
  if (plan.headerGapMs == 0) return wire.Send(header.data(), length);
  for (int piece = 0, at = 0; piece < 4; ++piece) {
    int end = length * (piece + 1) / 4;
    if (piece > 0) std::this_thread::sleep_for(std::chrono::milliseconds(plan.headerGapMs));
    if (!wire.Send(header.data() + at, end - at)) return false;
    at = end;
  }
  return true;
}

bool SendItem(Wire& wire, const SimItem& item, int number, const TransmitPlan& plan, FILE* report) {
  if (!SendHeader(wire, item.header, number, plan)) return false;
  if (plan.cutHeader == number) return true;
  int answer = wire.Receive(10000);
  Note(report, "header", number, answer);
  if (answer != CODE_ACK) return answer != Wire::kGone;
  for (size_t p = 0; p < item.parts.size(); ++p) {
    Block part = item.parts[p];
    int length = static_cast<int>(part.size());
    bool first = p == 0;
    if (first && plan.badPart == number) part.back() ^= 0x01;
    if (first && (plan.silentPart == number || plan.vanishPart == number)) {
      wire.Send(part.data(), length / 2);
      std::this_thread::sleep_for(std::chrono::milliseconds(plan.silentPart ? 7000 : 300));
      return plan.silentPart == number;  // silence: the line stays until the PC goes
    }
    if (!wire.Send(part.data(), length)) return false;
    answer = wire.Receive(10000);
    Note(report, "part", number, answer);
    if (answer != CODE_ACK) return answer != Wire::kGone;
  }
  return true;
}

}  // namespace

bool Transmit(Wire& wire, const TransmitPlan& plan, FILE* report) {
  std::vector<SimItem> items;
  if (!Items(plan.archive, &items)) {
    std::fprintf(stderr, "liaison-sim: %s is no archive\n", plan.archive.c_str());
    return false;
  }
  return TransmitItems(wire, items, plan, report);
}

bool TransmitItems(Wire& wire, const std::vector<SimItem>& items, const TransmitPlan& plan,
                   FILE* report) {
  std::this_thread::sleep_for(std::chrono::milliseconds(plan.startDelayMs));
  if (!SendNoise(wire, plan.noise)) return false;
  if (!wire.SendByte(CODE_REQUEST) || !wire.Expect(CODE_READY)) return false;
  for (size_t i = 0; i < items.size(); ++i) {
    if (plan.requestBetween && i > 0) {
      if (!wire.SendByte(CODE_REQUEST) || !wire.Expect(CODE_READY)) return false;
    }
    int number = static_cast<int>(i) + 1;
    if (!SendItem(wire, items[i], number, plan, report)) return false;
    if (plan.silentPart == number || plan.cutHeader == number) return true;
  }
  if (plan.noEnd) return true;
  unsigned char end[HEADER_SIZE];
  InitHeader_End(end);
  if (!wire.Send(end, HEADER_SIZE)) return false;
  Note(report, "end", 0, wire.Receive(10000));
  return true;
}

// Takes items until the end header (or a backup), answering as a calculator
// whose memory holds `holds`.
bool Take(Wire& wire, const TakePlan& plan, FILE* report) {
  FILE* archive = plan.archive.empty() ? nullptr : std::fopen(plan.archive.c_str(), "wb");
  if (!plan.archive.empty() && !archive) return false;
  if (!wire.Expect(CODE_REQUEST) || !wire.SendByte(CODE_READY)) return false;
  int number = 0;
  for (;;) {
    int byte = wire.Receive(-1);
    if (byte == Wire::kGone) break;
    if (byte == CODE_REQUEST) {
      if (!wire.SendByte(CODE_READY)) break;
      continue;
    }
    if (byte != BLOCK_START) continue;
    Block header(HEADER_SIZE);
    header[0] = BLOCK_START;
    if (wire.ReceiveBlock(header.data() + 1, 4, 10000) != 4) break;
    header.resize(static_cast<size_t>(HeaderLength(header.data())));
    int rest = static_cast<int>(header.size()) - 5;
    if (wire.ReceiveBlock(header.data() + 5, rest, 10000) != rest) break;
    ++number;
    if (!checksum8bit(sumtable8bit(header.data(), static_cast<int>(header.size())))) {
      wire.SendByte(CODE_ERROR);
      break;
    }
    if (KindOf(header) == Kind::End) {
      wire.SendByte(CODE_ACK);
      break;
    }
    std::string format(header.begin() + 1, header.begin() + 4);
    if (plan.refuse.count(format)) {
      if (!wire.SendByte(CODE_REFUSED)) break;
      Note(report, "refused", number, CODE_REFUSED);
      continue;
    }
    if (plan.holds.count(ItemName(header))) {
      if (!wire.SendByte(CODE_EXISTS)) break;
      int choice = wire.Receive(10000);
      Note(report, "choice", number, choice);
      if ((choice != CODE_ACK && choice != CODE_CANCEL) || !wire.SendByte(CODE_ACK)) break;
      if (choice == CODE_CANCEL) continue;
    } else if (!wire.SendByte(CODE_ACK)) {
      break;
    }
    PartRule rule;
    PartsOf(header, &rule);
    Block item(header);
    bool sound = true;
    for (long long p = 0; p < rule.count && sound; ++p) {
      Block part(static_cast<size_t>(rule.length + 2));
      int n = static_cast<int>(part.size());
      sound = wire.ReceiveBlock(part.data(), n, 10000) == n && PartIsSound(part, rule);
      if (!wire.SendByte(sound ? CODE_ACK : CODE_ERROR)) sound = false;
      item.insert(item.end(), part.begin(), part.end());
    }
    if (!sound) break;
    if (archive) {
      std::fwrite(item.data(), 1, item.size(), archive);
      std::fflush(archive);
    }
    if (KindOf(header) == Kind::Backup) break;
  }
  if (archive) std::fclose(archive);
  return true;
}
