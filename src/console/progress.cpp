#include "console/progress.h"

#include <cstdio>

namespace {
constexpr double kLineBytesPerSecond = 9600.0 / 11.0;  // 1 start, 8 data, 2 stop bits
constexpr int kShowFrom = 1024;                        // shorter phases end too soon to follow
}  // namespace

Progress::Progress(Console& con, int total)
    : con_(con),
      total_(total),
      shown_(con.outIsTerminal && (total < 0 || total >= kShowFrom)),
      column_(con.column),
      start_(std::chrono::steady_clock::now()) {
  // The line follows the phase's own message: the cursor is saved there and
  // every rewrite, and the final erase, goes back to it.
  if (shown_) Say(con_, "\0337");
}

Progress::~Progress() {
  if (!shown_) return;
  Say(con_, "\0338\033[K");
  con_.column = column_;  // back where the line began
}

void Progress::Update(int done) {
  if (!shown_) return;
  char line[96];
  if (total_ < 0) {
    std::snprintf(line, sizeof line, "  (%d octets)", done);
  } else {
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    double rate = elapsed >= 1.0 && done > 0 ? done / elapsed : kLineBytesPerSecond;
    int left = static_cast<int>((total_ - done) / rate + 0.5);
    std::snprintf(line, sizeof line, "  (%d / %d octets, reste environ %d s)", done, total_, left);
  }
  // A line that wrapped could not be taken back: it is cut to what is left
  // of the terminal's width after the phase's message, read again at each
  // update since the window may be resized.
  int columns = ConsoleColumns(con_);
  if (columns > 0) {
    int room = columns - 1 - column_ % columns;
    line[room > 0 ? (room < static_cast<int>(sizeof line) ? room : sizeof line - 1) : 0] = '\0';
  }
  Say(con_, "\0338\033[K%s", line);
}
