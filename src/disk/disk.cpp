#include "disk/disk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string Trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Two names of one folder ("/media/x/" and "/media/x", or through a link).
bool SameFolder(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
#ifdef _WIN32
  auto plain = [](std::string path) {  // "e:\\" and "E:" name one volume
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    for (char& c : path)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return path;
  };
  return plain(a) == plain(b);
#else
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

// mountinfo writes a space, a tab, a line feed and a backslash of a path as
// \040, \011, \012, \134.
std::string Unescaped(const std::string& field) {
  std::string path;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        path += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    path += field[i];
  }
  return path;
}

// The folder of the drive a block device belongs to: its own (a disk with no
// partition, as calculators have) or its parent's (a partition).
std::string DriveFolder(const std::string& sysRoot, const std::string& block) {
  std::string own = sysRoot + "/block/" + block;
  if (IsFolder(own + "/device")) return own;
  // A partition "sdb1" sits in its disk's folder: "sdb/sdb1".
  for (size_t n = block.size(); n > 0; --n) {
    std::string disk = sysRoot + "/block/" + block.substr(0, n);
    if (IsFolder(disk + "/" + block) && IsFolder(disk + "/device")) return disk;
  }
  return "";
}

}  // namespace

std::string DiskModel(const std::string& scsiModel) {
  std::string model = Trimmed(scsiModel);
  if (model == "ColorGraph") return "Graph 90+E / fx-CG";
  if (model == "Calculator") return "Graph 35+E II";
  return "";
}

std::vector<CalculatorDisk> MountedCasioDisks(const std::string& mountinfo,
                                              const std::string& sysRoot) {
  std::vector<CalculatorDisk> found;
  std::istringstream lines(mountinfo);
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional...] - type source options
    std::istringstream fields(line);
    std::string id, parent, numbers, root, mountPoint, field;
    if (!(fields >> id >> parent >> numbers >> root >> mountPoint)) continue;
    while (fields >> field && field != "-") {
    }
    std::string type, source;
    if (field != "-" || !(fields >> type >> source)) continue;
    if (source.compare(0, 5, "/dev/") != 0) continue;
    std::string drive = DriveFolder(sysRoot, source.substr(source.rfind('/') + 1));
    if (drive.empty() || Trimmed(FileText(drive + "/device/vendor")) != "CASIO") continue;
    CalculatorDisk disk;
    disk.mountPoint = Unescaped(mountPoint);
    disk.device = source;
    disk.model = DiskModel(FileText(drive + "/device/model"));
    found.push_back(disk);
  }
  return found;
}

bool NamedDisk(const std::string& folder, CalculatorDisk* disk, std::string* error) {
  if (!IsFolder(folder)) {
    *error = "LIAISON_DISQUE=" + folder + " : pas un dossier";
    return false;
  }
  *disk = CalculatorDisk();
  for (const CalculatorDisk& found : CalculatorDisks())
    if (!found.mountPoint.empty() && SameFolder(found.mountPoint, folder)) *disk = found;
  disk->mountPoint = folder;
  DiskSpace(folder, &disk->size, &disk->free);
  return true;
}

namespace {

constexpr int kDeepest = 16;
constexpr size_t kMostEntries = 100000;

bool Passed(const std::string& name) {
  return name.empty() || name[0] == '.' || name == "System Volume Information";
}

bool Walk(const std::string& root, const std::string& inside, int depth,
          std::vector<DiskEntry>* entries, std::string* error) {
  std::string folder = inside.empty() ? root : root + "/" + inside;
  DIR* d = opendir(folder.c_str());
  if (!d) {
    *error = folder + " : dossier illisible";
    return false;
  }
  std::vector<std::string> names;
  while (dirent* e = readdir(d))
    if (!Passed(e->d_name)) names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (entries->size() >= kMostEntries) {
      *error = root + " : plus de 100000 fichiers, ce n'est pas le disque d'une calculatrice";
      return false;
    }
    DiskEntry entry;
    entry.path = inside.empty() ? name : inside + "/" + name;
    struct stat st {};
#ifdef _WIN32
    if (stat((root + "/" + entry.path).c_str(), &st) != 0) continue;
#else
    if (lstat((root + "/" + entry.path).c_str(), &st) != 0) continue;
#endif
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;  // links, devices
    entry.folder = S_ISDIR(st.st_mode);
    entry.size = entry.folder ? 0 : static_cast<unsigned long long>(st.st_size);
    entries->push_back(entry);
    if (!entry.folder) continue;
    if (depth + 1 >= kDeepest) {
      *error = root + "/" + entry.path + " : plus de 16 niveaux de dossiers";
      return false;
    }
    if (!Walk(root, entry.path, depth + 1, entries, error)) return false;
  }
  return true;
}

}  // namespace

bool DiskTree(const std::string& root, std::vector<DiskEntry>* entries, std::string* error) {
  entries->clear();
  return Walk(root, "", 0, entries, error);
}

namespace {

// The text at a descriptor's offset, up to its 0 byte, within the
// descriptor.
std::string DescriptorText(const std::string& d, size_t offsetAt) {
  if (d.size() < offsetAt + 4) return "";
  size_t offset = 0;
  for (int i = 3; i >= 0; --i) offset = offset << 8 | static_cast<unsigned char>(d[offsetAt + i]);
  if (offset == 0 || offset >= d.size()) return "";
  return d.substr(offset, d.find('\0', offset) - offset);
}

}  // namespace

bool IsCasioDescriptor(const std::string& descriptor, std::string* model) {
  // Version, Size, DeviceType, Modifier, Removable, Queueing, then the
  // offsets of the vendor (12) and the product (16).
  if (Trimmed(DescriptorText(descriptor, 12)) != "CASIO") return false;
  *model = DiskModel(DescriptorText(descriptor, 16));
  return true;
}

bool IsBusyVeto(int veto) {
  return veto >= 2 && veto <= 5;  // pending close, a program, a service, an open file
}

std::string EjectVetoWords(int veto, const std::string& name) {
  std::string words = IsBusyVeto(veto) ? "le disque est utilise" : "le systeme refuse l'ejection";
  if (veto == 12) words = "le systeme refuse l'ejection (droits insuffisants)";
  if (!name.empty()) words += " (" + name + ")";
  return words;
}
