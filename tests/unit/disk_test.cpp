// Finding a calculator's disk without the desktop's disk service: the
// mounts of /proc/self/mountinfo and the drives' vendor and model in /sys,
// here small trees made by the test.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "disk/disk.h"
#include "support/session.h"

namespace {

void Drive(const TempDir& sys, const std::string& disk, const std::string& vendor,
           const std::string& model, const std::vector<std::string>& partitions = {}) {
  for (const std::string& folder :
       {std::string("/block"), "/block/" + disk, "/block/" + disk + "/device"})
    mkdir((sys.Path() + folder).c_str(), 0755);
  WriteAll(sys / ("block/" + disk + "/device/vendor"), vendor + "\n");
  WriteAll(sys / ("block/" + disk + "/device/model"), model + "\n");
  for (const std::string& p : partitions) mkdir((sys / ("block/" + disk + "/" + p)).c_str(), 0755);
}

TEST(Disk, MountedCasioDisksAreFound) {
  TempDir sys;
  Drive(sys, "sdb", "CASIO   ", "ColorGraph      ");            // a whole disk, as calculators have
  Drive(sys, "sdc", "CASIO   ", "Calculator      ", {"sdc1"});  // a partition of one
  Drive(sys, "sdd", "Kingston", "DataTraveler", {"sdd1"});
  const std::string mountinfo =
      "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
      "40 25 8:16 / /media/eleve/CASIO rw,nosuid shared:1 - vfat /dev/sdb rw\n"
      "41 25 8:33 / /media/eleve/MON\\040DISQUE rw - vfat /dev/sdc1 rw\n"
      "42 25 8:49 / /media/eleve/CLE rw - vfat /dev/sdd1 rw\n"
      "43 25 8:16 / /mnt/bizarre rw - vfat /dev/sdz rw\n"
      "not a line of mountinfo\n";
  std::vector<CalculatorDisk> disks = MountedCasioDisks(mountinfo, sys.Path());
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].mountPoint, "/media/eleve/CASIO");
  EXPECT_EQ(disks[0].device, "/dev/sdb");
  EXPECT_EQ(disks[0].model, "Graph 90+E / fx-CG");
  EXPECT_EQ(disks[1].mountPoint, "/media/eleve/MON DISQUE");
  EXPECT_EQ(disks[1].device, "/dev/sdc1");
  EXPECT_EQ(disks[1].model, "Graph 35+E II");
  EXPECT_EQ(DiskModel("Other"), "");
}

TEST(Disk, FolderNamedByHand) {
  TempDir dir;
  CalculatorDisk disk;
  std::string why;
  EXPECT_TRUE(NamedDisk(dir.Path(), &disk, &why));
  EXPECT_EQ(disk.mountPoint, dir.Path());
  EXPECT_FALSE(NamedDisk(dir / "absent", &disk, &why));
  EXPECT_EQ(why, "LIAISON_DISQUE=" + dir / "absent" + " : pas un dossier");
}

}  // namespace

namespace {

// A STORAGE_DEVICE_DESCRIPTOR as Windows gives it: the vendor's and the
// product's offsets at 12 and 16, their texts after the fixed part.
std::string Descriptor(const std::string& vendor, const std::string& product) {
  std::string d(40, '\0');
  auto offset = [&](size_t at, size_t value) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<char>(value >> (8 * i));
  };
  offset(12, d.size());
  d += vendor + '\0';
  offset(16, d.size());
  d += product + '\0';
  return d;
}

TEST(Disk, WindowsVolumesOfACasioDisk) {
  struct Case {
    std::string descriptor;
    bool casio;
    const char* model;
  } cases[] = {
      {Descriptor("CASIO   ", "ColorGraph      "), true, "Graph 90+E / fx-CG"},
      {Descriptor("CASIO", "Calculator"), true, "Graph 35+E II"},
      {Descriptor("CASIO", "Autre"), true, ""},
      {Descriptor("Kingston", "DataTraveler"), false, ""},
      {Descriptor("CASIO", "x").substr(0, 14), false, ""},  // cut before its offsets
      {"", false, ""},
  };
  for (const Case& c : cases) {
    std::string model = "?";
    EXPECT_EQ(IsCasioDescriptor(c.descriptor, &model), c.casio) << c.descriptor.size();
    if (c.casio) {
      EXPECT_EQ(model, c.model);
    }
  }
  // An offset past the end names nothing.
  std::string wild = Descriptor("CASIO", "ColorGraph");
  wild[12] = '\x7F';
  std::string model;
  EXPECT_FALSE(IsCasioDescriptor(wild, &model));
}

TEST(Disk, WindowsRefusalsToEject) {
  EXPECT_TRUE(IsBusyVeto(5));   // a file open on it
  EXPECT_TRUE(IsBusyVeto(3));   // a program
  EXPECT_FALSE(IsBusyVeto(0));
  EXPECT_FALSE(IsBusyVeto(12));
  EXPECT_EQ(EjectVetoWords(5, "explorer.exe"), "le disque est utilise (explorer.exe)");
  EXPECT_EQ(EjectVetoWords(12, ""), "le systeme refuse l'ejection (droits insuffisants)");
  EXPECT_EQ(EjectVetoWords(6, ""), "le systeme refuse l'ejection");
}

TEST(Disk, TreeOfTheDisk) {
  TempDir disk;
  for (const char* f : {"@MainMem", "@MainMem/PROGRAM", ".Trashes", "System Volume Information"})
    mkdir((disk / f).c_str(), 0755);
  WriteAll(disk / "@MainMem/PROGRAM/A.g1m", "abc");
  WriteAll(disk / "B.g3a", "12345");
  WriteAll(disk / "._B.g3a", "macOS's");
  WriteAll(disk / ".Trashes/x", "y");
  ASSERT_EQ(symlink("/etc", (disk / "lien").c_str()), 0);  // never followed
  std::vector<DiskEntry> tree;
  std::string error;
  ASSERT_TRUE(DiskTree(disk.Path(), &tree, &error)) << error;
  std::vector<std::string> seen;
  for (const DiskEntry& e : tree)
    seen.push_back(e.path + (e.folder ? "/" : " " + std::to_string(e.size)));
  EXPECT_EQ(seen, (std::vector<std::string>{"@MainMem/", "@MainMem/PROGRAM/",
                                            "@MainMem/PROGRAM/A.g1m 3", "B.g3a 5"}));
  // Deeper than a calculator's disk ever is: said, not walked for ever.
  std::string deep = disk.Path();
  for (int i = 0; i < 20; ++i) mkdir((deep += "/d").c_str(), 0755);
  EXPECT_FALSE(DiskTree(disk.Path(), &tree, &error));
  EXPECT_TRUE(Has(error, "plus de 16 niveaux de dossiers")) << error;
  EXPECT_FALSE(DiskTree(disk / "absent", &tree, &error));
  EXPECT_EQ(error, disk / "absent" + " : dossier illisible");
}

TEST(Disk, FolderNamedByHandIsItsDiskSpace) {
  TempDir dir;
  CalculatorDisk disk;
  std::string why;
  ASSERT_TRUE(NamedDisk(dir.Path() + "/", &disk, &why));
  EXPECT_GT(disk.size, 0u);
  EXPECT_TRUE(disk.device.empty());
  EXPECT_EQ(EjectDisk(disk, &why), Ejected::NotADisk);
}

}  // namespace
