// CASIOLINK archives (.cas): the items of a transmission as they crossed the
// line, header and parts one after the other, without the control bytes.
#pragma once

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "link/item.h"

// Cuts an archive into its items, each by the rule its header gives. False,
// with where and why, for bytes that are no sound archive. An end header in
// it ends nothing: it is left out, as sending adds its own.
bool ReadArchive(const Bytes& bytes, std::vector<Item>* items, std::string* error);

// An archive that grows item by item, created in `folder` at the first item
// under a name never used there (STEM.cas, STEM-2.cas, ...; an empty STEM:
// the date and time the first item came). Each item goes
// in whole or not at all: a write that fails is taken back to the last whole
// item, and an archive that never held one is removed.
class ArchiveWriter {
 public:
  ArchiveWriter(std::string folder, std::string stem);
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;
  bool Append(const Item& item, std::string* error);
  const std::string& Path() const { return path_; }  // empty until created
  int Items() const { return items_; }

 private:
  bool Create(std::string* error);
  void TakeBack();  // to the end of the last whole item
  std::string folder_, stem_, path_;
  int fd_ = -1;
  long long length_ = 0;
  int items_ = 0;
};

// The n-th name to try for a new file (n = 1, 2, ...).
using NameFor = std::function<std::string(int n)>;
// STEM.EXT, then STEM-2.EXT, STEM-3.EXT...
NameFor Numbered(const std::string& stem, const std::string& ext);
// A calculator's file name as a new file's on the PC: its stem and
// extension kept, made safe (STEM.EXT, STEM-2.EXT...).
NameFor NamesLike(const std::string& name);
// Creates in `folder` the first name free (never replacing a file), for
// writing; -1 with why.
int CreateNewFile(const std::string& folder, const NameFor& names, std::string* path,
                  std::string* error);
// A whole new file of these bytes, under a name found as above: removed
// again when a write fails, and not cut short by a signal that ends the
// program while it is written.
bool WriteNewFile(const std::string& folder, const NameFor& names, const std::string& bytes,
                  std::string* path, std::string* error);
// A name from the calculator as a file's stem: no byte of it leaves the
// folder, drives the terminal, or hides the file.
std::string SafeStem(const std::string& name);

// A new folder in `folder`, under the first name free: STEM, STEM-2...
bool CreateNewFolder(const std::string& folder, const std::string& stem, std::string* path,
                     std::string* error);
// "AAAAMMJJ-HHMMSS", the local date and time.
std::string DateStem(std::time_t when);
// Removes `folder` and the folders in it, those that are empty.
void RemoveEmptyFolders(const std::string& folder);
// Whether a new file can be made in `folder` (one is, then removed); why not.
bool FolderTakesFiles(const std::string& folder, std::string* error);
// "0 octet", "1 octet", "2 octets": French keeps the singular up to 1.
std::string Octets(unsigned long long count);
// `folder` joined with `name`.
std::string InFolder(const std::string& folder, const std::string& name);
