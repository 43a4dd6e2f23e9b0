// The commands with a calculator of the fx-9860G family (Protocol 7.00), and
// what envoyer and recevoir share with them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/progress.h"
#include "session/seven.h"
#include "window/window.h"

// What to do with a name the calculator holds already.
enum class OnExisting { Ask, Replace, Keep };
// Asked only of a user at a terminal; a script keeps the calculator's own.
bool AskReplace(Console& con, OnExisting choice, const std::string& name);

// The console side of a session: the progress line of long files, the
// overwrite question.
class SevenConsole : public SevenEvents {
 public:
  explicit SevenConsole(Console& con, OnExisting choice = OnExisting::Keep)
      : con_(con), choice_(choice) {}
  void Progress(unsigned long done, unsigned long total) override;
  bool Replace(const std::string& name) override;
  bool Stopping() override { return StopAsked() != 0; }

 protected:
  Console& con_;

 private:
  OnExisting choice_;
  std::unique_ptr<::Progress> progress_;
};

// A file on its way to the calculator: command 25 (main memory) or 45
// (storage), its fields, its bytes, and its words for the console.
struct Outgoing {
  int code = 0;
  seven::Fields fields;
  std::string content;
  std::string what;
};
// The files as a calculator of the fx-9860G family takes them: a .g1m's
// files as they are, to main memory; an add-in (.g1a, by its header) or any
// file with `storage` to storage; the programs of .cat, .cas and program
// files turned into its table. False, with why, when one cannot go.
bool LoadForSeven(const std::vector<std::string>& files, const std::string& name, bool storage,
                  std::vector<Outgoing>* out, std::vector<std::string>* notes, std::string* error);
// The link is open: every file, at `speed`, then the end of the link.
int SendSeven(Console& con, SevenLink& link, const std::vector<Outgoing>& files,
              unsigned long speed);
// recevoir: the calculator opened Protocol 7.00 itself; its files go to one
// .g1m in `folder`.
int TakeSeven(Console& con, const std::string& folder);
// The status a step leaves: 0 done, 255 line lost, else 1.
int StatusOfStep(Step step);
// "refuse par la calculatrice (NAK 05 : memoire pleine)".
std::string StepWords(const SevenLink& link, Step step);

// liaison ecran on the USB cable (Projector mode), the port open: each frame
// that changes drawn in place; Enter saves the one shown as ecran-NNN.png,
// --nombre N saves N frames that differ and stops; q, Ctrl-C or the cable
// pulled end it with a summary.
// With a window: the frames are shown there (S or Enter saves, Q or Esc ends).
int EcranUsb(Console& con, const std::string& folder, int scale, bool ascii, int wanted,
             std::unique_ptr<ScreenWindow> window = nullptr);

// The other commands, with their arguments (after the command's name).
int Info(Console& con, int port, const std::vector<std::string>& args);
int Liste(Console& con, int port, const std::vector<std::string>& args);
int Recuperer(Console& con, int port, const std::vector<std::string>& args);
int Sauvegarder(Console& con, int port, const std::vector<std::string>& args);
int Supprimer(Console& con, int port, const std::vector<std::string>& args);
int Optimiser(Console& con, int port, const std::vector<std::string>& args);
