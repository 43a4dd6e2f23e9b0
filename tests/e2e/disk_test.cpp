// The commands on a Graph 90+E's or Graph 35+E II's disk, here a folder that
// stands for it (LIAISON_DISQUE): what the user reads, the bytes on both
// sides; a disk that fills up, is read-only, or goes away.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <map>

#include "support/harness.h"

namespace {

// Every file under `root` with its bytes, by its path from `root`; folders
// as "path/".
std::map<std::string, std::string> TreeOf(const std::string& root, const std::string& in = "") {
  std::map<std::string, std::string> tree;
  DIR* d = opendir((root + "/" + in).c_str());
  while (dirent* e = d ? readdir(d) : nullptr) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = in.empty() ? name : in + "/" + name;
    struct stat st {};
    stat((root + "/" + path).c_str(), &st);
    if (S_ISDIR(st.st_mode)) {
      tree[path + "/"] = "";
      for (const auto& inner : TreeOf(root, path)) tree.insert(inner);
    } else {
      tree[path] = ReadAll(root + "/" + path);
    }
  }
  if (d) closedir(d);
  return tree;
}

void Folder(const std::string& path) {
  mkdir(path.c_str(), 0755);
}

// A colour model's file of the family: the inverted header with its type,
// then the title at 0x40.
std::string ColourFile(unsigned char type, const std::string& title) {
  std::string bytes(0x80, '\0');
  const std::string magic = "USBPower";
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(~magic[i]);
  bytes[8] = static_cast<char>(~type);
  bytes.replace(0x40, title.size(), title);
  return bytes;
}

std::string G3m(std::string g1m) {
  g1m[8] = static_cast<char>(~0x75);
  return g1m;
}

const std::string kFor(
    "\xF7\x04"
    "1\x0E"
    "I\xF7\x05"
    "3\r\xF7\x07",
    11);

// The disk of a calculator in USB Flash mode, with a program, an add-in in
// a folder and a text file.
struct Disk {
  TempDir dir;
  std::string root = dir / "disque";
  std::string a = G1mBytes({G1mProgram("A", "1+1")});
  std::string addIn = ColourFile(0x2C, "Mon jeu");
  Disk() {
    for (const char* f : {"", "/@MainMem", "/@MainMem/PROGRAM", "/Jeux"}) Folder(root + f);
    WriteAll(root + "/@MainMem/PROGRAM/A.g1m", a);
    WriteAll(root + "/Jeux/B.g3a", addIn);
    WriteAll(root + "/NOTES.txt", "notes\n");
  }
  Exit Run(const std::vector<std::string>& args, const std::string& in = "") const {
    RunOptions options;
    options.args = args;
    options.env = {"LIAISON_DISQUE=" + root};
    options.closedStdin = true;
    return RunLiaison(in.empty() ? dir.Path() : in, "/dev/null", "", options);
  }
};

TEST(DiskFiles, InfoAndList) {
  Disk disk;
  Exit exit = disk.Run({"info"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "Calculatrice : modele inconnu, disque USB\nDisque : " + disk.root +
                                "\nCapacite : "))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "Fichiers : 1 en memoire principale (@MainMem), 2 dans le stockage\n"))
      << exit.out;
  exit = disk.Run({"liste"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "Memoire principale (@MainMem) :\n"
                  "  PROGRAM          A.g1m            " +
                      std::to_string(disk.a.size()) +
                      " octets\n"
                      "Stockage :\n"
                      "  Jeux/\n"
                      "  Jeux/B.g3a                   128 octets  \"Mon jeu\"\n"
                      "  NOTES.txt                    6 octets\n"
                      "Libre : "))
      << exit.out;
  exit = disk.Run({"liste", "--stockage"});
  EXPECT_FALSE(Has(exit.out, "Memoire principale")) << exit.out;
  exit = disk.Run({"liste", "--memoire"});
  EXPECT_FALSE(Has(exit.out, "Stockage")) << exit.out;
  EXPECT_EQ(disk.Run({"liste", "--tout"}).status, 2);
}

