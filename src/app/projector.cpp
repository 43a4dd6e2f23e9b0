// liaison ecran with a calculator on its USB cable in Projector mode: the
// screen it streams, drawn in place as it changes; Enter saves the one shown.
#include <chrono>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/seven_commands.h"
#include "files/screen.h"
#include "seven/stream.h"
#include "serial/serial.h"
#include "window/window.h"

namespace {

// A frame as the captures' screens: a monochrome one in their two shades.
Screen ScreenOf(const seven::Frame& frame) {
  Screen screen;
  screen.width = frame.width;
  screen.height = frame.height;
  screen.colour = frame.colour;
  screen.pixels = frame.pixels;
  if (!frame.colour)
    for (std::uint32_t& p : screen.pixels) p = p == 0x000000 ? kDark : kPale;
  return screen;
}

class Projector {
 public:
  Projector(Console& con, const std::string& folder, int scale, bool ascii, int wanted,
            std::unique_ptr<ScreenWindow> window)
      : con_(con),
        folder_(folder),
        scale_(scale),
        ascii_(ascii),
        wanted_(wanted),
        window_(std::move(window)) {}
  int Run();

 private:
  void Show(const seven::Frame& frame);
  // The summary a signal's end says, brought up to date as frames come;
  // once a second, the frames of the last second in the window's title.
  void Count();
  bool Save();  // the frame shown; false when it cannot be saved
  std::string Summary() const {
    return std::to_string(saved_) + " image(s) enregistree(s), " + std::to_string(frames_) +
           " trame(s) recue(s).\n";
  }

  Console& con_;
  std::string folder_;
  int scale_;
  bool ascii_;
  int wanted_;
  std::unique_ptr<ScreenWindow> window_;
  seven::Frame shown_;
  bool showing_ = false;
  int drawnLines_ = 0, saved_ = 0, frames_ = 0, faults_ = 0;
  int lastSecond_ = 0, counted_ = 0;
  std::chrono::steady_clock::time_point second_ = std::chrono::steady_clock::now();
};

// The model a frame is from, by its size and kind.
std::string ModelOf(const seven::Frame& frame) {
  if (frame.colour && frame.width == 384 && frame.height == 216) return "Graph 90+E";
  if (!frame.colour && frame.width == 128 && frame.height == 64) return "Graph 35+ / 35+E II";
  return "calculatrice";
}

void Projector::Count() {
  if (frames_ != counted_) SetLastWords("\n" + Summary());
  counted_ = frames_;
  auto now = std::chrono::steady_clock::now();
  if (now - second_ < std::chrono::seconds(1)) return;
  int rate = frames_ - lastSecond_;
  lastSecond_ = frames_;
  second_ = now;
  if (window_)
    window_->SetTitle("Liaison - " + (showing_ ? ModelOf(shown_) : std::string("calculatrice")) +
                      " - " + std::to_string(rate) + " images/s");
}

// On a terminal the new drawing takes the place of the one before.
void Projector::Show(const seven::Frame& frame) {
  shown_ = frame;
  showing_ = true;
  if (window_) {
    Screen screen = ScreenOf(frame);
    window_->Show(screen.pixels, screen.width, screen.height);
    return;
  }
  // A colour screen in its colours where the terminal draws them, and not
  // when --ascii asks for plain characters.
  const int columns = con_.outIsTerminal ? ConsoleColumns(con_) : 0;
  std::string drawing = frame.colour && !ascii_ && con_.outIsTerminal && TerminalHasTrueColour()
                            ? DrawColour(ScreenOf(frame), columns, ConsoleRows(con_))
                            : DrawScreen(ScreenOf(frame), ascii_, columns);
  if (con_.outIsTerminal && drawnLines_ > 0) Say(con_, "\033[%dA", drawnLines_);
  Say(con_, "%s", drawing.c_str());
  drawnLines_ = 0;
  for (char c : drawing) drawnLines_ += c == '\n';
}

bool Projector::Save() {
  Screen screen = ScreenOf(shown_);
  std::string path, error;
  bool saved = SavePicture(folder_, scale_, &screen, &path, &error);
  drawnLines_ = 0;  // the line below the drawing is the program's now
  if (!saved) {
    Say(con_, "Image non enregistree : %s\n", error.c_str());
    ++faults_;
    return false;
  }
  ++saved_;
  Say(con_, "Image %d (%d x %d) : %s\n", saved_, screen.width, screen.height, path.c_str());
  for (const std::string& note : screen.notes) Say(con_, "  %s\n", note.c_str());
  SetLastWords("\n" + Summary());
  return true;
}

int Projector::Run() {
  Say(con_,
      "Ecran de la calculatrice en USB : Entree enregistre l'image montree, q "
      "puis Entree arrete.\n");
  if (window_)
    Say(con_,
        "Dans la fenetre : S ou Entree enregistre, F ou F11 plein ecran, Q ou Echap "
        "arrete.\n");
  SetLastWords("\n" + Summary());
  // Short reads: the keyboard is looked at between them.
  g_cto.ReadTotalTimeoutConstant = 100;
  g_cto.ReadIntervalTimeout = 100;
  g_cto.ReadTotalTimeoutMultiplier = 0;
  ConfigureCOM();
  seven::StreamReader reader;
  const std::string ack = seven::StreamAck();
  int status = 0;
  for (bool going = true; going;) {
    unsigned char bytes[4096];
    int got = 0;
    if (!ReadCOM(bytes, sizeof bytes, &got)) {
      Say(con_, "Liaison avec la calculatrice perdue (cable debranche?).\n");
      status = -1;
      break;
    }
    reader.Feed(bytes, static_cast<size_t>(got));
    seven::Frame frame;
    for (seven::StreamReader::Event e;
         going && (e = reader.Next(&frame)) != seven::StreamReader::Event::None;) {
      int written = 0;
      if (e == seven::StreamReader::Event::Check)
        WriteCOM(ack.data(), static_cast<int>(ack.size()), &written);
      if (e != seven::StreamReader::Event::Frame) continue;
      ++frames_;
      if (showing_ && frame.pixels == shown_.pixels && frame.width == shown_.width) continue;
      Show(frame);
      // --nombre: every frame that differs is saved, up to the number.
      if (wanted_ > 0 && Save() && saved_ >= wanted_) going = false;
    }
    Count();
    WindowKey pressed = window_ ? window_->Events(0) : WindowKey::None;
    if (pressed == WindowKey::Quit) going = false;
    if (pressed == WindowKey::Save && showing_) Save();
    char key = 0;
    while (going && KeyWaiting(con_, &key)) {
      if (key == 'q' || key == 'Q') going = false;
      if (key == '\n' && showing_) Save();
    }
  }
  CloseCOM();
  SetLastWords("");
  Say(con_, "%s", Summary().c_str());
  if (status != 0) return status;
  return faults_ == 0 && saved_ > 0 ? 0 : 1;
}

}  // namespace

int EcranUsb(Console& con, const std::string& folder, int scale, bool ascii, int wanted,
             std::unique_ptr<ScreenWindow> window) {
  return Projector(con, folder, scale, ascii, wanted, std::move(window)).Run();
}
