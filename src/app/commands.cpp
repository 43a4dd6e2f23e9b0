#include "app/commands.h"
#include "app/words.h"

#include <sys/stat.h>

#include <algorithm>
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

// ecran-001.png, ecran-002.png...
std::string CaptureName(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "ecran-%03d.png", n);
  return name;
}

// A capture as a picture in `folder`, under the first free name.
bool SaveCapture(const std::string& folder, const Item& item, int scale, Screen* screen,
                 std::string* path, std::string* error) {
  if (!DecodeScreen(item, screen)) {
    *error = "capture illisible";
    return false;
  }
  return WriteNewFile(folder, CaptureName, ScreenPng(*screen, scale), path, error);
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
      : ConsoleEvents(con), folder_(folder), archive_(folder, DateStem(std::time(nullptr))) {}
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

enum class OnExisting { Ask, Replace, Keep };

class Sending : public ConsoleEvents {
 public:
  Sending(Console& con, OnExisting choice) : ConsoleEvents(con), choice_(choice) {}
  // Asked only of a user at a terminal; a script keeps the calculator's item.
  bool Replace(const Item& item) override {
    if (choice_ != OnExisting::Ask) return choice_ == OnExisting::Replace;
    if (!con_.inIsTerminal) return false;
    Say(con_, "%s est deja sur la calculatrice. Le remplacer ? (o/n) ",
        Shown(ItemName(item.header)).c_str());
    std::string word;
    if (ReadWord(con_, &word) != Answer::Given) return false;
    return word == "o" || word == "O" || word == "oui";
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

int Usage(const char* usage) {
  std::fprintf(stderr, "usage : %s\n", usage);
  return 2;
}

// A whole number in [low, high], as a command-line value.
bool Count(const std::string& text, int low, int high, int* value) {
  char* end = nullptr;
  long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high) return false;
  *value = static_cast<int>(n);
  return true;
}

bool Seconds(const std::string& text, int* seconds) {
  return Count(text, 0, 1000000, seconds);
}

// The one word of a command line that is no option: its folder. False for an
// unknown option or a second folder.
bool TakeFolder(const std::string& word, std::string* folder, bool* named) {
  if (word.compare(0, 2, "--") == 0 || *named) return false;
  *folder = word;
  *named = true;
  return true;
}

// A folder named on the command line that is none is a wrong command line.
bool IsFolder(const std::string& folder) {
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  std::fprintf(stderr, "liaison : %s n'est pas un dossier\n", folder.c_str());
  return false;
}

bool OpenPort(Console& con, int port) {
  if (!OpenCOM(port)) {
    Say(con, "\n");
    return false;
  }
  return true;
}

}  // namespace

int Recevoir(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage = "liaison recevoir [DOSSIER] [--attente SECONDES]";
  std::string folder = ".";
  int wait = -1;
  bool named = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--attente") {
      if (i + 1 >= args.size() || !Seconds(args[++i], &wait)) return Usage(usage);
    } else if (!TakeFolder(args[i], &folder, &named)) {
      return Usage(usage);
    }
  }
  if (!IsFolder(folder)) return 2;
  if (!OpenPort(con, port)) return -1;
  if (wait >= 0)
    Say(con, "En attente de la calculatrice sur COM%d (%d s au plus)...\n", port, wait);
  else
    Say(con, "En attente de la calculatrice sur COM%d...\n", port);
  Receiving events(con, folder);
  Summary summary = ReceiveTransmission(wait, events);
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

int Envoyer(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage = "liaison envoyer [--remplacer | --garder] [--nom NOM] FICHIER...";
  OnExisting choice = OnExisting::Ask;
  std::string name;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--remplacer" || args[i] == "--garder") {
      OnExisting wanted = args[i] == "--remplacer" ? OnExisting::Replace : OnExisting::Keep;
      if (choice != OnExisting::Ask && choice != wanted) return Usage(usage);
      choice = wanted;
    } else if (args[i] == "--nom") {
      if (i + 1 >= args.size()) return Usage(usage);
      name = args[++i];
    } else if (args[i].compare(0, 2, "--") == 0) {
      return Usage(usage);
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty() || (!name.empty() && files.size() != 1)) return Usage(usage);
  // Every file is read before anything is sent: a file that cannot be sent
  // stops the whole transmission before it starts.
  std::vector<Item> items;
  for (const std::string& file : files) {
    std::string error;
    std::vector<std::string> notes;
    bool loaded = LoadSendable(file, name, &items, &notes, &error);
    for (const std::string& note : notes) Say(con, "%s\n", note.c_str());
    if (!loaded) {
      Say(con, "%s\nRien n'a ete envoye.\n", error.c_str());
      return 1;
    }
  }
  if (items.empty()) {
    Say(con, "Rien a envoyer : les fichiers ne contiennent aucun element.\n");
    return 1;
  }
  if (!OpenPort(con, port)) return -1;
  Say(con, "En attente de la calculatrice sur COM%d (mettez-la en reception)...\n", port);
  Sending events(con, choice);
  Summary summary = SendTransmission(items, events);
  CloseCOM();
  Say(con, "%s", EndWords(summary.end));
  Say(con, "%d element(s) envoye(s) sur %d.\n", summary.done, static_cast<int>(items.size()));
  return StatusOf(summary);
}