TEST(DiskFiles, SendFetchDelete) {
  Disk disk;
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  WriteAll(disk.dir / "TOUT.bin", every);
  WriteAll(disk.dir / "BOUCLE", ":" + kFor);  // a Graph 35/65 program file
  std::string mixed = G1mBytes({G1mProgram("C", "2"), {"LIST", "", "LIST 1", 0x05, "\x01\x02"}});
  WriteAll(disk.dir / "mixte.g1m", mixed);
  Exit exit = disk.Run({"envoyer", "TOUT.bin"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(
      Has(exit.out, "  fichier TOUT.bin (256 octets) : envoye\n1 fichier(s) envoye(s) sur 1.\n"))
      << exit.out;
  EXPECT_EQ(ReadAll(disk.root + "/TOUT.bin"), every);
  // Programs into main memory, each in an archive of its own; the list is no
  // program: said, left out, status 1.
  exit = disk.Run({"envoyer", "--memoire", "BOUCLE", "mixte.g1m"});
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "n'est pas un programme : laisse de cote\n")) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "Programmes en @MainMem/PROGRAM, une archive .g1m chacun.\n"
                  "  programme BOUCLE : envoye\n  programme C : envoye\n"
                  "2 fichier(s) envoye(s) sur 2.\n"))
      << exit.out;
  EXPECT_EQ(ReadAll(disk.root + "/@MainMem/PROGRAM/BOUCLE.g1m"),
            G1mBytes({G1mProgram("BOUCLE", kFor)}));
  EXPECT_EQ(ReadAll(disk.root + "/@MainMem/PROGRAM/C.g1m"), G1mBytes({G1mProgram("C", "2")}));
  // Fetched byte for byte, under their own names.
  TempDir pc;
  exit = disk.Run({"recuperer", "a", "ABSENT"}, pc.Path());
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  @MainMem/PROGRAM/A.g1m (" + std::to_string(disk.a.size()) +
                                " octets) : A.g1m\n  ABSENT : pas sur la calculatrice\n"))
      << exit.out;
  EXPECT_EQ(ReadAll(pc / "A.g1m"), disk.a);
  exit = disk.Run({"recuperer", "--stockage", "Jeux/B.g3a", "../disque/NOTES.txt"}, pc.Path());
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_EQ(ReadAll(pc / "B.g3a"), disk.addIn);
  EXPECT_TRUE(Has(exit.out, "  ../disque/NOTES.txt : pas sur la calculatrice\n")) << exit.out;
  EXPECT_EQ(Listed(pc.Path()), (std::vector<std::string>{"A.g1m", "B.g3a"}));
  // Deleted: a program by its name, a storage file by its path; never a folder.
  exit = disk.Run({"supprimer", "BOUCLE"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  @MainMem/PROGRAM/BOUCLE.g1m : supprime\n")) << exit.out;
  exit = disk.Run({"supprimer", "--stockage", "Jeux", "TOUT.bin"});
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out, "  Jeux : un dossier, pas supprime\n  TOUT.bin : supprime\n"))
      << exit.out;
  EXPECT_EQ(Listed(disk.root), (std::vector<std::string>{"@MainMem", "Jeux", "NOTES.txt"}));
  EXPECT_EQ(Listed(disk.root + "/@MainMem/PROGRAM"), (std::vector<std::string>{"A.g1m", "C.g1m"}));
}

TEST(DiskFiles, BackupThenRestoreGivesTheSameTree) {
  Disk disk;
  TempDir saved;
  Exit exit = disk.Run({"sauvegarder", saved.Path()});
  EXPECT_EQ(exit.status, 0) << exit.out;
  std::vector<std::string> made = Listed(saved.Path());
  ASSERT_EQ(made.size(), 1u);
  const std::string backup = saved / made[0];
  EXPECT_TRUE(Has(exit.out, "Sauvegarde : 3 fichier(s), " +
                                std::to_string(disk.a.size() + disk.addIn.size() + 6) +
                                " octets, dans " + backup + "\n"))
      << exit.out;
  std::map<std::string, std::string> before = TreeOf(disk.root);
  EXPECT_EQ(TreeOf(backup), before);
  // Emptied, then put back from the backup.
  EXPECT_EQ(std::system(("rm -rf '" + disk.root + "'/*").c_str()), 0);
  exit = disk.Run({"envoyer", backup});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(TreeOf(disk.root), before);
  EXPECT_EQ(disk.Run({"sauvegarder", disk.dir / "absent"}).status, 2);
}

TEST(DiskFiles, TheDisksShapeOfArchives) {
  Disk disk;
  // A disk with .g3m archives in its main memory is a colour model's.
  WriteAll(disk.root + "/@MainMem/PROGRAM/OLD.g3m", G3m(G1mBytes({G1mProgram("OLD", "1")})));
  WriteAll(disk.dir / "BOUCLE", ":" + kFor);
  Exit exit = disk.Run({"envoyer", "--memoire", "BOUCLE"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(Has(exit.out, "une archive .g3m chacun")) << exit.out;
  EXPECT_EQ(ReadAll(disk.root + "/@MainMem/PROGRAM/BOUCLE.g3m"),
            G3m(G1mBytes({G1mProgram("BOUCLE", kFor)})));
  // A colour program with a code the Graph 35+E II lacks: nothing written.
  Disk mono;
  WriteAll(mono.dir / "P.g3m", G3m(G1mBytes({G1mProgram("P",
                                                        "1\rA\xF9\xFF"
                                                        "B")})));
  exit = mono.Run({"envoyer", "--memoire", "P.g3m"});
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "programme P : 1 code(s) inconnu(s) de la Graph 35+E II\n"
                  "  ligne 2, colonne 2 : \\xF9\\xFF\nRien n'a ete envoye.\n"))
      << exit.out;
  EXPECT_EQ(Listed(mono.root + "/@MainMem/PROGRAM"), (std::vector<std::string>{"A.g1m"}));
}

