// Finding a calculator's disk without the desktop's disk service: the
// mounts of /proc/self/mountinfo and the drives' vendor and model in /sys,
// here small trees made by the test.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
