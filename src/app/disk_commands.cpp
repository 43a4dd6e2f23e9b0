#include "app/disk_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/command_line.h"
#include "app/seven_commands.h"
#include "app/words.h"
#include "files/archive.h"
#include "files/g1m.h"
#include "files/sendable.h"
#include "text/program_file.h"

#ifdef _WIN32
#include <direct.h>
#define mkdir(path, mode) _mkdir(path)
#endif

namespace {

const char kMainFolder[] = "@MainMem";
const char kPrograms[] = "@MainMem/PROGRAM";
// A calculator's disk holds 16 MB at most: a larger file is not one of its.
constexpr unsigned long long kLargestFile = 64ull << 20;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string BaseName(const std::string& path) {
  return path.substr(path.find_last_of("/\\") + 1);
}

std::string StemOf(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool InMain(const std::string& path) {
  return path.compare(0, sizeof kMainFolder, std::string(kMainFolder) + "/") == 0;
}

// The disk is gone (the cable pulled, the disk unmounted under us).
bool Lost(const CalculatorDisk& disk) {
  return !IsDirectory(disk.mountPoint);
}

// A name from the command line as a path on the disk: it never leads out of
// it.
bool SafeDiskPath(const std::string& name) {
  if (name.empty() || name[0] == '/' || name.back() == '/' ||
      name.find_first_of("\\:") != std::string::npos)
    return false;
  std::istringstream parts(name);
  std::string part;
  while (std::getline(parts, part, '/'))
    if (part.empty() || part == "." || part == "..") return false;
  return true;
}

bool Tree(Console& con, const CalculatorDisk& disk, std::vector<DiskEntry>* tree) {
  std::string error;
  if (DiskTree(disk.mountPoint, tree, &error)) return true;
  Say(con, "Disque de la calculatrice : %s\n", Shown(error).c_str());
  return false;
}

// The files of @MainMem a name names: "JEU" (its stem, in any group),
// "JEU.g3m", "PROGRAM/JEU.g3m"; the case is not minded, as the disk's.
std::vector<DiskEntry> MainNamed(const std::vector<DiskEntry>& tree, const std::string& name) {
  std::vector<DiskEntry> found;
  std::string wanted = Lower(name);
  for (const DiskEntry& e : tree) {
    if (e.folder || !InMain(e.path)) continue;
    std::string inside = Lower(e.path.substr(sizeof kMainFolder));
    std::string base = BaseName(inside);
    if (inside == wanted || base == wanted || StemOf(base) == wanted) found.push_back(e);
  }
  return found;
}

bool ReadDiskFile(const CalculatorDisk& disk, const std::string& path, std::string* bytes,
                  std::string* error) {
  struct stat st {};
  std::string full = InFolder(disk.mountPoint, path);
  if (stat(full.c_str(), &st) == 0 && static_cast<unsigned long long>(st.st_size) > kLargestFile) {
    *error = "plus de 64 Mo : pas un fichier de calculatrice";
    return false;
  }
  return ReadTextFile(full, bytes, error);
}

// The folders of `path` made on the disk, one by one.
bool MakeFolders(const std::string& root, const std::string& path, std::string* error) {
  std::string folder = root;
  std::istringstream parts(path);
  std::string part;
  std::vector<std::string> all;
  while (std::getline(parts, part, '/')) all.push_back(part);
  for (size_t i = 0; i + 1 < all.size(); ++i) {
    folder += "/" + all[i];
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
      *error = "dossier " + folder + " : " + SystemError(errno);
      return false;
    }
    if (!IsDirectory(folder)) {
      *error = folder + " n'est pas un dossier";
      return false;
    }
  }
  return true;
}

// The end of a command that wrote on the disk: ejected, so that the
// calculator takes the files, unless --sans-ejecter.
int Eject(Console& con, const CalculatorDisk& disk, bool keepMounted, int status) {
  if (keepMounted) return status;
  std::string why;
  switch (EjectDisk(disk, &why)) {
    case Ejected::Done:
      Say(con, "Disque ejecte. Vous pouvez debrancher la calculatrice.\n");
      return status;
    case Ejected::NotADisk:
      return status;
    case Ejected::NoService:
      Say(con,
          "Ejectez le disque de la calculatrice (Ejecter, dans le gestionnaire de fichiers) "
          "avant de debrancher le cable : la calculatrice prend les fichiers a l'ejection.\n");
      return status;
    case Ejected::Busy:
      Say(con,
          "Le disque de la calculatrice est occupe (%s) : un gestionnaire de fichiers ou un "
          "terminal y est ouvert. Fermez-le, puis ejectez le disque avant de debrancher le "
          "cable. Les fichiers sont sur le disque.\n",
          Shown(why).c_str());
      return Worst(status, 1);
    case Ejected::Failed:
      break;
  }
  Say(con,
      "Le disque de la calculatrice n'est pas ejecte (%s). Ejectez-le avant de debrancher le "
      "cable. Les fichiers sont sur le disque.\n",
      Shown(why).c_str());
  return Worst(status, 1);
}

int Info(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  if (!args.empty()) return Usage("liaison info");
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  Say(con, "Calculatrice : %s, disque USB%s\n",
      disk.model.empty() ? "modele inconnu" : disk.model.c_str(),
      disk.device.empty() ? "" : (" (" + Shown(disk.device) + ")").c_str());
  Say(con, "Disque : %s\n", Shown(disk.mountPoint).c_str());
  if (disk.size > 0)
    Say(con, "Capacite : %s ; libre : %s (%s)\n", Megabytes(disk.size).c_str(),
        Megabytes(disk.free).c_str(), Octets(disk.free).c_str());
  int main = 0, storage = 0;
  for (const DiskEntry& e : tree)
    if (!e.folder) ++(InMain(e.path) ? main : storage);
  Say(con, "Fichiers : %d en memoire principale (%s), %d dans le stockage\n", main, kMainFolder,
      storage);
  return 0;
}

// The first bytes of a file: enough for a colour model's title.
std::string Head(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(0x60, '\0');
  in.read(&head[0], static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return head;
}

int Liste(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  const char* usage = "liaison liste [--memoire | --stockage]";
  if (args.size() > 1 || (args.size() == 1 && args[0] != "--memoire" && args[0] != "--stockage"))
    return Usage(usage);
  bool main = args.empty() || args[0] == "--memoire";
  bool storage = args.empty() || args[0] == "--stockage";
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  if (main) {
    Say(con, "Memoire principale (%s) :\n", kMainFolder);
    bool any = false, folder = false;
    for (const DiskEntry& e : tree) {
      folder = folder || e.path == kMainFolder;
      if (e.folder || !InMain(e.path)) continue;
      std::string inside = e.path.substr(sizeof kMainFolder);
      size_t slash = inside.find('/');
      std::string group = slash == std::string::npos ? "" : inside.substr(0, slash);
      Say(con, "  %-16s %-16s %s\n", Shown(group).c_str(), Shown(inside.substr(slash + 1)).c_str(),
          Octets(e.size).c_str());
      any = true;
    }
    if (!folder)
      Say(con, "  (pas de dossier %s : le disque est-il celui d'une calculatrice ?)\n",
          kMainFolder);
    else if (!any)
      Say(con, "  (vide)\n");
  }
  if (storage) {
    Say(con, "Stockage :\n");
    bool any = false;
    for (const DiskEntry& e : tree) {
      if (e.path == kMainFolder || InMain(e.path)) continue;
      any = true;
      if (e.folder) {
        Say(con, "  %s/\n", Shown(e.path).c_str());
        continue;
      }
      std::string title = ColourTitle(Head(InFolder(disk.mountPoint, e.path)));
      Say(con, "  %-28s %s%s\n", Shown(e.path).c_str(), Octets(e.size).c_str(),
          title.empty() ? "" : ("  \"" + title + "\"").c_str());
    }
    if (!any) Say(con, "  (vide)\n");
  }
  if (disk.size > 0)
    Say(con, "Libre : %s (%s)\n", Megabytes(disk.free).c_str(), Octets(disk.free).c_str());
  return 0;
}

// --stockage, --sans-ejecter and the names or the folder; the speed options
// of the cable mean nothing for a disk and are taken as such.
struct Wanted {
  bool storage = false, memory = false, keepMounted = false;
  OnExisting choice = OnExisting::Ask;
  std::string name;
  std::vector<std::string> words;
};

bool ReadWanted(const std::vector<std::string>& args, bool sending, Wanted* w) {
  for (size_t i = 0; i < args.size(); ++i) {
    unsigned long speed = 0;
    if (args[i] == "--stockage") {
      w->storage = true;
    } else if (args[i] == "--sans-ejecter") {
      w->keepMounted = true;
    } else if (args[i] == "--vitesse") {
      if (!SpeedAfter(args, &i, &speed)) return false;
    } else if (sending && args[i] == "--memoire") {
      w->memory = true;
    } else if (sending && args[i] == "--prudent") {
    } else if (sending && args[i] == "--nom") {
      if (!WordAfter(args, &i, &w->name)) return false;
    } else if (sending && (args[i] == "--remplacer" || args[i] == "--garder")) {
      OnExisting wanted = args[i] == "--remplacer" ? OnExisting::Replace : OnExisting::Keep;
      if (w->choice != OnExisting::Ask && w->choice != wanted) return false;
      w->choice = wanted;
    } else if (args[i].compare(0, 2, "--") == 0) {
      return false;
    } else {
      w->words.push_back(args[i]);
    }
  }
  return !(w->storage && w->memory);
}

bool FetchOne(Console& con, const CalculatorDisk& disk, const std::string& path,
              const std::string& shown) {
  std::string bytes, error, written;
  if (!ReadDiskFile(disk, path, &bytes, &error)) {
    Say(con, "  %s : illisible : %s\n", Shown(shown).c_str(), Shown(error).c_str());
    return false;
  }
  if (!WriteNewFile(".", NamesLike(BaseName(path)), bytes, &written, &error)) {
    Say(con, "  %s : pas enregistre : %s\n", Shown(shown).c_str(), error.c_str());
    return false;
  }
  Say(con, "  %s (%s) : %s\n", Shown(shown).c_str(), Octets(bytes.size()).c_str(), written.c_str());
  return true;
}

int Recuperer(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  Wanted w;
  if (!ReadWanted(args, false, &w) || w.words.empty() || w.keepMounted)
    return Usage("liaison recuperer [--stockage] NOM...");
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  int status = 0;
  for (const std::string& name : w.words) {
    if (StopAsked()) break;  // what was fetched is whole
    std::vector<std::string> paths;
    if (!w.storage) {
      for (const DiskEntry& e : MainNamed(tree, name)) paths.push_back(e.path);
    } else if (SafeDiskPath(name)) {
      for (const DiskEntry& e : tree)
        if (!e.folder && !InMain(e.path) && Lower(e.path) == Lower(name)) paths.push_back(e.path);
    }
    if (paths.empty()) {
      Say(con, "  %s : pas sur la calculatrice\n", Shown(name).c_str());
      status = Worst(status, 1);
    }
    for (const std::string& path : paths)
      if (!FetchOne(con, disk, path, path)) status = Worst(status, Lost(disk) ? -1 : 1);
    if (status == -1) break;
  }
  if (status == -1) Say(con, "Disque de la calculatrice perdu.\n");
  return status;
}

int Supprimer(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  Wanted w;
  if (!ReadWanted(args, false, &w) || w.words.empty())
    return Usage("liaison supprimer [--stockage] [--sans-ejecter] NOM...");
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  int status = 0, removed = 0;
  for (const std::string& name : w.words) {
    if (StopAsked()) break;
    std::vector<DiskEntry> named;
    if (!w.storage) {
      named = MainNamed(tree, name);
    } else if (SafeDiskPath(name)) {
      for (const DiskEntry& e : tree)
        if (!InMain(e.path) && Lower(e.path) == Lower(name)) named.push_back(e);
    }
    if (named.empty()) {
      Say(con, "  %s : pas sur la calculatrice\n", Shown(name).c_str());
      status = Worst(status, 1);
    }
    for (const DiskEntry& e : named) {
      if (e.folder) {
        Say(con, "  %s : un dossier, pas supprime\n", Shown(e.path).c_str());
        status = Worst(status, 1);
      } else if (std::remove(InFolder(disk.mountPoint, e.path).c_str()) == 0) {
        Say(con, "  %s : supprime\n", Shown(e.path).c_str());
        ++removed;
      } else {
        Say(con, "  %s : pas supprime : %s\n", Shown(e.path).c_str(), SystemError(errno).c_str());
        status = Worst(status, Lost(disk) ? -1 : 1);
      }
    }
    if (status == -1) break;
  }
  if (status == -1) {
    Say(con, "Disque de la calculatrice perdu.\n");
    return status;
  }
  return removed > 0 ? Eject(con, disk, w.keepMounted, status) : status;
}

int Sauvegarder(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  Wanted w;
  if (!ReadWanted(args, false, &w) || w.words.size() > 1 || w.keepMounted)
    return Usage("liaison sauvegarder [DOSSIER]");
  std::string folder = w.words.empty() ? "." : w.words[0];
  if (!IsFolder(folder)) return 2;
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  std::string inside, error;
  if (!CreateNewFolder(folder, DateStem(std::time(nullptr)), &inside, &error)) {
    Say(con, "Sauvegarde : %s\n", error.c_str());
    return 1;
  }
  std::map<std::string, std::string> made;  // a folder of the disk: the PC's
  int status = 0, files = 0;
  unsigned long long bytes = 0;
  for (const DiskEntry& e : tree) {
    if (StopAsked()) break;
    size_t slash = e.path.rfind('/');
    std::string parent = slash == std::string::npos ? inside : made[e.path.substr(0, slash)];
    std::string name = BaseName(e.path), path, content;
    if (parent.empty()) continue;  // its folder could not be made: said already
    if (e.folder) {
      if (CreateNewFolder(parent, SafeStem(name).empty() ? "_" : SafeStem(name), &path, &error)) {
        made[e.path] = path;
      } else {
        Say(con, "  %s/ : pas sauvegarde : %s\n", Shown(e.path).c_str(), error.c_str());
        status = 1;
      }
      continue;
    }
    if (!ReadDiskFile(disk, e.path, &content, &error)) {
      Say(con, "  %s : illisible : %s\n", Shown(e.path).c_str(), Shown(error).c_str());
      status = 1;
      if (Lost(disk)) {
        status = -1;
        break;
      }
      continue;
    }
    if (!WriteNewFile(parent, NamesLike(name), content, &path, &error)) {
      Say(con, "  %s : pas sauvegarde : %s\n", Shown(e.path).c_str(), error.c_str());
      status = 1;
      continue;
    }
    Say(con, "  %s (%s)\n", Shown(e.path).c_str(), Octets(content.size()).c_str());
    ++files;
    bytes += content.size();
  }
  if (StopAsked()) RemoveEmptyFolders(inside);  // folders no file reached leave no trace
  Say(con, "Sauvegarde : %d fichier(s), %s, dans %s\n", files, Octets(bytes).c_str(),
      inside.c_str());
  if (status == -1) Say(con, "Disque de la calculatrice perdu : la sauvegarde est incomplete.\n");
  return status;
}

// A file on its way to the disk: where, its bytes, and its words.
struct Put {
  std::string path;  // from the disk's root
  std::string bytes;
  std::string what;
};

// Files to storage as they are; a folder's files with their folders (a
// backup put back).
bool StorageFiles(const std::vector<std::string>& files, std::vector<Put>* puts,
                  std::string* error) {
  for (const std::string& file : files) {
    std::vector<DiskEntry> tree;
    if (IsDirectory(file)) {
      if (!DiskTree(file, &tree, error)) return false;
    } else {
      tree.push_back({BaseName(file), false, 0});
    }
    for (const DiskEntry& e : tree) {
      if (e.folder) continue;
      Put put;
      put.path = e.path;
      std::string from = IsDirectory(file) ? InFolder(file, e.path) : file;
      if (!ReadTextFile(from, &put.bytes, error)) return false;
      put.what = "fichier " + Shown(e.path) + " (" + Octets(put.bytes.size()) + ")";
      puts->push_back(put);
    }
  }
  return true;
}

// Whether the disk's main memory takes .g3m archives: the model says; a disk
// named by hand, the archives already in @MainMem.
bool TakesColour(const CalculatorDisk& disk, const std::vector<DiskEntry>& tree) {
  if (!disk.model.empty()) return disk.model.compare(0, 10, "Graph 90+E") == 0;
  for (const DiskEntry& e : tree)
    if (InMain(e.path) && HasEnding(e.path, ".g3m")) return true;
  return false;
}

// The programs of the files, each in an archive of its own in
// @MainMem/PROGRAM, in the disk's shape. What is no program is said and left
// out (`leftOut`); a program that cannot go stops everything.
bool ProgramFiles(const Wanted& w, bool colour, std::vector<Put>* puts, int* leftOut,
                  std::vector<std::string>* notes, std::string* error) {
  for (const std::string& path : w.words) {
    std::vector<MainFile> programs;
    if (IsMainMemoryArchive(path)) {
      std::string bytes;
      G1mRead read;
      if (!ReadTextFile(path, &bytes, error)) return false;
      if (!ReadG1m(bytes, &read, error)) {
        *error = path + " : " + *error;
        return false;
      }
      for (const std::string& warning : read.warnings) notes->push_back(path + " : " + warning);
      for (const MainFile& file : read.files) {
        std::string program, password;
        if (!ProgramOf(file, &program, &password)) {
          notes->push_back(path + " : " + Shown(DescribeFile(file)) +
                           " n'est pas un programme : laisse de cote");
          ++*leftOut;
          continue;
        }
        if (!colour && read.colour && !FitsFx9860(file, error)) {
          *error = path + " : " + *error;
          return false;
        }
        programs.push_back(file);
      }
    } else {
      std::vector<Item> items;
      if (!LoadSendable(path, w.name, &items, notes, error)) return false;
      for (const Item& item : items) {
        MainFile file;
        std::string why;
        if (!ProgramOfItem(item, &file, notes, &why)) {
          *error = path + " : " + why;
          return false;
        }
        programs.push_back(file);
      }
    }
    for (const MainFile& file : programs) {
      std::string stem = SafeStem(file.name);
      Put put;
      put.path =
          std::string(kPrograms) + "/" + (stem.empty() ? "_" : stem) + (colour ? ".g3m" : ".g1m");
      put.bytes = WriteG1m({file}, colour);
      put.what = Shown(DescribeFile(file));
      puts->push_back(put);
    }
  }
  return true;
}

int Envoyer(Console& con, const CalculatorDisk& disk, const std::vector<std::string>& args) {
  Wanted w;
  if (!ReadWanted(args, true, &w) || w.words.empty())
    return Usage(
        "liaison envoyer [--remplacer | --garder] [--memoire | --stockage] [--nom NOM] "
        "[--sans-ejecter] FICHIER...");
  bool named = w.name.empty() || (w.memory && w.words.size() == 1);
  if (!named) return Usage("liaison envoyer --memoire --nom NOM FICHIER");
  std::vector<DiskEntry> tree;
  if (!Tree(con, disk, &tree)) return Lost(disk) ? -1 : 1;
  // Everything is read and checked before anything is written.
  std::vector<Put> puts;
  std::vector<std::string> notes;
  std::string error;
  int leftOut = 0;
  bool colour = TakesColour(disk, tree);
  bool loaded = w.memory ? ProgramFiles(w, colour, &puts, &leftOut, &notes, &error)
                         : StorageFiles(w.words, &puts, &error);
  for (const std::string& note : notes) Say(con, "%s\n", note.c_str());
  std::set<std::string> seen;
  for (const Put& put : puts)
    if (loaded && !seen.insert(Lower(put.path)).second) {
      error = Shown(put.path) + " est deux fois dans l'envoi : le disque n'en garderait qu'un";
      loaded = false;
    }
  if (!loaded) {
    Say(con, "%s\nRien n'a ete envoye.\n", error.c_str());
    return 1;
  }
  if (w.memory)
    Say(con, "Programmes en %s, une archive %s chacun.\n", kPrograms, colour ? ".g3m" : ".g1m");
  int status = leftOut > 0 ? 1 : 0, sent = 0;
  for (const Put& put : puts) {
    if (StopAsked()) break;  // the files sent are whole; the disk is still ejected
    std::string target = InFolder(disk.mountPoint, put.path);
    struct stat st {};
    if (stat(target.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode) || !AskReplace(con, w.choice, put.path)) {
        Say(con, "  %s : deja sur la calculatrice, garde\n", put.what.c_str());
        status = Worst(status, 1);
        continue;
      }
    }
    Written written = Written::NotCreated;
    if (MakeFolders(disk.mountPoint, put.path, &error))
      written = WriteFileWhole(target, put.bytes, &error, false, true);
    int code = errno;
    if (written == Written::Whole) {
      Say(con, "  %s : envoye\n", put.what.c_str());
      ++sent;
      continue;
    }
    Say(con, "  %s : pas envoye : %s\n", put.what.c_str(), error.c_str());
    status = Worst(status, Lost(disk) ? -1 : 1);
    if (status == -1 || code == ENOSPC || code == EROFS) break;  // the next ones would fail too
  }
  Say(con, "%d fichier(s) envoye(s) sur %d.\n", sent, static_cast<int>(puts.size()));
  if (status == -1) {
    Say(con, "Disque de la calculatrice perdu : les fichiers dits envoyes sont entiers.\n");
    return status;
  }
  return sent > 0 ? Eject(con, disk, w.keepMounted, status) : status;
}

}  // namespace

