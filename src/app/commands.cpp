#include "app/commands.h"
#include "app/command_line.h"
#include "app/seven_commands.h"
#include "app/words.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "console/progress.h"
#include "files/archive.h"
#include "files/catalogue.h"
#include "files/screen.h"
#include "files/sendable.h"
#include "link/link.h"
#include "serial/serial.h"
#include "session/transmission.h"

namespace {

const char* Verdict(ItemEnd end) {
  switch (end) {
    case ItemEnd::Kept:
      return "recu";
    case ItemEnd::Sent:
      return "envoye";
    case ItemEnd::Replaced:
      return "envoye, remplace celui de la calculatrice";
    case ItemEnd::LeftAlone:
      return "deja sur la calculatrice : garde, non envoye";
    case ItemEnd::BadHeader:
      return "refuse : checksum de l'en-tete incorrect (2B envoye)";
    case ItemEnd::Unknown:
      return "refuse : type inconnu, parties inconnues (24 envoye)";
    case ItemEnd::TooLarge:
      return "refuse : plus de 1 Mio (24 envoye)";
    case ItemEnd::BadPart:
      return "refuse : checksum des donnees incorrect (2B envoye)";
    case ItemEnd::Cut:
      return "incomplet : 5 s de silence";
    case ItemEnd::NotStored:
      return "refuse (2B envoye) : pas enregistre";
    case ItemEnd::Refused:
      return "refuse par la calculatrice (24 : type inconnu ou pas de place)";
    case ItemEnd::RefusedChecksum:
      return "refuse par la calculatrice (2B : checksum)";
    case ItemEnd::RefusedInvalid:
      return "refuse par la calculatrice (51 : en-tete invalide)";
    case ItemEnd::NoAnswer:
      return "pas de reponse de la calculatrice en 5 s";
    case ItemEnd::OddAnswer:
      return "reponse inattendue de la calculatrice";
    case ItemEnd::PartRefused:
      return "donnees refusees par la calculatrice";
    case ItemEnd::Lost:
      return "incomplet : liaison perdue";
    case ItemEnd::NotWanted:
      return "refuse : ce n'est pas une capture d'ecran (24 envoye)";
  }
  return "";
}

// A capture as a picture in `folder`, under the first free name.
bool SaveCapture(const std::string& folder, const Item& item, int scale, Screen* screen,
                 std::string* path, std::string* error) {
  if (!DecodeScreen(item, screen)) {
    *error = "capture illisible";
    return false;
  }
  return SavePicture(folder, scale, screen, path, error);
}

// The console side of a transmission: a line per item, the progress line
// during long parts.
class ConsoleEvents : public TransmissionEvents {
 public:
  explicit ConsoleEvents(Console& con) : con_(con) {}
  void Started() override { Say(con_, "Transmission commencee.\n"); }
  void PartStarted(long long total) override {
    progress_ = std::make_unique<Progress>(con_, static_cast<int>(total));
  }
  void PartProgress(long long done) override {
    if (progress_) progress_->Update(static_cast<int>(done));
  }
  void PartEnded() override { progress_.reset(); }
  void ItemEnded(const Item& item, ItemEnd end, unsigned char answer) override {
    Say(con_, "  %s : %s", Describe(item).c_str(), Verdict(end));
    if (end == ItemEnd::OddAnswer || end == ItemEnd::PartRefused) Say(con_, " (%02X)", answer);
    if (end == ItemEnd::NotStored) Say(con_, " : %s", storeError_.c_str());
    Say(con_, "\n");
  }

 protected:
  Console& con_;
  std::string storeError_;

 private:
  std::unique_ptr<Progress> progress_;
};

// Every item goes to the archive; each program also to its own catalogue,
// NOM.cat, the form in which programs are shared.
class Receiving : public ConsoleEvents {
 public:
  Receiving(Console& con, const std::string& folder)
      : ConsoleEvents(con), folder_(folder), archive_(folder, "") {}
  bool Keep(const Item& item) override {
    if (!archive_.Append(item, &storeError_)) return false;
    Kind kind = KindOf(item.header);
    if (kind == Kind::Screen || kind == Kind::ColourScreen) {  // also as a picture
      Screen screen;
      std::string path, error;
      also_ = SaveCapture(folder_, item, 4, &screen, &path, &error) ? path : error;
    }
    if (kind == Kind::Program) {
      std::string path, error;
      std::string stem = SafeStem(ItemName(item.header));
      if (WriteNewFile(folder_, Numbered(stem.empty() ? "_" : stem, "cat"), WriteCatalogue({item}),
                       &path, &error))
        also_ = path;
      else
        also_ = error;  // the item is in the archive all the same
    }
    return true;
  }
  void ItemEnded(const Item& item, ItemEnd end, unsigned char answer) override {
    if (!also_.empty()) {
      Say(con_, "  %s : %s, %s\n", Describe(item).c_str(), Verdict(end), also_.c_str());
      also_.clear();
      return;
    }
    ConsoleEvents::ItemEnded(item, end, answer);
  }
  const ArchiveWriter& Archive() const { return archive_; }

