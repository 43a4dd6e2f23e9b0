#include "app/seven_commands.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <map>
#include <memory>

#include "app/command_line.h"
#include "app/words.h"
#include "console/console.h"
#include "console/progress.h"
#include "files/archive.h"
#include "files/g1m.h"
#include "files/sendable.h"
#include "serial/serial.h"
#include "text/program_file.h"

using namespace seven;

namespace {

const char kNoCalculator[] =
    "La calculatrice ne repond pas. Une Graph 35+ ou suivante : LINK, cable 3 broches "
    "(CABL), capture Memoire (CAPT), puis Recevoir (RECV).\n";

// The port opened and the link with it; false (and `status`) when either
// fails.
bool OpenSeven(Console& con, int port, SevenLink& link, int* status) {
  if (!OpenPort(con, port)) {
    *status = -1;
    return false;
  }
  StopOnSignals(true);  // a Ctrl-C brings the calculator back before the end
  Step step = link.Open();
  if (step == Step::Done) return true;
  Say(con, step == Step::LineLost ? "Liaison avec la calculatrice perdue.\n" : kNoCalculator);
  CloseCOM();
  *status = StatusOfStep(step);
  return false;
}

int Finish(Console& con, SevenLink& link, int status) {
  Step closed = link.Close();
  CloseCOM();
  if (closed == Step::LineLost && status != -1) {
    Say(con, "Liaison avec la calculatrice perdue a la fin.\n");
    return -1;
  }
  return status;
}

// "00004096" as "4096"; anything that is no decimal number, as it is.
std::string Kib(const std::string& digits) {
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
    return Shown(digits);
  size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

std::string KindWords(int type) {
  return type == MAIN_PROGRAM ? "programme" : "type " + Hex(static_cast<unsigned long>(type), 2);
}

MainFile FileOf(const Announced& a) {
  MainFile file;
  file.directory = a.fields.d[0];
  file.name = a.fields.d[1];
  file.group = a.fields.d[2];
  file.type = static_cast<unsigned char>(a.fields.type);
  file.content = a.content;
  return file;
}

// The main memory's list: each file's type, directory and group, for the
// commands that name a file.
Step MainList(SevenLink& link, std::vector<Announced>* files) {
  return link.Request(kRequestMainList, Fields(), files);
}

const Announced* Named(const std::vector<Announced>& files, const std::string& name) {
  for (const Announced& a : files)
    if (a.fields.d[1] == name) return &a;
  return nullptr;
}

// "dossier/NOM.G1M" as folder and name.
void SplitStorageName(const std::string& path, std::string* folder, std::string* name) {
  size_t slash = path.find('/');
  *folder = slash == std::string::npos ? "" : path.substr(0, slash);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAddIn(const std::string& bytes) {
  static const char kMagic[] = "USBPower";
  if (bytes.size() < 32) return false;
  for (int i = 0; i < 8; ++i)
    if (static_cast<char>(~bytes[i]) != kMagic[i]) return false;
  return static_cast<unsigned char>(~bytes[8]) == 0xF3;
}

Outgoing MainOutgoing(const MainFile& file) {
  Outgoing out;
  out.code = kMainFile;
  out.fields = MainFields(file.directory, file.name, file.group, file.type);
  out.content = file.content;
  out.what = Shown(DescribeFile(file));
  return out;
}

}  // namespace

void SevenConsole::Progress(unsigned long done, unsigned long total) {
  if (total < 4096) return;
  if (!progress_) progress_ = std::make_unique<::Progress>(con_, static_cast<int>(total));
  progress_->Update(static_cast<int>(done));
  if (done >= total) progress_.reset();
}

bool SevenConsole::Replace(const std::string& name) {
  progress_.reset();
  return AskReplace(con_, choice_, name);
}

bool AskReplace(Console& con, OnExisting choice, const std::string& name) {
  if (choice != OnExisting::Ask) return choice == OnExisting::Replace;
  if (!con.inIsTerminal) return false;
  Say(con, "%s est deja sur la calculatrice. Le remplacer ? (o/n) ", Shown(name).c_str());
  std::string word;
  if (ReadWord(con, &word) != Answer::Given) return false;
  return word == "o" || word == "O" || word == "oui";
}

int StatusOfStep(Step step) {
  return step == Step::Done ? 0 : step == Step::LineLost ? -1 : 1;
}

std::string StepWords(const SevenLink& link, Step step) {
  switch (step) {
    case Step::Done:
      return "fait";
    case Step::Kept:
      return "deja sur la calculatrice : garde, non envoye";
    case Step::Refused:
      return "refuse par la calculatrice (NAK " + Hex(static_cast<unsigned long>(link.Nak()), 2) +
             (link.Nak() == kNakFull ? " : memoire pleine)" : ")");
    case Step::NoAnswer:
      return "pas de reponse de la calculatrice";
    case Step::Broken:
      return "echange rompu : " + link.Why();
    case Step::LineLost:
      return "liaison perdue";
    case Step::Stopped:
      return "interrompu";
  }
  return "";
}

namespace {

// A file to storage as it is, into the calculator's `folder`.
bool StorageOne(const std::string& path, const std::string& folder, std::vector<Outgoing>* out,
                std::string* error) {
  std::string bytes;
  if (!ReadTextFile(path, &bytes, error)) return false;
  Outgoing file;
  file.code = kStorageFile;
  std::string base = path.substr(path.find_last_of("/\\") + 1);
  file.fields = StorageFields(folder, base);
  file.content = bytes;
  std::string shown = folder.empty() ? base : folder + "/" + base;
  file.what = "fichier " + Shown(shown) + " (" + Octets(bytes.size()) + ")";
  out->push_back(file);
  return true;
}

// One file's part of LoadForSeven.
bool LoadOne(const std::string& path, const std::string& name, bool storage,
             std::vector<Outgoing>* out, std::vector<std::string>* notes, std::string* error) {
  if (storage && IsDirectory(path)) {  // a storage backup: each file back in its folder
    std::vector<StorageEntry> entries;
    if (!StorageTree(path, &entries, error)) return false;
    for (const StorageEntry& entry : entries)
      if (!StorageOne(entry.path, entry.folder, out, error)) return false;
    return true;
  }
  if (storage) return StorageOne(path, "", out, error);
  std::string bytes;
  bool main = IsMainMemoryArchive(path);
  if ((main || HasEnding(path, ".g1a")) && !ReadTextFile(path, &bytes, error)) return false;
  if (IsAddIn(bytes)) return StorageOne(path, "", out, error);  // an add-in, by its header
  if (main) {
    G1mRead read;
    if (!ReadG1m(bytes, &read, error)) {
      *error = path + " : " + *error;
      return false;
    }
    for (const std::string& warning : read.warnings) notes->push_back(path + " : " + warning);
    for (const MainFile& file : read.files) {
      // How a calculator takes a file of no byte is not known: it is kept here.
      if (file.content.empty()) {
        *error = path + " : " + Shown(DescribeFile(file)) + " est vide : il n'est pas envoye";
        return false;
      }
      out->push_back(MainOutgoing(file));
    }
    return true;
  }
  std::vector<Item> items;
  if (!LoadSendable(path, name, &items, notes, error)) return false;
  for (const Item& item : items) {
    MainFile file;
    std::string why;
    if (!ProgramOfItem(item, &file, notes, &why)) {
      *error = path + " : " + why;
      return false;
    }
    out->push_back(MainOutgoing(file));
  }
  return true;
}

}  // namespace

bool LoadForSeven(const std::vector<std::string>& files, const std::string& name, bool storage,
                  std::vector<Outgoing>* out, std::vector<std::string>* notes, std::string* error) {
  std::vector<std::string> from;  // each file's path
  for (const std::string& path : files) {
    if (!LoadOne(path, name, storage, out, notes, error)) return false;
    from.resize(out->size(), path);
  }
  // Two files of one name: the second would replace the first, or be taken
  // for the calculator's own.
  for (size_t i = 0; i < out->size(); ++i)
    for (size_t k = 0; k < i; ++k) {
      const Outgoing &a = (*out)[k], &b = (*out)[i];
      bool same = a.code == b.code;
      for (int d = 0; same && d < 6; ++d) same = a.fields.d[d] == b.fields.d[d];
      if (same) {
        *error = b.what + " est deux fois dans l'envoi (" + from[k] + " et " + from[i] +
                 ") : la calculatrice n'en garderait qu'un";
        return false;
      }
    }
  return true;
}

int SendSeven(Console& con, SevenLink& link, const std::vector<Outgoing>& files,
              unsigned long speed) {
  StopOnSignals(true);
  Say(con, "Calculatrice Graph 35+ ou suivante (Protocole 7.00).\n");
  int status = 0, sent = 0;
  if (speed != 9600) {
    Step step = link.SetSpeed(speed);
    if (step != Step::Done) {
      Say(con, "Vitesse de %lu bit/s : %s ; la suite a 9600 bit/s.\n", speed,
          StepWords(link, step).c_str());
      if (step == Step::LineLost) return Finish(con, link, -1);
    }
  }
  for (const Outgoing& file : files) {
    Step step = link.SendFile(file.code, file.fields, file.content);
    Say(con, "  %s : %s\n", file.what.c_str(),
        step == Step::Done ? "envoye" : StepWords(link, step).c_str());
    if (step == Step::Done) ++sent;
    status = Worst(status, StatusOfStep(step));
    if (step == Step::LineLost || step == Step::NoAnswer || step == Step::Stopped ||
        link.Ended() ||
        (step == Step::Refused && (link.Nak() == kNakEnds || link.Nak() == kNakFull)))
      break;  // the link is over
  }
  Say(con, "%d fichier(s) envoye(s) sur %d.\n", sent, static_cast<int>(files.size()));
  return Finish(con, link, status);
}

namespace {

// An archive holds at most 65,535 files (its count has 16 bits); one that
// Liaison keeps growing on disk is rewritten whole for each new file, so it
// is also kept small: the next file past 1 MiB starts another.
constexpr size_t kArchiveFiles = 65535;
constexpr size_t kArchiveBytes = 1 << 20;

// recevoir's events: each main-memory file is on disk, in a whole archive,
// before the calculator is told it was received.
class Taking : public SevenConsole {
 public:
  Taking(Console& con, const std::string& folder) : SevenConsole(con), folder_(folder) {}
  bool Keep(const Announced& file, int* nak) override {
    MainFile kept = FileOf(file);
    std::string what = Shown(DescribeFile(kept));
    if (file.code != kMainFile || kept.name.empty()) {
      Say(con_, "  %s : refuse (%s)\n", what.c_str(),
          kept.name.empty() ? "nom vide" : "pas un fichier de la memoire principale");
      *nak = kNakError;
      return false;
    }
    if (stem_.empty()) stem_ = DateStem(std::time(nullptr));
    size_t a = 0;
    while (a < archives_.size() && !archives_[a].Takes(kept)) ++a;
    if (a == archives_.size()) archives_.push_back(Archive());
    Archive& archive = archives_[a];
    std::vector<MainFile> files = archive.files;
    files.push_back(kept);
    std::string error;
    bool written =
        archive.path.empty()
            ? WriteNewFile(folder_, Numbered(stem_, "g1m"), WriteG1m(files), &archive.path, &error)
            : WriteFileWhole(archive.path, WriteG1m(files), &error) == Written::Whole;
    int code = errno;
    if (!written) {
      if (archive.files.empty()) archives_.pop_back();
      Say(con_, "  %s : pas enregistre : %s\n", what.c_str(), error.c_str());
      *nak = code == ENOSPC ? kNakFull : kNakError;
      return false;
    }
    archive.files = files;
    archive.bytes += kept.content.size();
    ++kept_;
    if (a > 0 && files.size() == 1)  // a new archive: said, and why
      Say(con_, "  %s : recu, dans %s (%s)\n", what.c_str(), archive.path.c_str(),
          archives_[0].Has(kept) ? "ce nom est deja recu" : "archive precedente pleine");
    else
      Say(con_, "  %s : recu\n", what.c_str());
    return true;
  }
  int Kept() const { return kept_; }
  // Where the files are: "X.g1m", or "X.g1m, X-2.g1m".
  std::string Paths() const {
    std::string paths;
    for (const Archive& a : archives_) paths += (paths.empty() ? "" : ", ") + a.path;
    return paths;
  }

 private:
  struct Archive {
    std::string path;
    std::vector<MainFile> files;
    size_t bytes = 0;
    bool Has(const MainFile& f) const {
      for (const MainFile& other : files)
        if (other.name == f.name && other.group == f.group && other.directory == f.directory)
          return true;
      return false;
    }
    bool Takes(const MainFile& f) const {
      return !Has(f) && files.size() < kArchiveFiles &&
             (files.empty() || bytes + f.content.size() <= kArchiveBytes);
    }
  };
  std::string folder_, stem_;
  std::vector<Archive> archives_;
  int kept_ = 0;
};

// What a PC answers with when a calculator asks who it is.
DeviceInfo PcInfo() {
  DeviceInfo info;
  info.hardwareId = "Gy362007";
  info.processor = "RENESAS SH735501";
  info.romKiB = "00000000";
  info.flashKiB = "00004096";
  info.ramKiB = "00000512";
  info.bootVersion = "01.04.0000";
  info.bootOffset = "A0000000";
  info.bootSizeKiB = "00000064";
  info.osVersion = "02.04.0201";
  info.osOffset = "A0010000";
  info.osSizeKiB = "00002496";
  info.protocol = "7.00";
  info.productId = "LIAISON0";
  info.userName = "LIAISON";
  return info;
}

}  // namespace

int TakeSeven(Console& con, const std::string& folder) {
  StopOnSignals(true);
  Say(con, "Calculatrice Graph 35+ ou suivante (Protocole 7.00) : transmission commencee.\n");
  Taking events(con, folder);
  SevenTaken taken = TakeSevenTransmission(events, PcInfo());
  CloseCOM();
  int status = taken.end == Step::LineLost ? -1 : taken.end == Step::Done ? 0 : 1;
  if (status == 0) Say(con, "Fin de la transmission.\n");
  if (status == -1) Say(con, "Liaison avec la calculatrice perdue (cable debranche?).\n");
  if (status == 1) Say(con, "Transmission interrompue.\n");
  if (taken.refused > 0) {
    Say(con, "%d fichier(s) non recu(s).\n", taken.refused);
    status = Worst(status, 1);
  }
  if (events.Kept() == 0) {
    Say(con, "Aucun fichier enregistre.\n");
    return Worst(status, 1);
  }
  Say(con, "%d fichier(s) enregistre(s) dans %s\n", events.Kept(), events.Paths().c_str());
  return status;
}

int Info(Console& con, int port, const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("liaison info");
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  DeviceInfo info;
  Step step = link.Info(&info);
  if (step != Step::Done) {
    Say(con, "Informations : %s\n", StepWords(link, step).c_str());
    return Finish(con, link, StatusOfStep(step));
  }
  std::string model = ModelOf(info.hardwareId);
  Say(con, "Calculatrice : %s (%s)\n", model.empty() ? "modele inconnu" : model.c_str(),
      Shown(info.hardwareId).c_str());
  Say(con, "Systeme : %s", info.osVersion.empty() ? "?" : Shown(info.osVersion).c_str());
  // The documentation calls the size hexadecimal; the calculators' own values
  // only make sense in decimal: read so, shown raw beside it.
  if (!info.osSizeKiB.empty())
    Say(con, " (%s Kio ; brut %s)", Kib(info.osSizeKiB).c_str(), Shown(info.osSizeKiB).c_str());
  Say(con, "\n");
  if (!info.bootVersion.empty())
    Say(con, "Code de demarrage : %s\n", Shown(info.bootVersion).c_str());
  Say(con, "Identifiant de produit : %s\n", Shown(info.productId).c_str());
  Say(con, "Utilisateur : %s\n", info.userName.empty() ? "(aucun)" : Shown(info.userName).c_str());
  Say(con, "Memoire flash : %s Kio ; memoire vive : %s Kio\n", Kib(info.flashKiB).c_str(),
      Kib(info.ramKiB).c_str());
  Say(con, "Protocole : %s\n", Shown(info.protocol).c_str());
  return Finish(con, link, 0);
}

int Liste(Console& con, int port, const std::vector<std::string>& args) {
  bool main = true, storage = true;
  if (args.size() > 1) return Usage("liaison liste [--memoire | --stockage]");
  if (args.size() == 1) {
    if (args[0] != "--memoire" && args[0] != "--stockage")
      return Usage("liaison liste [--memoire | --stockage]");
    main = args[0] == "--memoire";
    storage = !main;
  }
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  if (main) {
    std::vector<Announced> files, free;
    Step step = MainList(link, &files);
    Say(con, "Memoire principale :\n");
    for (const Announced& f : files)
      Say(con, "  %-16s %-8s %-10s %s\n", Shown(f.fields.d[2]).c_str(),
          Shown(f.fields.d[1]).c_str(), KindWords(f.fields.type).c_str(),
          Octets(f.fields.size).c_str());
    if (step == Step::Done && files.empty()) Say(con, "  (vide)\n");
    if (step == Step::Done) step = link.Request(kRequestMainFree, Fields(), &free);
    if (step == Step::Done && !free.empty())
      Say(con, "  Libre : %s\n", Octets(free[0].fields.size).c_str());
    if (step != Step::Done) Say(con, "  %s\n", StepWords(link, step).c_str());
    status = Worst(status, StatusOfStep(step));
  }
  if (storage && status != -1) {
    std::vector<Announced> files, free;
    Fields device = StorageFields("", "");
    Step step = link.Request(kRequestStorageList, device, &files);
    Say(con, "Stockage (fls0) :\n");
    for (const Announced& f : files) {
      if (f.fields.d[1].empty())
        Say(con, "  %s/\n", f.fields.d[0].empty() ? "(sans nom)" : Shown(f.fields.d[0]).c_str());
      else
        Say(con, "  %-24s %s\n",
            Shown(f.fields.d[0].empty() ? f.fields.d[1] : f.fields.d[0] + "/" + f.fields.d[1])
                .c_str(),
            Octets(f.fields.size).c_str());
    }
    if (step == Step::Done && files.empty()) Say(con, "  (vide)\n");
    if (step == Step::Done) step = link.Request(kRequestStorageFree, device, &free);
    if (step == Step::Done && !free.empty())
      Say(con, "  Libre : %s\n", Octets(free[0].fields.size).c_str());
    if (step == Step::Refused)
      Say(con, "  pas de memoire de stockage (%s)\n", StepWords(link, step).c_str());
    else if (step != Step::Done)
      Say(con, "  %s\n", StepWords(link, step).c_str());
    status = Worst(status, StatusOfStep(step));
  }
  return Finish(con, link, status);
}

namespace {

// --vitesse N and --stockage, the folder or the names: what the commands
// that fetch and delete share.
struct Wanted {
  bool storage = false;
  unsigned long speed = 115200;
  std::vector<std::string> words;
};

bool ReadWanted(const std::vector<std::string>& args, bool speed, Wanted* wanted) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--stockage") {
      wanted->storage = true;
    } else if (speed && args[i] == "--vitesse") {
      if (!SpeedAfter(args, &i, &wanted->speed)) return false;
    } else if (args[i].compare(0, 2, "--") == 0) {
      return false;
    } else {
      wanted->words.push_back(args[i]);
    }
  }
  return true;
}

