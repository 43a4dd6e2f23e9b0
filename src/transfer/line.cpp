#include "transfer/line.h"

#include "serial/serial.h"

bool AwaitByte(unsigned char wanted) {
  for (;;) {
    unsigned char byte = 0;
    if (!ReadAnswerByte(&byte)) return false;
    if (byte == wanted) return true;
  }
}

bool ReadAnswerByte(unsigned char* byte) {
  int got = 0;
  unsigned char received = 0;
  if (!ReadCOM(&received, 1, &got)) return false;
  *byte = got == 1 ? received : 0;
  return true;
}

namespace {
constexpr double kLineBytesPerSecond = 9600.0 / 11.0;  // 1 start, 8 data, 2 stop bits
constexpr int kShowFrom = 1024;                        // shorter phases end too soon to follow
}  // namespace

Progress::Progress(Console& con, int total)
    : con_(con),
      total_(total),
      shown_(con.outIsTerminal && total >= kShowFrom),
      start_(std::chrono::steady_clock::now()) {
  // The line follows the phase's own message: the cursor is saved there and
  // every rewrite, and the final erase, goes back to it.
  if (shown_) Say(con_, "\0337");
}

Progress::~Progress() {
  if (shown_) Say(con_, "\0338\033[K");
}

void Progress::Update(int done) {
  if (!shown_) return;
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double rate = elapsed >= 1.0 && done > 0 ? done / elapsed : kLineBytesPerSecond;
  int left = static_cast<int>((total_ - done) / rate + 0.5);
  Say(con_, "\0338\033[K  (%d / %d octets, reste environ %d s)", done, total_, left);
}