 private:
  std::string folder_, also_;
  ArchiveWriter archive_;
};

class Sending : public ConsoleEvents {
 public:
  Sending(Console& con, OnExisting choice) : ConsoleEvents(con), choice_(choice) {}
  bool Replace(const Item& item) override {
    return AskReplace(con_, choice_, ItemName(item.header));
  }

 private:
  OnExisting choice_;
};

const char* EndWords(TransmissionEnd end) {
  switch (end) {
    case TransmissionEnd::EndHeader:
      return "Fin de la transmission.\n";
    case TransmissionEnd::Silence:
      return "Fin de la transmission : 5 s sans rien apres le dernier element.\n";
    case TransmissionEnd::Backup:
      return "Fin de la transmission (une sauvegarde est seule).\n";
    case TransmissionEnd::NoCalculator:
      return "La calculatrice ne s'est pas manifestee.\n";
    case TransmissionEnd::NothingCame:
      return "La calculatrice n'a rien envoye.\n";
    case TransmissionEnd::Broken:
      return "Transmission interrompue.\n";
    case TransmissionEnd::LineLost:
      return "Liaison avec la calculatrice perdue (cable debranche?).\n";
    case TransmissionEnd::Enough:
      return "Fin : le nombre demande est atteint.\n";
    case TransmissionEnd::SevenCall:
      return "La calculatrice parle le Protocole 7.00 (Graph 35+ ou suivante).\n";
  }
  return "";
}

int StatusOf(const Summary& summary) {
  if (summary.end == TransmissionEnd::LineLost) return -1;
  bool whole = summary.end == TransmissionEnd::EndHeader ||
               summary.end == TransmissionEnd::Silence || summary.end == TransmissionEnd::Backup ||
               summary.end == TransmissionEnd::Enough;
  return whole && summary.notDone == 0 ? 0 : 1;
}

}  // namespace

int Recevoir(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage = "liaison recevoir [DOSSIER] [--attente SECONDES]";
  std::string folder = ".";
  int wait = -1;
  bool named = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--attente") {
      if (!NumberAfter(args, &i, 0, kMostSeconds, &wait)) return Usage(usage);
    } else if (!TakeFolder(args[i], &folder, &named)) {
      return Usage(usage);
    }
  }
  if (!IsFolder(folder)) return 2;
  // Before the calculator is answered: it would take every file for received.
  std::string error;
  if (!FolderTakesFiles(folder, &error)) {
    Say(con, "Rien ne peut etre enregistre : %s\n", error.c_str());
    return 1;
  }
  if (!OpenPort(con, port)) return -1;
  if (wait >= 0)
    Say(con, "En attente de la calculatrice sur %s (%d s au plus)...\n", PortWords(port).c_str(),
        wait);
  else
    Say(con, "En attente de la calculatrice sur %s...\n", PortWords(port).c_str());
  Receiving events(con, folder);
  Summary summary = ReceiveTransmission(wait, events);
  if (summary.end == TransmissionEnd::SevenCall) return TakeSeven(con, folder);
  CloseCOM();
  Say(con, "%s", EndWords(summary.end));
  const ArchiveWriter& archive = events.Archive();
  if (archive.Items() > 0)
    Say(con, "%d element(s) enregistre(s) dans %s\n", archive.Items(), archive.Path().c_str());
  else
    Say(con, "Aucun element enregistre.\n");
  if (summary.notDone > 0) Say(con, "%d element(s) non recu(s).\n", summary.notDone);
  return StatusOf(summary);
}