// A speed that cannot be had is said; the link goes on at 9600 bit/s.
bool Speed(Console& con, SevenLink& link, unsigned long speed) {
  if (speed == 9600) return true;
  Step step = link.SetSpeed(speed);
  if (step == Step::Done) return true;
  Say(con, "Vitesse de %lu bit/s : %s ; la suite a 9600 bit/s.\n", speed,
      StepWords(link, step).c_str());
  return step != Step::LineLost;
}

// Each storage file of the list, fetched and written into `folder`.
// The file the calculator sent is the one asked for: its folder and name.
bool IsAsked(const Announced& got, int code, const std::string& dir, const std::string& name,
             std::string* why) {
  if (got.code == code && got.fields.d[0] == dir && got.fields.d[1] == name) return true;
  std::string sent =
      got.fields.d[0].empty() ? got.fields.d[1] : got.fields.d[0] + "/" + got.fields.d[1];
  *why = "la calculatrice envoie " + Shown(sent) + " a la place : pas enregistre";
  return false;
}

// Each storage file of the list, fetched and written into `folder`; with
// `folders`, a file of a calculator's folder into a folder of that name.
int FetchStorage(Console& con, SevenLink& link, const std::vector<std::string>& names,
                 const std::string& folder, bool folders = false) {
  int status = 0;
  std::map<std::string, std::string> made;  // a calculator's folder: the PC's
  for (const std::string& wanted : names) {
    std::string dir, name, path, error;
    SplitStorageName(wanted, &dir, &name);
    std::vector<Announced> got;
    Step step = link.Request(kRequestStorage, StorageFields(dir, name), &got);
    if (step == Step::Done && got.empty()) step = Step::Refused;
    if (step != Step::Done) {
      Say(con, "  %s : %s\n", Shown(wanted).c_str(),
          step == Step::Refused ? "pas sur la calculatrice" : StepWords(link, step).c_str());
      status = Worst(status, StatusOfStep(step));
      if (step == Step::LineLost) return -1;
      if (step == Step::Stopped) return status;
      continue;
    }
    if (!IsAsked(got[0], kStorageFile, dir, name, &error)) {
      Say(con, "  %s : %s\n", Shown(wanted).c_str(), error.c_str());
      status = Worst(status, 1);
      continue;
    }
    std::string into = folder;
    if (folders && !dir.empty()) {
      std::string& mine = made[dir];
      if (mine.empty() && !CreateNewFolder(folder, SafeStem(dir), &mine, &error)) {
        Say(con, "  %s : pas enregistre : %s\n", Shown(wanted).c_str(), error.c_str());
        status = Worst(status, 1);
        continue;
      }
      into = mine;
    }
    if (WriteNewFile(into, NamesLike(name), got[0].content, &path, &error)) {
      Say(con, "  %s (%s) : %s\n", Shown(wanted).c_str(), Octets(got[0].content.size()).c_str(),
          path.c_str());
    } else {
      Say(con, "  %s : pas enregistre : %s\n", Shown(wanted).c_str(), error.c_str());
      status = Worst(status, 1);
    }
  }
  return status;
}

}  // namespace

