#include "console/progress.h"

namespace {
constexpr double kLineBytesPerSecond = 9600.0 / 11.0;  // 1 start, 8 data, 2 stop bits
constexpr int kShowFrom = 1024;                        // shorter phases end too soon to follow
}  // namespace

Progress::Progress(Console& con, int total)
    : con_(con),
      total_(total),
      shown_(con.outIsTerminal && (total < 0 || total >= kShowFrom)),
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
  if (total_ < 0) {
    Say(con_, "\0338\033[K  (%d octets)", done);
    return;
  }
  double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  double rate = elapsed >= 1.0 && done > 0 ? done / elapsed : kLineBytesPerSecond;
  int left = static_cast<int>((total_ - done) / rate + 0.5);
  Say(con_, "\0338\033[K  (%d / %d octets, reste environ %d s)", done, total_, left);
}