namespace {

bool IsArchiveOrCatalogue(const std::string& path) {
  return HasEnding(path, ".cas") || HasEnding(path, ".cat") || IsMainMemoryArchive(path);
}

struct Sendings {
  OnExisting choice = OnExisting::Ask;
  std::string name, protocol;  // protocol: "", "7" or "cas50"
  bool storage = false;
  bool careful = false;  // --prudent: on USB too, each packet waits for its answer
  bool memory = false;
  unsigned long speed = 115200;
  std::vector<std::string> files;
};

bool ReadSendings(const std::vector<std::string>& args, Sendings* s) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--remplacer" || args[i] == "--garder") {
      OnExisting wanted = args[i] == "--remplacer" ? OnExisting::Replace : OnExisting::Keep;
      if (s->choice != OnExisting::Ask && s->choice != wanted) return false;
      s->choice = wanted;
    } else if (args[i] == "--nom") {
      if (!WordAfter(args, &i, &s->name)) return false;
    } else if (args[i] == "--protocole") {
      if (!WordAfter(args, &i, &s->protocol)) return false;
      if (s->protocol != "7" && s->protocol != "cas50") {
        std::fprintf(stderr, "liaison : --protocole %s : 7 ou cas50 est attendu\n",
                     Shown(s->protocol).c_str());
        return false;
      }
    } else if (args[i] == "--vitesse") {
      if (!SpeedAfter(args, &i, &s->speed)) return false;
    } else if (args[i] == "--stockage") {
      s->storage = true;
    } else if (args[i] == "--prudent") {
      s->careful = true;
    } else if (args[i] == "--memoire" || args[i] == "--sans-ejecter") {
      // What a calculator's disk needs: over a cable, programs go to main
      // memory anyway, and nothing is mounted.
      s->memory = s->memory || args[i] == "--memoire";
    } else if (args[i].compare(0, 2, "--") == 0) {
      return false;
    } else {
      s->files.push_back(args[i]);
    }
  }
  // --nom names one program file; the items of an archive or a catalogue
  // have names of their own.
  bool named = s->name.empty() || (s->files.size() == 1 && !IsArchiveOrCatalogue(s->files[0]));
  return !s->files.empty() && named && !(s->storage && (s->protocol == "cas50" || s->memory));
}

// Every file read as the Graph 35/65 takes it, before anything is sent.
bool LoadForCas50(const Sendings& s, std::vector<Item>* items, std::vector<std::string>* notes,
                  std::string* error) {
  if (s.storage) {
    *error = "--stockage : une Graph 35/65 n'a pas de memoire de stockage";
    return false;
  }
  std::vector<std::string> from;  // each item's file
  for (const std::string& file : s.files) {
    if (!LoadSendable(file, s.name, items, notes, error)) return false;
    from.resize(items->size(), file);
  }
  // Two items of one name: the calculator would take the second for the
  // first's, or replace it.
  for (size_t i = 0; i < items->size(); ++i) {
    const Bytes& h = (*items)[i].header;
    Kind kind = KindOf(h);
    if (h.size() != HEADER_SIZE || kind == Kind::Backup || kind == Kind::End) continue;
    for (size_t k = 0; k < i; ++k) {
      const Bytes& other = (*items)[k].header;
      if (other.size() == h.size() && std::equal(h.begin() + 1, h.begin() + 7, other.begin() + 1) &&
          ItemName(h) == ItemName(other)) {
        *error = Describe((*items)[i]) + " est deux fois dans l'envoi (" + from[k] + " et " +
                 from[i] + ") : la calculatrice n'en garderait qu'un";
        return false;
      }
    }
  }
  return true;
}

int SendCas50(Console& con, const std::vector<Item>& items, OnExisting choice, bool called) {
  if (items.empty()) {
    Say(con, "Rien a envoyer : les fichiers ne contiennent aucun element.\n");
    CloseCOM();
    return 1;
  }
  Sending events(con, choice);
  Summary summary = SendTransmission(items, events, called);
  CloseCOM();
  Say(con, "%s", EndWords(summary.end));
  Say(con, "%d element(s) envoye(s) sur %d.\n", summary.done, static_cast<int>(items.size()));
  return StatusOf(summary);
}

}  // namespace