int Recuperer(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage = "liaison recuperer [--stockage] [--vitesse N] NOM...";
  Wanted wanted;
  if (!ReadWanted(args, true, &wanted) || wanted.words.empty()) return Usage(usage);
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  if (!Speed(con, link, wanted.speed)) return Finish(con, link, -1);
  if (wanted.storage) return Finish(con, link, FetchStorage(con, link, wanted.words, "."));
  std::vector<Announced> list;
  Step step = MainList(link, &list);
  if (step != Step::Done) {
    Say(con, "Liste de la memoire principale : %s\n", StepWords(link, step).c_str());
    return Finish(con, link, StatusOfStep(step));
  }
  for (const std::string& name : wanted.words) {
    const Announced* known = Named(list, name);
    std::vector<Announced> got;
    step = known ? link.Request(
                       kRequestMain,
                       MainFields(known->fields.d[0], name, known->fields.d[2], known->fields.type),
                       &got)
                 : Step::Refused;
    if (step == Step::Done && got.empty()) step = Step::Refused;
    if (step != Step::Done) {
      Say(con, "  %s : %s\n", Shown(name).c_str(),
          !known ? "pas sur la calculatrice" : StepWords(link, step).c_str());
      status = Worst(status, StatusOfStep(step));
      if (step == Step::LineLost) return Finish(con, link, -1);
      if (step == Step::Stopped) break;
      continue;
    }
    std::string path, error, stem = SafeStem(name);
    // Its directory field in an answer is not settled: the name is checked.
    if (!IsAsked(got[0], kMainFile, got[0].fields.d[0], name, &error)) {
      Say(con, "  %s : %s\n", Shown(name).c_str(), error.c_str());
      status = Worst(status, 1);
      continue;
    }
    MainFile file = FileOf(got[0]);
    if (WriteNewFile(".", Numbered(stem.empty() ? "_" : stem, "g1m"), WriteG1m({file}), &path,
                     &error)) {
      Say(con, "  %s : %s\n", Shown(DescribeFile(file)).c_str(), path.c_str());
    } else {
      Say(con, "  %s : pas enregistre : %s\n", Shown(name).c_str(), error.c_str());
      status = Worst(status, 1);
    }
  }
  return Finish(con, link, status);
}

