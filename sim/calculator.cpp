#include "calculator.h"

#include <chrono>

#include <cstring>
#include <random>
#include <thread>

#include "link/link.h"

namespace {

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void BuildHeader(const SendPlan& plan, unsigned char* header) {
  InitHeader_Programme(header, plan.name.c_str());
  std::memcpy(header + 1, plan.type.data(), plan.type.size() < 3 ? plan.type.size() : 3);
  SetBlockLength(header, static_cast<int>(plan.content.size()) + 2);
  for (size_t i = 0; i < plan.password.size() && i < NAME_LENGTH; ++i)
    header[HEADER_PASSWORD + i] = static_cast<unsigned char>(plan.password[i]);
  SealBlock(header, HEADER_SIZE);
  if (plan.badChecksum) header[HEADER_CHECKSUM] ^= 0x01;
}

bool SendHeader(Wire& wire, const SendPlan& plan, const unsigned char* header) {
  int length = plan.headerCut >= 0 && plan.headerCut < HEADER_SIZE ? plan.headerCut : HEADER_SIZE;
  int pieces = plan.headerPieces > 1 ? plan.headerPieces : 1;
  int piece = (length + pieces - 1) / pieces;
  for (int sent = 0; sent < length; sent += piece) {
    if (sent > 0) SleepMs(plan.pieceGapMs);
    int count = length - sent < piece ? length - sent : piece;
    if (!wire.Send(header + sent, count)) return false;
  }
  return true;
}

void WriteHex(FILE* out, const unsigned char* bytes, int count) {
  for (int i = 0; i < count; ++i) std::fprintf(out, "%02X", bytes[i]);
  std::fprintf(out, "\n");
}

}  // namespace

// Random bytes, none of them a control byte: noise that held one could pass
// for a step of the exchange.
bool SendNoise(Wire& wire, int count) {
  static std::mt19937 random(20261207);
  static const unsigned char control[] = {CODE_REQUEST, CODE_READY,  CODE_ACK,
                                          CODE_CANCEL,  CODE_EXISTS, CODE_ERROR};
  for (int i = 0; i < count; ++i) {
    unsigned char byte = static_cast<unsigned char>(random());
    if (std::memchr(control, byte, sizeof control)) byte = 0x00;
    if (!wire.SendByte(byte)) return false;
  }
  return true;
}

bool SendProgram(Wire& wire, const SendPlan& plan, bool requestAlreadySent) {
  if (!requestAlreadySent) {
    if (!SendNoise(wire, plan.noise)) return false;
    if (plan.vanish == "request") {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the PC is waiting by now
      return false;
    }
    if (!wire.SendByte(CODE_REQUEST) || !wire.Expect(CODE_READY)) return false;
  }
  unsigned char header[HEADER_SIZE];
  BuildHeader(plan, header);
  // A pulled cable comes after the bytes already sent have arrived (a pty's
  // hang-up flushes what the PC has not read yet).
  if (plan.vanish == "header") {
    wire.Send(header, HEADER_SIZE / 2);
    SleepMs(300);
    return false;
  }
  if (!SendHeader(wire, plan, header)) return false;
  if (plan.headerCut >= 0) {  // the PC waits on for a whole header until the line goes
    SleepMs(plan.pieceGapMs);
    return false;
  }

  int answer = wire.Receive(-1);
  if (answer != CODE_ACK) return answer != Wire::kGone;

  std::vector<unsigned char> block(plan.content);
  block.push_back(0xFF);
  block.push_back(0);
  SealBlock(block.data(), static_cast<int>(block.size()));
  if (plan.badDataChecksum) block.back() ^= 0x01;
  int length = static_cast<int>(block.size());
  if (plan.vanish == "data") {
    wire.Send(block.data(), length / 2);
    SleepMs(300);
    return false;
  }
  if (plan.dataCut >= 0 && plan.dataCut < length) length = plan.dataCut;
  if (!wire.Send(block.data(), length)) return false;
  return wire.Expect(CODE_ACK);
}

bool ReceiveProgram(Wire& wire, const ReceivePlan& plan, FILE* report, bool requestAlreadyRead) {
  if (!requestAlreadyRead && !wire.Expect(CODE_REQUEST)) return false;
  if (plan.vanish == "ready") return false;
  if (!wire.SendByte(CODE_READY)) return false;
  unsigned char header[HEADER_SIZE];
  if (wire.ReceiveBlock(header, HEADER_SIZE, -1) != HEADER_SIZE) return false;
  if (plan.vanish == "answer") return false;

  if (plan.answerDelayMs > 0) SleepMs(plan.answerDelayMs);
  if (plan.answer >= 0 && !wire.SendByte(static_cast<unsigned char>(plan.answer))) return false;
  // An answer later than the PC's single answer read is one it never sees as such.
  bool late = plan.answerDelayMs > 5000;
  unsigned char endHeader[HEADER_SIZE];
  if (!late && plan.answer == CODE_ERROR)
    return wire.ReceiveBlock(endHeader, HEADER_SIZE, -1) == HEADER_SIZE;
  if (!late && plan.answer == CODE_EXISTS) {
    int choice = wire.Receive(-1);
    if (choice == CODE_CANCEL) {
      return wire.SendByte(CODE_ACK) &&
             wire.ReceiveBlock(endHeader, HEADER_SIZE, -1) == HEADER_SIZE;
    }
    if (choice != CODE_ACK || !wire.SendByte(CODE_ACK)) return false;
  }
  if (plan.answer != CODE_ACK) {
    // With no answer, the PC waits for the go-ahead only once its single
    // answer read has timed out.
    if (plan.answer < 0) SleepMs(5500);
    if (!wire.SendByte(CODE_ACK)) return false;
  }
  int length = AnnouncedBlockLength(header);
  std::vector<unsigned char> block(static_cast<size_t>(length));
  if (plan.vanish == "data") {  // half the block has come when the cable is pulled
    wire.ReceiveBlock(block.data(), length / 2, 10000);
    return false;
  }
  int got = wire.ReceiveBlock(block.data(), length, 10000);
  if (plan.vanish == "ack") return false;
  if (!wire.SendByte(CODE_ACK)) return false;
  int endGot = wire.ReceiveBlock(endHeader, HEADER_SIZE, 10000);

  if (report) {
    char name[NAME_LENGTH + 1] = {};
    for (int i = 0; i < NAME_LENGTH && header[HEADER_NAME + i] != 0xFF; ++i)
      name[i] = static_cast<char>(header[HEADER_NAME + i]);
    std::fprintf(report, "name=%s\nsize=%02X%02X\n", name, header[9], header[10]);
    std::fprintf(report, "header_checksum=%s\n",
                 checksum8bit(sumtable8bit(header, HEADER_SIZE)) ? "ok" : "bad");
    std::fprintf(report, "data_checksum=%s\n",
                 got == length && checksum8bit(sumtable8bit(block.data(), got)) ? "ok" : "bad");
    std::fprintf(report, "data_length=%d\ncontent=", got);
    WriteHex(report, block.data(), got >= 2 ? got - 2 : 0);
    std::fprintf(report, "end_header=");
    WriteHex(report, endHeader, endGot);
    std::fflush(report);
  }
  return true;
}
