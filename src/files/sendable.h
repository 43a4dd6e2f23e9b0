// The files that can be sent to the calculator, as the items they hold.
#pragma once

#include <string>
#include <vector>

#include "link/item.h"

// A .cas archive: all its items. A .cat catalogue: its programs, with their
// names and passwords (records of other kinds are passed over, and said in
// `notes`). Any other file is a program as menu 1 stores it and liaison-texte
// ecrire writes it: 0x3A, then the program's bytes, sent under `name`, or
// else under the file's name (without folder, extension and menu 1's
// trailing "_", at most 8 characters). A .g1m (or .g1r) main-memory
// archive: its programs, turned into the Graph 35/65's table. False, with
// why, for a file that is none of them, or a .g1m holding anything that
// cannot go to a Graph 35/65 (each said, by line and column).
bool LoadSendable(const std::string& path, const std::string& name, std::vector<Item>* items,
                  std::vector<std::string>* notes, std::string* error);

// Whether `path` ends with `ending` (lower case), whatever the case of its
// letters: ".cas" for NOTES.CAS too.
bool HasEnding(const std::string& path, const std::string& ending);
// Whether the file is a main-memory archive (.g1m, .g1r; the colour models'
// .g3m, .g3r), by its name.
bool IsMainMemoryArchive(const std::string& path);
// Whether it is a colour model's (.g3m, .g3r).
bool IsColourArchive(const std::string& path);
// The program name a file's name gives.
std::string ProgramNameOf(const std::string& path);

// A folder to put back into a calculator's storage memory (as sauvegarder
// --stockage keeps it): its files go to the root, the files of each of its
// folders into the calculator's folder of that name. Hidden entries are
// passed over. False, with why, for a deeper folder (storage folders have
// one level) or one that cannot be read.
struct StorageEntry {
  std::string folder;  // the calculator's: "" for the root
  std::string path;    // the PC's file
};
bool StorageTree(const std::string& root, std::vector<StorageEntry>* entries, std::string* error);
// Whether `path` names a folder.
bool IsDirectory(const std::string& path);