int Sauvegarder(Console& con, int port, const std::vector<std::string>& args) {
  const char* usage = "liaison sauvegarder [DOSSIER] [--stockage] [--vitesse N]";
  Wanted wanted;
  if (!ReadWanted(args, true, &wanted) || wanted.words.size() > 1) return Usage(usage);
  std::string folder = wanted.words.empty() ? "." : wanted.words[0];
  if (!IsFolder(folder)) return 2;
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  if (!Speed(con, link, wanted.speed)) return Finish(con, link, -1);
  std::vector<Announced> got;
  Step step = link.Request(kRequestAllMain, Fields(), &got);
  std::vector<MainFile> files;
  for (const Announced& a : got)
    if (a.code == kMainFile) files.push_back(FileOf(a));
  std::string stem = DateStem(std::time(nullptr)), path, error;
  if (step != Step::Done) {
    Say(con, "Memoire principale : %s ; rien n'est enregistre.\n", StepWords(link, step).c_str());
    return Finish(con, link, StatusOfStep(step));
  }
  // An archive counts its files on 16 bits: more go into the next ones.
  for (size_t from = 0; from < files.size() || from == 0; from += kArchiveFiles) {
    size_t count = std::min(kArchiveFiles, files.size() - from);
    std::vector<MainFile> part(files.begin() + static_cast<long>(from),
                               files.begin() + static_cast<long>(from + count));
    if (!WriteNewFile(folder, Numbered(stem, "g1m"), WriteG1m(part), &path, &error)) {
      Say(con, "Memoire principale : pas enregistree : %s\n", error.c_str());
      status = 1;
      break;
    }
    Say(con, "Memoire principale : %d fichier(s) dans %s%s\n", static_cast<int>(count),
        path.c_str(), files.size() > kArchiveFiles ? " (65535 au plus par archive)" : "");
  }
  if (!wanted.storage) return Finish(con, link, status);
  std::vector<Announced> list;
  step = link.Request(kRequestStorageList, StorageFields("", ""), &list);
  if (step != Step::Done) {
    Say(con, "Stockage : %s\n", StepWords(link, step).c_str());
    return Finish(con, link, Worst(status, StatusOfStep(step)));
  }
  std::string inside;
  if (!CreateNewFolder(folder, stem, &inside, &error)) {
    Say(con, "Stockage : %s\n", error.c_str());
    return Finish(con, link, 1);
  }
  std::vector<std::string> names;
  for (const Announced& a : list)
    if (!a.fields.d[1].empty())
      names.push_back(a.fields.d[0].empty() ? a.fields.d[1] : a.fields.d[0] + "/" + a.fields.d[1]);
  Say(con, "Stockage : %d fichier(s) dans %s\n", static_cast<int>(names.size()), inside.c_str());
  status = Worst(status, FetchStorage(con, link, names, inside, true));
  if (StopAsked()) RemoveEmptyFolders(inside);  // what was not fetched leaves no trace
  return Finish(con, link, status);
}

