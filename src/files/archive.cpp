#include "files/archive.h"

#include <dirent.h>

#include "link/link.h"
#include "text/program_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#define ftruncate _chsize_s
#else
#include <unistd.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0
#endif

bool ReadArchive(const Bytes& bytes, std::vector<Item>* items, std::string* error) {
  items->clear();
  size_t at = 0;
  auto fail = [&](size_t where, const std::string& why) {
    *error = "octet " + std::to_string(where) + " : " + why;
    return false;
  };
  while (at < bytes.size()) {
    if (bytes[at] != BLOCK_START) return fail(at, "un en-tete commence par 3A");
    if (bytes.size() - at < 5) return fail(at, "l'archive s'arrete dans un en-tete");
    Item item;
    size_t length = static_cast<size_t>(HeaderLength(bytes.data() + at));
    if (bytes.size() - at < length) return fail(at, "l'archive s'arrete dans un en-tete");
    item.header.assign(bytes.begin() + static_cast<long>(at),
                       bytes.begin() + static_cast<long>(at + length));
    if (!BlockIsSound(item.header)) return fail(at, "checksum de l'en-tete incorrect");
    PartRule rule;
    if (!PartsOf(item.header, &rule)) return fail(at, "en-tete d'un type inconnu");
    size_t headerAt = at;
    at += length;
    if (static_cast<long long>(bytes.size() - at) < PartBytes(rule))
      return fail(headerAt, "l'archive s'arrete dans les donnees de cet element");
    for (long long i = 0; i < rule.count; ++i) {
      size_t partLength = static_cast<size_t>(rule.length + 2);
      Bytes part(bytes.begin() + static_cast<long>(at),
                 bytes.begin() + static_cast<long>(at + partLength));
      if (!PartIsSound(part, rule)) return fail(at, "checksum d'une partie incorrect");
      item.parts.push_back(std::move(part));
      at += partLength;
    }
    if (KindOf(item.header) != Kind::End) items->push_back(std::move(item));
  }
  return true;
}

ArchiveWriter::ArchiveWriter(std::string folder, std::string stem)
    : folder_(std::move(folder)), stem_(std::move(stem)) {}

ArchiveWriter::~ArchiveWriter() {
  if (fd_ >= 0) close(fd_);
}

bool ArchiveWriter::Create(std::string* error) {
  // Named when the first item comes, not when the wait began.
  std::string stem = stem_.empty() ? DateStem(std::time(nullptr)) : stem_;
  fd_ = CreateNewFile(folder_, Numbered(stem, "cas"), &path_, error);
  return fd_ >= 0;
}

bool ArchiveWriter::Append(const Item& item, std::string* error) {
  if (fd_ < 0 && !Create(error)) return false;
  Bytes bytes = ItemBytes(item);
  if (!WriteAllTo(fd_, bytes.data(), bytes.size())) {
    *error = "erreur d'ecriture dans " + path_ + " : " + SystemError(errno);
    TakeBack();
    return false;
  }
  length_ += static_cast<long long>(bytes.size());
  ++items_;
  return true;
}

// O_EXCL: a file already there, even one made in the same second, is never
// written over.
NameFor Numbered(const std::string& stem, const std::string& ext) {
  return [stem, ext](int n) { return stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + ext; };
}

int CreateNewFile(const std::string& folder, const NameFor& names, std::string* path,
                  std::string* error) {
  for (int n = 1; n < 100000; ++n) {
    *path = InFolder(folder, names(n));
    int fd = open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0644);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  *error = "impossible de creer " + *path + " : " + SystemError(errno);
  path->clear();
  return -1;
}

bool WriteNewFile(const std::string& folder, const NameFor& names, const std::string& bytes,
                  std::string* path, std::string* error) {
  EndingSignalsHeld held;  // a Ctrl-C waits until the file is whole
  int fd = CreateNewFile(folder, names, path, error);
  bool written = fd >= 0;
  if (written) {
    written = WriteAllTo(fd, bytes.data(), bytes.size());
    written = close(fd) == 0 && written;
    if (!written) {
      *error = "erreur d'ecriture dans " + *path + " : " + SystemError(errno);
      std::remove(path->c_str());
    }
  }
  return written;
}

