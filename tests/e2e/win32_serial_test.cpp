// The Win32 serial backend under wine, over a real pseudo-terminal: the
// driver's time-outs as the program sets them.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/harness.h"
#include "support/pty.h"

namespace {

class Win32Serial : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!OnWindows()) GTEST_SKIP() << "runs under wine only";
    ASSERT_TRUE(pty_.Ok());
  }

  // Runs the probe; `onOpen` is sent once the port is open and purged.
  std::string Probe(const std::vector<std::string>& args, const std::string& onOpen) {
    StartWineServer();
    std::string link = WineBuild() + "/com1";
    unlink(link.c_str());
    EXPECT_EQ(symlink(pty_.name.c_str(), link.c_str()), 0);
    std::vector<std::string> argv = {WineTool("wine64"), WineBuild() + "/serial-probe.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    Process probe(argv, "", RunOptions{});
    if (probe.WaitFor("open\r\n") && !onOpen.empty()) {
      EXPECT_EQ(write(pty_.master, onOpen.data(), onOpen.size()),
                static_cast<ssize_t>(onOpen.size()));
    }
    return probe.Finish().out;
  }

  static long Field(const std::string& out, const std::string& key) {
    size_t at = out.find(key + "=");
    return at == std::string::npos ? -1 : std::atol(out.c_str() + at + key.size() + 1);
  }

  PtyPair pty_;
};

TEST_F(Win32Serial, ShortReadReturnsWhatCameAfterTheTimeOut) {
  std::string out = Probe({"read", "50"}, std::string(20, 'x'));
  EXPECT_EQ(Field(out, "ok"), 1) << out;
  EXPECT_EQ(Field(out, "got"), 20) << out;
  EXPECT_GE(Field(out, "ms"), 4900) << out;
  EXPECT_LT(Field(out, "ms"), 6000) << out;
}

TEST_F(Win32Serial, CompleteReadReturnsAtOnce) {
  std::string out = Probe({"read", "5"}, "ABCDE");
  EXPECT_EQ(Field(out, "got"), 5) << out;
  EXPECT_LT(Field(out, "ms"), 1000) << out;
}

TEST_F(Win32Serial, SilentLineGivesZero) {
  std::string out = Probe({"readone"}, "");
  EXPECT_EQ(Field(out, "byte"), 0) << out;
  EXPECT_GE(Field(out, "ms"), 4900) << out;
}

TEST_F(Win32Serial, OneCharWritesTheLowByte) {
  std::string out = Probe({"write"}, "");
  EXPECT_EQ(Field(out, "ok"), 1) << out;
  char byte = 0;
  EXPECT_EQ(read(pty_.master, &byte, 1), 1);
  EXPECT_EQ(byte, 0x16);
}

}  // namespace