std::string Megabytes(unsigned long long bytes) {
  return std::to_string((bytes + 512 * 1024) / (1024 * 1024)) + " Mo";
}

bool IsDiskCommand(const std::string& command) {
  for (const char* name : {"info", "liste", "envoyer", "recuperer", "supprimer", "sauvegarder"})
    if (command == name) return true;
  return false;
}

bool ChooseDisk(bool portNamed, bool usbCalculator, bool* use, CalculatorDisk* disk,
                std::string* error) {
  *use = false;
  const char* named = std::getenv("LIAISON_DISQUE");
  if (named && *named) {
    *use = true;
    return NamedDisk(named, disk, error);
  }
  if (portNamed || usbCalculator) return true;
  std::vector<CalculatorDisk> disks = CalculatorDisks();
  if (disks.size() > 1) {
    *error =
        "plusieurs disques de calculatrice : LIAISON_DISQUE=DOSSIER nomme le bon (liaison "
        "--ports les montre)";
    return false;
  }
  if (disks.size() == 1) {
    *use = true;
    *disk = disks[0];
  }
  return true;
}

int DiskCommand(Console& con, const std::string& command, CalculatorDisk& disk,
                const std::vector<std::string>& args) {
  std::string error;
  if (!MountDisk(&disk, &error)) {
    Say(con, "Le disque de la calculatrice ne se monte pas : %s\n", Shown(error).c_str());
    return -1;
  }
  StopOnSignals(true);  // a Ctrl-C ends between two files
  using Command = int (*)(Console&, const CalculatorDisk&, const std::vector<std::string>&);
  static const std::map<std::string, Command> commands = {
      {"info", Info},           {"liste", Liste},         {"envoyer", Envoyer},
      {"recuperer", Recuperer}, {"supprimer", Supprimer}, {"sauvegarder", Sauvegarder}};
  return commands.at(command)(con, disk, args);
}