namespace {

// Each capture: saved as a picture, drawn on the console, named.
class Capturing : public ConsoleEvents {
 public:
  Capturing(Console& con, const std::string& folder, int scale, bool ascii, int wanted)
      : ConsoleEvents(con), folder_(folder), scale_(scale), ascii_(ascii), wanted_(wanted) {}
  bool Wanted(const Item& header) override {
    Kind kind = KindOf(header.header);
    return kind == Kind::Screen || kind == Kind::ColourScreen;
  }
  bool Keep(const Item& item) override {
    Screen screen;
    if (!SaveCapture(folder_, item, scale_, &screen, &path_, &storeError_)) return false;
    Say(con_, "%s", DrawScreen(screen, ascii_).c_str());
    for (const std::string& note : screen.notes) Say(con_, "  %s\n", note.c_str());
    size_ = std::to_string(screen.width) + " x " + std::to_string(screen.height);
    ++taken_;
    return true;
  }
  void ItemEnded(const Item& item, ItemEnd end, unsigned char answer) override {
    if (end == ItemEnd::Kept)
      Say(con_, "Capture %d (%s) : %s\n", taken_, size_.c_str(), path_.c_str());
    else
      ConsoleEvents::ItemEnded(item, end, answer);
    if (end != ItemEnd::Kept) ++faults_;
  }
  bool Enough() override { return wanted_ > 0 && taken_ >= wanted_; }
  int Taken() const { return taken_; }
  int Faults() const { return faults_; }

 private:
  std::string folder_, path_, size_;
  int scale_;
  bool ascii_;
  int wanted_, taken_ = 0, faults_ = 0;
};

}  // namespace

int Ecran(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage =
      "liaison ecran [DOSSIER] [--echelle N] [--nombre N] [--attente SECONDES] [--ascii]";
  std::string folder = ".";
  int scale = 4, wanted = 0, wait = -1;
  bool ascii = false, named = false;
  for (size_t i = 0; i < args.size(); ++i) {
    bool more = i + 1 < args.size();
    if (args[i] == "--echelle") {
      if (!more || !Count(args[++i], 1, 64, &scale)) return Usage(usage);
    } else if (args[i] == "--nombre") {
      if (!more || !Count(args[++i], 1, 1000000, &wanted)) return Usage(usage);
    } else if (args[i] == "--attente") {
      if (!more || !Seconds(args[++i], &wait)) return Usage(usage);
    } else if (args[i] == "--ascii") {
      ascii = true;
    } else if (!TakeFolder(args[i], &folder, &named)) {
      return Usage(usage);
    }
  }
  if (!IsFolder(folder)) return 2;
  if (!OpenPort(con, port)) return -1;
  Say(con, "En attente des captures d'ecran sur COM%d (touche de capture de la calculatrice)...\n",
      port);
  Capturing events(con, folder, scale, ascii, wanted);
  // Each capture is a transmission of its own; --attente counts from the
  // last one.
  std::time_t last = std::time(nullptr);
  Summary summary;
  for (;;) {
    int left = wait;
    if (wait >= 0) left = std::max(0, wait - static_cast<int>(std::time(nullptr) - last));
    int before = events.Taken();
    summary = ReceiveTransmission(left, events);
    if (events.Taken() > before) last = std::time(nullptr);
    if (summary.end == TransmissionEnd::LineLost || summary.end == TransmissionEnd::Enough ||
        summary.end == TransmissionEnd::NoCalculator)
      break;
  }
  CloseCOM();
  if (summary.end == TransmissionEnd::NoCalculator)
    Say(con, "Plus rien depuis %d s.\n", wait);
  else
    Say(con, "%s", EndWords(summary.end));
  Say(con, "%d capture(s) enregistree(s).\n", events.Taken());
  if (summary.end == TransmissionEnd::LineLost) return -1;
  return events.Faults() == 0 && events.Taken() > 0 ? 0 : 1;
}
