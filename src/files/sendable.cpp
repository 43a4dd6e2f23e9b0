#include "files/sendable.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "files/archive.h"
#include "files/catalogue.h"
#include "files/g1m.h"
#include "link/link.h"
#include "text/program_file.h"

namespace {

// Each program of a main-memory archive, turned into the Graph 35/65's
// table; every file that cannot go is said, and then none goes.
bool LoadMainMemory(const std::string& path, const std::string& bytes, std::vector<Item>* items,
                    std::vector<std::string>* notes, std::string* error) {
  G1mRead read;
  if (!ReadG1m(bytes, &read, error)) {
    *error = path + " : " + *error;
    return false;
  }
  for (const std::string& warning : read.warnings) notes->push_back(path + " : " + warning);
  std::string refused;
  for (const MainFile& file : read.files) {
    Item item;
    std::string why;
    if (ItemOfProgram(file, &item, notes, &why))
      items->push_back(item);
    else
      refused += (refused.empty() ? "" : "\n") + path + " : " + why;
  }
  *error = refused;
  return refused.empty();
}

}  // namespace

bool HasEnding(const std::string& path, const std::string& ending) {
  if (path.size() < ending.size()) return false;
  for (size_t i = 0; i < ending.size(); ++i) {
    char c = path[path.size() - ending.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != ending[i]) return false;
  }
  return true;
}

bool IsMainMemoryArchive(const std::string& path) {
  return HasEnding(path, ".g1m") || HasEnding(path, ".g1r") || IsColourArchive(path);
}

bool IsColourArchive(const std::string& path) {
  return HasEnding(path, ".g3m") || HasEnding(path, ".g3r");
}

std::string ProgramNameOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.substr(0, NAME_LENGTH);
}

bool LoadSendable(const std::string& path, const std::string& name, std::vector<Item>* items,
                  std::vector<std::string>* notes, std::string* error) {
  // Archives and catalogues are read byte for byte: no line end of theirs is
  // the PC's.
  bool archived = HasEnding(path, ".cas"), catalogue = HasEnding(path, ".cat");
  bool mainMemory = IsMainMemoryArchive(path);
  std::string bytes;
  if (!(archived || catalogue || mainMemory ? ReadTextFile : ReadProgramFile)(path, &bytes, error))
    return false;
  if (mainMemory) return LoadMainMemory(path, bytes, items, notes, error);
  if (catalogue) {
    CatalogueRead read;
    if (!ReadCatalogue(bytes, &read, error)) {
      *error = path + ", " + *error;
      return false;
    }
    for (const std::string& other : read.passedOver)
      notes->push_back(path + " : " + other + " n'est pas un programme : laisse de cote");
    for (const std::string& warning : read.warnings) notes->push_back(path + ", " + warning);
    items->insert(items->end(), read.programs.begin(), read.programs.end());
    return true;
  }
  if (archived) {
    std::vector<Item> archive;
    if (!ReadArchive(Bytes(bytes.begin(), bytes.end()), &archive, error)) {
      *error = path + " : archive .cas illisible, " + *error;
      return false;
    }
    for (size_t i = 0; i < archive.size(); ++i)
      if (KindOf(archive[i].header) == Kind::Program && ItemName(archive[i].header).empty()) {
        *error = path + " : programme " + std::to_string(i + 1) + " de l'archive : nom vide";
        return false;
      }
    items->insert(items->end(), archive.begin(), archive.end());
    return true;
  }
  if (bytes.empty() || static_cast<unsigned char>(bytes[0]) != BLOCK_START) {
    *error = path +
             " : ni une archive .cas, ni un catalogue .cat, ni un programme (un fichier de "
             "programme commence par l'octet 3A, comme ceux du menu 1 et de liaison-texte ecrire)";
    return false;
  }
  std::string program = name.empty() ? ProgramNameOf(path) : name;
  if (program.empty() || program.size() > NAME_LENGTH) {
    *error = path + " : nom de programme \"" + program +
             "\" impossible (1 a 8 caracteres ; --nom NOM le donne)";
    return false;
  }
  items->push_back(ProgramItem(program, Bytes(bytes.begin() + 1, bytes.end())));
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

// The visible entries of a folder, sorted; false when it cannot be read.
bool Entries(const std::string& folder, std::vector<std::string>* names) {
  DIR* d = opendir(folder.c_str());
  if (!d) return false;
  while (dirent* e = readdir(d))
    if (e->d_name[0] != '.') names->push_back(e->d_name);
  closedir(d);
  std::sort(names->begin(), names->end());
  return true;
}

}  // namespace

bool StorageTree(const std::string& root, std::vector<StorageEntry>* entries, std::string* error) {
  std::vector<std::string> top;
  if (!Entries(root, &top)) {
    *error = root + " : dossier illisible";
    return false;
  }
  for (const std::string& name : top) {
    std::string path = root + "/" + name;
    if (!IsDirectory(path)) {
      entries->push_back({"", path});
      continue;
    }
    std::vector<std::string> inside;
    if (!Entries(path, &inside)) {
      *error = path + " : dossier illisible";
      return false;
    }
    for (const std::string& file : inside) {
      if (IsDirectory(path + "/" + file)) {
        *error = path + "/" + file +
                 " : un dossier dans un dossier (le stockage de la calculatrice n'en a qu'un "
                 "niveau)";
        return false;
      }
      entries->push_back({name, path + "/" + file});
    }
  }
  return true;
}