namespace {

// Windows opens a device for these names, whatever follows the first dot
// ("AUX.TXT.BAK" is AUX), and with spaces before it.
bool IsDeviceName(const std::string& stem) {
  std::string upper;
  for (char c : stem.substr(0, stem.find('.')))
    upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 &&
         (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

// A file moved to Windows later meets its rules too: none of : * ? " < > |,
// no device name, no final dot or space; bytes from 0x80 on are no
// character of the PC's.
std::string SafeStem(const std::string& name) {
  std::string stem;
  for (unsigned char c : name) {
    bool windows = std::strchr(":*?\"<>|", c) != nullptr && c != 0;
    stem += c >= 0x80 || windows ? '_' : SafeNameChar(c, stem.empty());
  }
  if (!stem.empty() && (stem.back() == '.' || stem.back() == ' ')) stem.back() = '_';
  if (IsDeviceName(stem)) stem.insert(0, "_");
  return stem;
}

void ArchiveWriter::TakeBack() {
  if (items_ > 0 && ftruncate(fd_, length_) == 0 && lseek(fd_, length_, SEEK_SET) == length_)
    return;
  close(fd_);
  fd_ = -1;
  if (items_ == 0) std::remove(path_.c_str());
}

NameFor NamesLike(const std::string& name) {
  size_t dot = name.rfind('.');
  std::string stem = SafeStem(dot == std::string::npos || dot == 0 ? name : name.substr(0, dot));
  std::string ext = dot == std::string::npos || dot == 0 ? "" : SafeStem(name.substr(dot + 1));
  if (stem.empty()) stem = "_";
  if (ext.empty()) return [stem](int n) { return n == 1 ? stem : stem + "-" + std::to_string(n); };
  return Numbered(stem, ext);
}

std::string DateStem(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  char stem[32];
  std::strftime(stem, sizeof stem, "%Y%m%d-%H%M%S", &local);
  return stem;
}

namespace {

void RemoveFolder(const std::string& path) {
#ifdef _WIN32
  _rmdir(path.c_str());
#else
  rmdir(path.c_str());
#endif
}

}  // namespace

void RemoveEmptyFolders(const std::string& folder) {
  if (DIR* d = opendir(folder.c_str())) {
    std::vector<std::string> inside;
    while (dirent* e = readdir(d))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        inside.push_back(folder + "/" + e->d_name);
    closedir(d);
    for (const std::string& path : inside) {
      struct stat st {};
      if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RemoveFolder(path);
    }
  }
  RemoveFolder(folder);  // refused while it holds anything
}

bool FolderTakesFiles(const std::string& folder, std::string* error) {
  std::string path;
  int fd = CreateNewFile(
      folder, [](int n) { return ".liaison-essai-" + std::to_string(n); }, &path, error);
  if (fd < 0) return false;
  close(fd);
  std::remove(path.c_str());
  return true;
}

std::string Octets(unsigned long long count) {
  return std::to_string(count) + (count > 1 ? " octets" : " octet");
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == ".") return name;
  char last = folder.back();
#ifdef _WIN32
  bool separated = last == '/' || last == '\\';
#else
  bool separated = last == '/';  // a backslash is a character of a name here
#endif
  return separated ? folder + name : folder + "/" + name;
}

bool CreateNewFolder(const std::string& folder, const std::string& stem, std::string* path,
                     std::string* error) {
  for (int n = 1; n < 1000; ++n) {
    *path = InFolder(folder, n == 1 ? stem : stem + "-" + std::to_string(n));
#ifdef _WIN32
    int made = _mkdir(path->c_str());
#else
    int made = mkdir(path->c_str(), 0755);
#endif
    if (made == 0) return true;
    if (errno != EEXIST) break;
  }
  *error = "impossible de creer le dossier " + *path + " : " + SystemError(errno);
  return false;
}
