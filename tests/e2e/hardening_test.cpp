// What a hostile try-out broke: odd outputs, file size limits, traces that
// cannot be written, signals at a pause, narrow terminals, odd ports, more
// data than the buffer holds.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>

#include <unistd.h>

#include <thread>

#include "support/harness.h"

namespace {

// liaison-texte's outputs: a pipe or a folder is refused and left as it is;
// a symbolic link is written through; a file it replaces keeps its mode; a
// name too long for a suffix is no trouble; a file size limit is a reported
// error that leaves nothing.
TEST(Outputs, OnlyRegularFilesAreReplaced) {
  TempDir dir;
  WriteAll(dir / "prog.txt", "A\\->B\n");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0755), 0);
  for (const char* out : {"fifo", "folder"}) {
    Exit exit = RunTexte(dir.Path(), {"ecrire", "prog.txt", out});
    EXPECT_EQ(exit.status, 1) << out;
  }
  struct stat st {};
  EXPECT_EQ(lstat((dir / "fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(LeftBehind(dir), 0);

  if (!OnWindows()) {
    WriteAll(dir / "target", "old");
    ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
    EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "prog.txt", "link"}).status, 0);
    EXPECT_EQ(lstat((dir / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));  // still a link, and its target written
    EXPECT_EQ(ReadAll(dir / "target"),
              ":A\x0E"
              "B");

    WriteAll(dir / "private", "old");
    chmod((dir / "private").c_str(), 0600);
    EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "prog.txt", "private"}).status, 0);
    EXPECT_EQ(stat((dir / "private").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    RunOptions limited;
    limited.fileSizeLimit = 2;
    WriteAll(dir / "big.txt", std::string(5000, 'A') + "\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"ecrire", "big.txt", "out"},
          std::vector<std::string>{"convertir", "target", "out.cat"}}) {
      Exit exit = RunTexte(dir.Path(), args, limited);
      EXPECT_EQ(exit.status, 1) << args[0];  // not killed by SIGXFSZ
      EXPECT_EQ(LeftBehind(dir), 0) << args[0];
    }
  }
  std::string name(250, 'p');
  EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "prog.txt", name}).status, 0);
  EXPECT_EQ(ReadAll(dir / name),
            ":A\x0E"
            "B");
}

TEST(Outputs, NotepadTextAndInvalidUtf8) {
  TempDir dir;
  WriteAll(dir / "bom.txt",
           "\xEF\xBB\xBF"
           "A\\->B\r\n");
  EXPECT_EQ(RunTexte(dir.Path(), {"ecrire", "bom.txt", "out"}).status, 0);
  EXPECT_EQ(ReadAll(dir / "out"),
            ":A\x0E"
            "B");
  WriteAll(dir / "overlong.txt", "AB\n\xC0\xAF");
  RunOptions errors;
  errors.stderrPath = dir / "err.txt";
  Exit exit = RunTexte(dir.Path(), {"ecrire", "overlong.txt", "out2"}, errors);
  EXPECT_EQ(exit.status, 1);
  if (!OnWindows()) {
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), "ligne 2, colonne 1 : texte UTF-8 invalide"))
        << ReadAll(dir / "err.txt");
  }
}

// The trace never blocks the program: a FIFO nobody reads is refused at
// once; a trace whose writes fail is said once.
TEST(TraceFile, NeverBlocksAndSaysWhenItFails) {
  if (OnWindows()) GTEST_SKIP() << "FIFOs and /dev/full are POSIX's";
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0644), 0);
  for (const char* trace : {"fifo", "/dev/full"}) {
    Calculator calculator(dir, {"--send", "ABC", "--text", ":abc"});
    RunOptions options;
    options.env = {std::string("LIAISON_TRACE=") + trace};
    options.stderrPath = dir / "err.txt";
    options.timeoutSeconds = 20;
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1\n3\n\n3\n", options);
    calculator.Finish();
    EXPECT_FALSE(exit.timedOut) << trace;
    EXPECT_EQ(exit.status, 0) << trace;
    std::string said = ReadAll(dir / "err.txt");
    if (std::string(trace) == "fifo") {
      EXPECT_TRUE(Has(said, "impossible d'ouvrir la trace fifo")) << said;
    } else {
      EXPECT_TRUE(Has(said, "la trace /dev/full ne s'ecrit plus")) << said;
      EXPECT_EQ(said.find("ne s'ecrit plus"), said.rfind("ne s'ecrit plus"));  // once
    }
  }
}