int Supprimer(Console& con, int port, const std::vector<std::string>& args) {
  Wanted wanted;
  if (!ReadWanted(args, false, &wanted) || wanted.words.empty())
    return Usage("liaison supprimer [--stockage] NOM...");
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  std::vector<Announced> list;
  if (!wanted.storage) {
    Step step = MainList(link, &list);
    if (step != Step::Done) {
      Say(con, "Liste de la memoire principale : %s\n", StepWords(link, step).c_str());
      return Finish(con, link, StatusOfStep(step));
    }
  }
  for (const std::string& name : wanted.words) {
    const Announced* known = wanted.storage ? nullptr : Named(list, name);
    Step step = Step::Refused;
    if (wanted.storage) {
      std::string dir, file;
      SplitStorageName(name, &dir, &file);
      step = link.Simple(kDeleteStorage, StorageFields(dir, file));
    } else if (known) {
      step = link.Simple(kDeleteMain, MainFields(known->fields.d[0], name, known->fields.d[2],
                                                 known->fields.type, known->fields.size));
    }
    Say(con, "  %s : %s\n", Shown(name).c_str(),
        step == Step::Done                        ? "supprime"
        : !wanted.storage && !known               ? "pas sur la calculatrice"
        : step == Step::Refused && wanted.storage ? "pas supprime (absent ?)"
                                                  : StepWords(link, step).c_str());
    status = Worst(status, StatusOfStep(step));
    if (step == Step::LineLost || step == Step::Stopped) break;
  }
  return Finish(con, link, status);
}

int Optimiser(Console& con, int port, const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("liaison optimiser");
  SevenConsole events(con);
  SevenLink link(events);
  int status = 0;
  if (!OpenSeven(con, port, link, &status)) return status;
  Say(con, "Optimisation du stockage (fls0)...\n");
  Step step = link.Simple(kOptimize, StorageFields("", ""));
  Say(con, "%s\n", step == Step::Done ? "Stockage optimise." : StepWords(link, step).c_str());
  return Finish(con, link, StatusOfStep(step));
}
