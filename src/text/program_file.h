// Program and text files as liaison reads and writes them.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>

// A file's bytes as liaison's text-mode stream gives them: on Windows each
// CR LF that its text-mode write made of a line feed is one line feed again.
bool ReadProgramFile(const std::string& path, std::string* bytes, std::string* error);
// A file's bytes, as they stand.
bool ReadTextFile(const std::string& path, std::string* text, std::string* error);
// The system's reason for an error, in French for the common ones.
std::string SystemError(int code);
// Writes all `count` bytes to `fd`, going on after an interrupted write;
// false (errno says why) when the system takes no more.
bool WriteAllTo(int fd, const void* bytes, size_t count);

// While one lives, the signals that end the program (SIGINT, SIGTERM,
// SIGHUP) wait: a file being written is finished, or taken back, first.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
#ifndef _WIN32
  sigset_t previous_;
#endif
};

// Writes `bytes` to a temporary file beside `path`, then puts it in its place:
// a failure leaves no file behind, and never half a file, nor does a signal
// that ends the program meanwhile; the file it replaces keeps its
// permissions. A symbolic link is written through, to its
// target. A device, a pipe or a folder is refused: nothing is written.
// `text`: as a text-mode write stores them (on Windows, each line feed as CR
// LF). `flush`: on the disk itself before it is renamed (a removable disk).
enum class Written { Whole, NotCreated, WriteFailed };
Written WriteFileWhole(const std::string& path, const std::string& bytes, std::string* error,
                       bool text = false, bool flush = false);