// Ended by a signal at the pause (the terminal in raw mode): the terminal's
// modes come back, and the status is the signal's.
TEST(Signals, LeaveTheTerminalAsItWas) {
  if (OnWindows()) GTEST_SKIP() << "POSIX signals and terminal modes";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempDir dir;
    Calculator calculator(dir, {"--send", "ABC"});
    RunOptions options;
    options.terminalColumns = 80;
    Liaison liaison(dir.Path(), calculator.Port(), options);
    liaison.Type("1\n2\n");
    ASSERT_TRUE(liaison.WaitFor("Appuyez sur une touche"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    kill(liaison.Pid(), signal);
    Exit exit = liaison.Finish();
    EXPECT_EQ(exit.status, -signal);
    termios modes{};
    ASSERT_EQ(tcgetattr(liaison.Terminal(), &modes), 0);
    EXPECT_TRUE(modes.c_lflag & ECHO) << signal;
    EXPECT_TRUE(modes.c_lflag & ICANON) << signal;
  }
}

// On a terminal narrower than the progress line, the line is cut to fit:
// it never wraps, so every rewrite takes the last one back.
TEST(ProgressLine, NeverWiderThanTheTerminal) {
  if (OnWindows()) GTEST_SKIP() << "the test's terminal is a pty";
  for (int columns : {40, 60}) {
    TempDir dir;
    WriteAll(dir / "big", std::string(4000, 'b'));
    Calculator calculator(dir, {"--send", "BIG", "--content", dir / "big"});
    RunOptions options;
    options.terminalColumns = columns;
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1\n3\n\n3\n", options);
    calculator.Finish();
    size_t saved = exit.out.find("\0337");
    ASSERT_NE(saved, std::string::npos);
    size_t lineStart = exit.out.rfind('\n', saved) + 1;
    size_t column = saved - lineStart;
    int updates = 0;
    for (size_t at = exit.out.find("\0338\033[K"); at != std::string::npos;
         at = exit.out.find("\0338\033[K", at + 1)) {
      size_t text = at + 5, end = exit.out.find_first_of("\033\n", text);
      EXPECT_LT(column + (end - text), static_cast<size_t>(columns))
          << exit.out.substr(text, end - text);
      ++updates;
    }
    EXPECT_GT(updates, 2);
  }
}

// A port that cannot be opened says which device and why on standard error;
// the program's own terminal is refused as a port.
TEST(Ports, SayWhyTheyCannotBeOpened) {
  if (OnWindows()) GTEST_SKIP() << "POSIX device paths";
  TempDir dir;
  RunOptions options;
  options.stderrPath = dir / "err.txt";
  Exit exit = RunLiaison(dir.Path(), dir / "no-such-port", "", options);
  EXPECT_EQ(exit.status, 255);
  EXPECT_EQ(exit.out,
            "Ouverture et configuration du port COM1...\r\nErreur lors de l'ouverture "
            "du port COM1");
  EXPECT_TRUE(
      Has(ReadAll(dir / "err.txt"), dir / "no-such-port : n'existe pas (adaptateur debranche ?)"))
      << ReadAll(dir / "err.txt");

  options.terminalColumns = 80;
  for (const char* console : {"/proc/self/fd/0", "/dev/tty"}) {  // the terminal it runs in
    Liaison own(dir.Path(), console, options);
    own.Type("3\n");
    exit = own.Finish();
    EXPECT_EQ(exit.status, 255) << console;
    EXPECT_TRUE(Has(ReadAll(dir / "err.txt"), std::string(console) + " est le terminal de "
                                                                     "liaison lui-meme"))
        << ReadAll(dir / "err.txt");
  }
}

// More data than the buffer holds after a header of another type: said, not
// dropped in silence. A name of dots is no hidden file.
TEST(ReceptionLimits, CutDataIsSaidAndDotsAreNoHiddenFile) {
  TempDir dir;
  WriteAll(dir / "huge", std::string(70000, 'h'));
  {
    Calculator calculator(dir, {"--send", "BIG", "--type", "XYZ", "--content", dir / "huge"});
    Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n");
    calculator.Finish();
    EXPECT_TRUE(Has(exit.out, "... donnees coupees a 65999 octets (le tampon est plein)!"))
        << exit.out;
  }
  Calculator calculator(dir, {"--send", "........", "--text", ":dots"});
  Exit exit = RunLiaison(dir.Path(), calculator.Port(), "1 3\n\n3\n");
  calculator.Finish();
  EXPECT_TRUE(Has(exit.out, "Nom du programme : _.......\n")) << exit.out;
  EXPECT_EQ(ReadAll(dir / "_........txt"), TextFile(":dots"));
}

}  // namespace