int Envoyer(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage =
      "liaison envoyer [--remplacer | --garder] [--nom NOM] [--stockage | --memoire] "
      "[--protocole 7|cas50] [--vitesse N] [--prudent] [--sans-ejecter] FICHIER...";
  Sendings s;
  if (!ReadSendings(args, &s)) return Usage(usage);
  // Every file is read for each protocol it may go by before anything is
  // sent: a file that cannot be sent stops it all before it starts.
  std::vector<Item> items;
  std::vector<Outgoing> outgoing;
  std::vector<std::string> casNotes, sevenNotes;
  std::string casError, sevenError;
  bool cas = s.protocol != "7" && LoadForCas50(s, &items, &casNotes, &casError);
  bool seven = s.protocol != "cas50" &&
               LoadForSeven(s.files, s.name, s.storage, &outgoing, &sevenNotes, &sevenError);
  if (!cas && !seven) {
    bool sevenSays = s.protocol == "7" || (s.protocol.empty() && (s.storage || casError.empty()));
    Say(con, "%s\nRien n'a ete envoye.\n", (sevenSays ? sevenError : casError).c_str());
    return 1;
  }
  if (!OpenPort(con, port)) return -1;
  Say(con, "En attente de la calculatrice sur %s (mettez-la en reception)...\n",
      PortWords(port).c_str());
  SevenConsole events(con, s.choice);
  SevenLink link(events);
  link.AllowShifting(!s.careful);
  Protocol protocol = s.protocol == "7"       ? Protocol::Seven
                      : s.protocol == "cas50" ? Protocol::Cas50
                                              : FindProtocol(link);
  if (protocol == Protocol::LineLost) {
    CloseCOM();
    Say(con, "Liaison avec la calculatrice perdue (cable debranche?).\n");
    return -1;
  }
  if (protocol == Protocol::Cas50) {
    for (const std::string& note : casNotes) Say(con, "%s\n", note.c_str());
    if (!cas) {
      Say(con, "%s\nRien n'a ete envoye.\n", casError.c_str());
      CloseCOM();
      return 1;
    }
    return SendCas50(con, items, s.choice, s.protocol.empty());
  }
  if (s.protocol == "7") {
    Step step = link.Open();
    if (step != Step::Done) {
      CloseCOM();
      Say(con, "Pas de reponse en Protocole 7.00 : %s.\n", StepWords(link, step).c_str());
      return StatusOfStep(step);
    }
  }
  for (const std::string& note : sevenNotes) Say(con, "%s\n", note.c_str());
  if (!seven) {
    Say(con, "%s\nRien n'a ete envoye.\n", sevenError.c_str());
    link.Close();
    CloseCOM();
    return 1;
  }
  return SendSeven(con, link, outgoing, s.speed);
}

namespace {

// Each capture: saved as a picture, drawn on the console, named.
class Capturing : public ConsoleEvents {
 public:
  Capturing(Console& con, const std::string& folder, int scale, bool ascii, int wanted, int wait,
            ScreenWindow* window)
      : ConsoleEvents(con),
        folder_(folder),
        scale_(scale),
        ascii_(ascii),
        wanted_(wanted),
        wait_(wait),
        window_(window) {}
  // Q, Esc or the window closed: the wait ends.
  bool Closed() {
    if (window_ && !closed_) closed_ = window_->Events(0) == WindowKey::Quit;
    return closed_;
  }
  // --attente counts from the last capture saved, whatever came since.
  int Left() const {
    if (wait_ < 0) return -1;
    auto spent = std::chrono::steady_clock::now() - last_;
    auto left = std::chrono::seconds(wait_) - spent;
    return left <= std::chrono::seconds(0)
               ? 0
               : static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
  }
  bool Expired() override { return Closed() || Left() == 0; }
  bool Wanted(const Item& header) override {
    Kind kind = KindOf(header.header);
    return kind == Kind::Screen || kind == Kind::ColourScreen;
  }
  bool Keep(const Item& item) override {
    Screen screen;
    if (!SaveCapture(folder_, item, scale_, &screen, &path_, &storeError_)) return false;
    if (window_)
      window_->Show(screen.pixels, screen.width, screen.height);
    else
      Say(con_, "%s",
          DrawScreen(screen, ascii_, con_.outIsTerminal ? ConsoleColumns(con_) : 0).c_str());
    for (const std::string& note : screen.notes) Say(con_, "  %s\n", note.c_str());
    size_ = std::to_string(screen.width) + " x " + std::to_string(screen.height);
    ++taken_;
    last_ = std::chrono::steady_clock::now();
    SetLastWords("\n" + Summary());
    return true;
  }
  void ItemEnded(const Item& item, ItemEnd end, unsigned char answer) override {
    if (end == ItemEnd::Kept)
      Say(con_, "Capture %d (%s) : %s\n", taken_, size_.c_str(), path_.c_str());
    else
      ConsoleEvents::ItemEnded(item, end, answer);
    if (end != ItemEnd::Kept) ++faults_;
  }
  bool Enough() override { return Closed() || (wanted_ > 0 && taken_ >= wanted_); }
  int Taken() const { return taken_; }
  // What Ctrl-C and the end both say.
  std::string Summary() const { return std::to_string(taken_) + " capture(s) enregistree(s).\n"; }
  int Faults() const { return faults_; }