TEST(DiskFiles, NameAlreadyThere) {
  Disk disk;
  WriteAll(disk.dir / "NOTES.txt", "nouvelles\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;
    const char* after;
  } cases[] = {
      {{"envoyer", "NOTES.txt"},
       1,
       "  fichier NOTES.txt (10 octets) : deja sur la calculatrice, garde\n",
       "notes\n"},
      {{"envoyer", "--garder", "NOTES.txt"}, 1, "garde\n", "notes\n"},
      {{"envoyer", "--remplacer", "NOTES.txt"},
       0,
       "  fichier NOTES.txt (10 octets) : envoye\n",
       "nouvelles\n"},
  };
  for (const Case& c : cases) {
    Exit exit = disk.Run(c.args);
    EXPECT_EQ(exit.status, c.status) << exit.out;
    EXPECT_TRUE(Has(exit.out, c.said)) << exit.out;
    EXPECT_EQ(ReadAll(disk.root + "/NOTES.txt"), c.after) << c.args[1];
  }
  EXPECT_EQ(LeftBehind(disk.dir), 0);
  EXPECT_EQ(disk.Run({"envoyer", "--memoire", "--stockage", "NOTES.txt"}).status, 2);
}

// Runs liaison with the disk on a small file system of its own (a private
// mount namespace): 64 KiB, or read-only; the disk's files copied out after.
Exit OnSmallDisk(const Disk& disk, const std::string& options, const std::vector<std::string>& args,
                 const std::string& out) {
  std::string script =
      "mount -t tmpfs -o size=64k tmpfs \"$D\" && cp -a \"$S\"/. \"$D\"/ && "
      "mount -o remount," +
      options + " \"$D\" && \"$@\"; s=$?; cp -a \"$D\"/. \"$O\"/; exit $s";
  std::vector<std::string> argv = {"/usr/bin/unshare", "-rm", "/bin/sh", "-c", script, "sh",
                                   LIAISON_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  RunOptions run;
  run.env = {"D=" + disk.root, "S=" + disk.dir / "copie", "O=" + out,
             "LIAISON_DISQUE=" + disk.root};
  run.closedStdin = true;
  const std::string copy = disk.dir / "copie";
  EXPECT_EQ(
      std::system(("rm -rf '" + copy + "' && cp -a '" + disk.root + "' '" + copy + "'").c_str()),
      0);
  return Process(argv, disk.dir.Path(), run).Finish();
}

bool CanMountPrivately() {
  return std::system("/usr/bin/unshare -rm /bin/sh -c 'mount -t tmpfs tmpfs /mnt' 2>/dev/null") ==
         0;
}

TEST(DiskFaults, FullAndReadOnlyDisks) {
  if (OnWindows() || !CanMountPrivately()) GTEST_SKIP() << "no private mount namespace here";
  Disk disk;
  WriteAll(disk.dir / "PETIT.bin", std::string(8000, 'p'));
  WriteAll(disk.dir / "GRAND.bin", std::string(200000, 'g'));
  WriteAll(disk.dir / "APRES.bin", "a");
  TempDir full;
  Exit exit =
      OnSmallDisk(disk, "rw", {"envoyer", "PETIT.bin", "GRAND.bin", "APRES.bin"}, full.Path());
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(exit.out,
                  "  fichier PETIT.bin (8000 octets) : envoye\n"
                  "  fichier GRAND.bin (200000 octets) : pas envoye : impossible d'ecrire "))
      << exit.out;
  EXPECT_TRUE(Has(exit.out, "plus de place sur le disque\n1 fichier(s) envoye(s) sur 3.\n"))
      << exit.out;
  EXPECT_EQ(ReadAll(full / "PETIT.bin"), std::string(8000, 'p'));
  EXPECT_EQ(Listed(full.Path()),
            (std::vector<std::string>{"@MainMem", "Jeux", "NOTES.txt", "PETIT.bin"}));
  EXPECT_EQ(LeftBehind(full), 0);
  TempDir readOnly;
  exit = OnSmallDisk(disk, "ro", {"envoyer", "PETIT.bin", "APRES.bin"}, readOnly.Path());
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(
      Has(exit.out, "systeme de fichiers en lecture seule\n0 fichier(s) envoye(s) sur 2.\n"))
      << exit.out;
  EXPECT_EQ(TreeOf(readOnly.Path()), TreeOf(disk.root));
  exit = OnSmallDisk(disk, "ro", {"supprimer", "A"}, readOnly.Path());
  EXPECT_EQ(exit.status, 1) << exit.out;
  EXPECT_TRUE(Has(
      exit.out, "  @MainMem/PROGRAM/A.g1m : pas supprime : systeme de fichiers en lecture seule\n"))
      << exit.out;
}

