// Runs the program in this process: typed answers from a string, console
// text into a string, files in a fresh working directory.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "app/liaison.h"

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/liaison-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() {
    int removed = std::system(("rm -rf '" + path_ + "'").c_str());
    (void)removed;  // a folder left in /tmp fails no test
  }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class Session {
 public:
  explicit Session(const std::string& typed) : state_(std::make_unique<WorkState>()) {
    state_->con.inFd = -1;
    state_->con.pending = typed;
    state_->con.out = open_memstream(&text_, &length_);
    // A session that cannot move into its folder would write into another.
    if (!getcwd(previousDir_, sizeof previousDir_) || chdir(dir_.Path().c_str()) != 0) std::abort();
  }
  ~Session() {
    std::fclose(state_->con.out);
    std::free(text_);
    if (chdir(previousDir_) != 0) std::abort();
  }
  int Run() { return RunLiaison(*state_); }
  std::string Output() {
    std::fflush(state_->con.out);
    return std::string(text_, length_);
  }
  WorkState& State() { return *state_; }
  const TempDir& Dir() const { return dir_; }

 private:
  TempDir dir_;
  std::unique_ptr<WorkState> state_;
  char* text_ = nullptr;
  size_t length_ = 0;
  char previousDir_[4096];
};