 private:
  std::string folder_, path_, size_;
  int scale_;
  bool ascii_;
  int wanted_, taken_ = 0, faults_ = 0;
  int wait_;
  ScreenWindow* window_;
  bool closed_ = false;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

}  // namespace

int Ecran(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage =
      "liaison ecran [DOSSIER] [--echelle N] [--nombre N] [--attente SECONDES] [--ascii] "
      "[--fenetre]";
  std::string folder = ".";
  int scale = 4, wanted = 0, wait = -1;
  bool ascii = false, named = false, window = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--fenetre") {
      window = true;
    } else if (args[i] == "--echelle") {
      if (!NumberAfter(args, &i, 1, 64, &scale)) return Usage(usage);
    } else if (args[i] == "--nombre") {
      if (!NumberAfter(args, &i, 1, 1000000, &wanted)) return Usage(usage);
    } else if (args[i] == "--attente") {
      if (!NumberAfter(args, &i, 0, kMostSeconds, &wait)) return Usage(usage);
    } else if (args[i] == "--ascii") {
      ascii = true;
    } else if (!TakeFolder(args[i], &folder, &named)) {
      return Usage(usage);
    }
  }
  if (!IsFolder(folder)) return 2;
  if (!ascii && !DrawsUtf8(con)) ascii = true;  // a console without UTF-8 gets '#'
    // The screen comes in another mode than the files.
#ifdef _WIN32
  // Windows does not always show a volume for a calculator in ScreenRecv.
  CurrentSerialBackend().SetModeHint(
      "Projecteur (Projector), ou ScreenR(XP) sur une Graph 90+E (ScreenRecv seulement si "
      "Windows montre son disque),");
#else
  CurrentSerialBackend().SetModeHint(
      "Projecteur (Projector), ou ScreenR(XP) / ScreenRecv sur une Graph 90+E,");
#endif
  if (!OpenPort(con, port)) return -1;
  bool usb = CurrentSerialBackend().IsUsb();
  std::unique_ptr<ScreenWindow> shown;
  if (window) {
    std::string why;
    // A colour model's screen is the largest a window is first sized for.
    shown = OpenScreenWindow("Liaison - ecran de la calculatrice", usb ? 384 : 128, usb ? 216 : 64,
                             &why);
    if (!shown) Say(con, "Pas de fenetre : %s. L'ecran est dessine ici.\n", why.c_str());
  }
  if (usb) return EcranUsb(con, folder, scale, ascii, wanted, std::move(shown));
  Say(con, "En attente des captures d'ecran sur %s (touche de capture de la calculatrice)...\n",
      PortWords(port).c_str());
  Capturing events(con, folder, scale, ascii, wanted, wait, shown.get());
  SetLastWords("\n" + events.Summary());
  // Each capture is a transmission of its own.
  Summary summary;
  for (;;) {
    // With a window, the wait is cut short now and then to look at its keys
    // (each look waits for the line's time-out: up to 5 s).
    int left = events.Left();
    summary = ReceiveTransmission(shown && left != 0 ? 1 : left, events);
    if (summary.end == TransmissionEnd::LineLost || summary.end == TransmissionEnd::Enough) break;
    if (summary.end == TransmissionEnd::NoCalculator &&
        (!shown || events.Closed() || events.Left() == 0))
      break;
  }
  CloseCOM();
  if (events.Closed())
    Say(con, "Fenetre fermee.\n");
  else if (summary.end == TransmissionEnd::NoCalculator)
    Say(con, "Plus rien depuis %d s.\n", wait);
  else
    Say(con, "%s", EndWords(summary.end));
  SetLastWords("");
  Say(con, "%s", events.Summary().c_str());
  if (summary.end == TransmissionEnd::LineLost) return -1;
  return events.Faults() == 0 && events.Taken() > 0 ? 0 : 1;
}