// The disk goes while liaison waits for an answer: what was sent stays, the
// rest is said lost, status 255.
TEST(DiskFaults, DiskThatGoesAway) {
  if (OnWindows()) GTEST_SKIP() << "the question needs a terminal";
  Disk disk;
  WriteAll(disk.dir / "AVANT.txt", "avant");
  WriteAll(disk.dir / "NOTES.txt", "nouvelles");
  RunOptions options;
  options.args = {"envoyer", "AVANT.txt", "NOTES.txt"};
  options.env = {"LIAISON_DISQUE=" + disk.root};
  options.terminalColumns = 80;
  Liaison liaison(disk.dir.Path(), "/dev/null", options);
  ASSERT_TRUE(liaison.WaitFor("Le remplacer ? (o/n) "));
  EXPECT_EQ(ReadAll(disk.root + "/AVANT.txt"), "avant");
  EXPECT_EQ(std::system(("mv '" + disk.root + "' '" + disk.dir / "ailleurs" + "'").c_str()), 0);
  liaison.Type("o\n");
  Exit exit = liaison.Finish();
  EXPECT_EQ(exit.status, 255) << exit.out;
  EXPECT_TRUE(Has(exit.out, "1 fichier(s) envoye(s) sur 2.\r\nDisque de la calculatrice perdu"))
      << exit.out;
  EXPECT_EQ(ReadAll(disk.dir / "ailleurs/NOTES.txt"), "notes\n");
  EXPECT_EQ(LeftBehind(disk.dir), 0);
}

TEST(DiskFiles, NamedFolderThatIsNone) {
  Disk disk;
  RunOptions options;
  options.args = {"info"};
  options.env = {"LIAISON_DISQUE=" + disk.dir / "absent"};
  options.stderrPath = disk.dir / "err.txt";
  Exit exit = RunLiaison(disk.dir.Path(), "/dev/null", "", options);
  EXPECT_EQ(exit.status, 255) << exit.out;
  if (!OnWindows()) {  // wine's standard error is its own
    EXPECT_TRUE(Has(ReadAll(disk.dir / "err.txt"),
                    "LIAISON_DISQUE=" + disk.dir / "absent" + " : pas un dossier"));
  }
}

// Names as a user gives them: a program named by --nom, one name in two
// groups, a storage path in another case; a disk without @MainMem said.
TEST(DiskFiles, NamesAsTheUserGivesThem) {
  Disk disk;
  Folder(disk.root + "/@MainMem/LISTES");
  WriteAll(disk.root + "/@MainMem/LISTES/A.g1m", "autre");
  WriteAll(disk.dir / "prog.txt", ":2+2");
  Exit exit = disk.Run({"envoyer", "--memoire", "--nom", "CALCUL", "prog.txt"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(ReadAll(disk.root + "/@MainMem/PROGRAM/CALCUL.g1m"),
            G1mBytes({G1mProgram("CALCUL", "2+2")}));
  EXPECT_EQ(disk.Run({"envoyer", "--nom", "X", "prog.txt", "NOTES.txt"}).status, 2);
  TempDir pc;
  exit = disk.Run({"recuperer", "--stockage", "jeux/b.G3A"}, pc.Path());
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_EQ(ReadAll(pc / "B.g3a"), disk.addIn);
  exit = disk.Run({"supprimer", "a"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(
      Has(exit.out, "  @MainMem/LISTES/A.g1m : supprime\n  @MainMem/PROGRAM/A.g1m : supprime\n"))
      << exit.out;
  EXPECT_EQ(std::system(("rm -rf '" + disk.root + "/@MainMem'").c_str()), 0);
  exit = disk.Run({"liste", "--memoire"});
  EXPECT_EQ(exit.status, 0) << exit.out;
  EXPECT_TRUE(
      Has(exit.out, "  (pas de dossier @MainMem : le disque est-il celui d'une calculatrice ?)\n"))
      << exit.out;
}

}  // namespace
