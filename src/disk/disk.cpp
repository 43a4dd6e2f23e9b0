#include "disk/disk.h"

#include <sys/stat.h>

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
  disk->mountPoint = folder;
  return true;
}