namespace {

// Anything that is no file (a folder, a device, a pipe) is refused before a
// byte of it is read, naming it; the system's reasons come in French.
TEST(Inputs, OnlyFilesAreRead) {
  TempDir dir;
  ASSERT_EQ(mkdir((dir / "dossier").c_str(), 0755), 0);
  struct Case {
    bool texte;
    std::vector<std::string> args;
    const char* said;  // by liaison on its console, or by liaison-texte on standard error
  };
  std::vector<Case> cases = {
      {false, {"envoyer", "dossier"}, "dossier n'est pas un fichier (c'est un dossier)"},
      {false, {"envoyer", "absent.cas"}, "absent.cas : fichier ou dossier introuvable"},
      {true, {"lire", "dossier"}, "dossier n'est pas un fichier"},
      {true, {"ecrire", "dossier", "out.txt"}, "dossier n'est pas un fichier"},
      {true, {"convertir", "dossier", "out.cat"}, "dossier n'est pas un fichier"},
  };
  if (!OnWindows()) {
    cases.push_back({false, {"envoyer", "/dev/zero"}, "/dev/zero n'est pas un fichier"});
    cases.push_back({true, {"lire", "/dev/zero"}, "/dev/zero n'est pas un fichier"});
  }
  for (const Case& c : cases) {
    RunOptions options;
    options.timeoutSeconds = 20;
    options.stderrPath = dir / "err.txt";
    Exit exit;
    if (c.texte) {
      exit = RunTexte(dir.Path(), c.args, options);
    } else {
      options.args = c.args;
      exit = RunLiaison(dir.Path(), "/dev/null", "", options);
    }
    EXPECT_EQ(exit.status, 1) << c.args[1];
    std::string said = c.texte ? ReadAll(dir / "err.txt") : exit.out;
    if (!c.texte || !OnWindows()) {
      EXPECT_TRUE(Has(said, c.said)) << said;
    }
  }
}

}  // namespace

namespace {

// Two items of one name in one envoyer: refused before anything goes,
// naming both files, whatever --remplacer says, in both protocols.
TEST(Sending, OneNameTwiceIsRefused) {
  TempDir dir;
  WriteAll(dir / "LONGNAME1.txt", ":abc");
  WriteAll(dir / "LONGNAME2.txt", ":xyz");
  WriteAll(dir / "a.cat",
           "%Header Record\r\nFormat:TXT\r\nData Type:PG\r\nFile Name:P\r\n%Data Record\r\n"
           "A\r\n%End\r\n");
  WriteAll(dir / "b.cat",
           "%Header Record\r\nFormat:TXT\r\nData Type:PG\r\nFile Name:P\r\n%Data Record\r\n"
           "B\r\n%End\r\n");
  struct Case {
    std::vector<std::string> files;
    const char* said;
  };
  const Case cases[] = {
      {{"LONGNAME1.txt", "LONGNAME2.txt"}, "(LONGNAME1.txt et LONGNAME2.txt)"},
      {{"a.cat", "a.cat"}, "(a.cat et a.cat)"},
      {{"a.cat", "b.cat"}, "(a.cat et b.cat)"},
  };
  for (const char* protocol : {"cas50", "7"}) {
    for (const Case& c : cases) {
      RunOptions options;
      options.args = {"envoyer", "--remplacer", "--protocole", protocol};
      options.args.insert(options.args.end(), c.files.begin(), c.files.end());
      Exit exit = RunLiaison(dir.Path(), "/dev/null", "", options);  // no port is opened
      EXPECT_EQ(exit.status, 1) << protocol << " " << c.said;
      EXPECT_TRUE(Has(exit.out, std::string("est deux fois dans l'envoi ") + c.said)) << exit.out;
      EXPECT_TRUE(Has(exit.out, "Rien n'a ete envoye.")) << exit.out;
    }
  }
}

}  // namespace

namespace {

// A signal while liaison-texte writes its output: no temporary file is left,
// and the output is the old one or the whole new one.
TEST(Outputs, SignalLeavesNoTemporaryFile) {
  if (OnWindows()) GTEST_SKIP() << "a POSIX signal";
  TempDir dir;
  std::string line =
      "A\xE2\x86\x92"
      "B\n";  // A→B
  WriteAll(dir / "big.txt", Repeat(line, 12000000));
  WriteAll(dir / "out.txt", "old");
  Process writer({LIAISON_TEXTE_BIN, "ecrire", "big.txt", "out.txt"}, dir.Path(), RunOptions{});
  bool seen = false;
  for (int i = 0; i < 200000 && !seen; ++i) {
    seen = LeftBehind(dir) > 0;
    if (!seen) usleep(100);
  }
  kill(writer.Pid(), SIGTERM);
  Exit exit = writer.Finish();
  if (!seen) GTEST_SKIP() << "the output was written before a signal could reach it";
  EXPECT_EQ(exit.status, -SIGTERM);
  EXPECT_EQ(LeftBehind(dir), 0);
  std::string out = ReadAll(dir / "out.txt");
  EXPECT_TRUE(out == "old" || out.size() == 12000000u * 4) << out.size();
}

}  // namespace
