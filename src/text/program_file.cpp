#include "text/program_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

struct Closer {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, Closer>;

bool Say(std::string* error, const std::string& what, const std::string& path) {
  *error = what + " " + path + " : " + SystemError(errno);
  return false;
}

}  // namespace

std::string SystemError(int code) {
  switch (code) {
    case ENOENT:
      return "fichier ou dossier introuvable";
    case EACCES:
    case EPERM:
      return "permission refusee";
    case EROFS:
      return "systeme de fichiers en lecture seule";
    case ENOSPC:
      return "plus de place sur le disque";
    case EISDIR:
      return "c'est un dossier";
    case ENOTDIR:
      return "un element du chemin n'est pas un dossier";
    case EEXIST:
      return "le fichier existe deja";
    case EFBIG:
      return "fichier trop grand";
    case EIO:
      return "erreur d'entree-sortie";
    case ENAMETOOLONG:
      return "nom trop long";
    case EBUSY:
      return "ressource occupee";
#ifdef EDQUOT
    case EDQUOT:
      return "quota de disque depasse";
#endif
    default:
      return std::strerror(code);  // the system's own words for the others
  }
}

// Read in binary: a text-mode read on Windows would also end the file at its
// first 0x1A, which is a byte of programs (ClrList is F7 1A).
bool ReadTextFile(const std::string& path, std::string* text, std::string* error) {
  // A folder would give a size that is none, a device or a pipe would be
  // read without end: only a file's bytes are read.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    *error = path + " n'est pas un fichier (" +
             (S_ISDIR(st.st_mode) ? "c'est un dossier" : "peripherique ou tube") +
             ") : rien n'est lu";
    return false;
  }
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return Say(error, "impossible de lire", path);
  text->clear();
  // Room for the whole file at once: growing by doubling would hold up to
  // twice a large file.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long size = std::ftell(file.get());
    if (size > 0) text->reserve(static_cast<size_t>(size));
    std::rewind(file.get());
  }
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text->append(chunk, n);
  if (std::ferror(file.get())) return Say(error, "impossible de lire", path);
  return true;
}

bool ReadProgramFile(const std::string& path, std::string* bytes, std::string* error) {
  if (!ReadTextFile(path, bytes, error)) return false;
#ifdef _WIN32
  std::string out;
  for (size_t i = 0; i < bytes->size(); ++i) {
    if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') continue;
    out += (*bytes)[i];
  }
  bytes->swap(out);
#endif
  return true;
}

namespace {

// The folder a file is in, for its temporary twin: the same file system, so
// that the rename is atomic.
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

#ifndef _WIN32
// The file a name finally stands for: a symbolic link's target.
bool Target(const std::string& path, std::string* target, std::string* error) {
  struct stat st {};
  *target = path;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return Say(error, "lien symbolique vers rien :", path);
  *target = real;
  std::free(real);
  return true;
}
#endif

}  // namespace

#ifndef _WIN32
EndingSignalsHeld::EndingSignalsHeld() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
  sigprocmask(SIG_BLOCK, &ending, &previous_);
}

EndingSignalsHeld::~EndingSignalsHeld() {
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}
#else
namespace {

volatile LONG held = 0;

// Ctrl-C comes on a thread of its own: it waits until the file is whole,
// then the program ends as the system ends it.
BOOL WINAPI WaitWhileHeld(DWORD) {
  while (held > 0) Sleep(10);
  return FALSE;
}

}  // namespace

EndingSignalsHeld::EndingSignalsHeld() {
  static bool installed = SetConsoleCtrlHandler(WaitWhileHeld, TRUE) != 0;
  (void)installed;
  InterlockedIncrement(&held);
}

EndingSignalsHeld::~EndingSignalsHeld() {
  InterlockedDecrement(&held);
}
#endif

bool WriteAllTo(int fd, const void* bytes, size_t count) {
  const char* from = static_cast<const char*>(bytes);
  size_t done = 0;
  while (done < count) {
    auto n = write(fd, from + done, static_cast<unsigned>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

Written WriteFileWhole(const std::string& path, const std::string& bytes, std::string* error,
                       bool text, bool flush) {
  std::string target = path;
#ifndef _WIN32
  if (!Target(path, &target, error)) return Written::NotCreated;
#endif
  struct stat st {};
  bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) {
    errno = 0;
    *error = target +
             " n'est pas un fichier ordinaire (peripherique, tube ou dossier) : "
             "rien n'y est ecrit";
    return Written::NotCreated;
  }
#ifdef _WIN32
  std::string converted;
  if (text) {
    for (char c : bytes) converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  }
  const std::string& content = text ? converted : bytes;
  int pid = _getpid();
#else
  (void)text;
  const std::string& content = bytes;
  int pid = getpid();
#endif
  EndingSignalsHeld held;  // a Ctrl-C leaves no temporary file behind
  // A short name, whatever the length of the file's own.
  std::string temporary;
  int fd = -1;
  for (int n = 0; n < 100 && fd < 0; ++n) {
    temporary = FolderOf(target) + "/.liaison" + std::to_string(pid) + "-" + std::to_string(n);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    Say(error, "impossible d'ecrire", path);
    return Written::NotCreated;
  }
  bool written = WriteAllTo(fd, content.data(), content.size());
#ifndef _WIN32
  if (exists) fchmod(fd, st.st_mode & 07777);  // the file it replaces keeps its permissions
  if (flush && written) written = fsync(fd) == 0;
#else
  if (flush && written) written = _commit(fd) == 0;
#endif
  written = close(fd) == 0 && written;
#ifdef _WIN32
  written = written && MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
#else
  written = written && std::rename(temporary.c_str(), target.c_str()) == 0;
#endif
  if (written) return Written::Whole;
  Say(error, "impossible d'ecrire", path);
  std::remove(temporary.c_str());
  return Written::WriteFailed;
}
