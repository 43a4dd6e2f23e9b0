// The POSIX serial backend over a real pseudo-terminal pair.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "serial/serial.h"
#include "support/pty.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double CpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
         (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

class Pty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Ok());
    setenv("LIAISON_PORT", pty_.name.c_str(), 1);
  }
  void TearDown() override { CloseCOM(); }
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(pty_.master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string Take(size_t count) {
    std::string got(count, '\0');
    size_t done = 0;
    while (done < count) {
      ssize_t n = read(pty_.master, &got[done], count - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    got.resize(done);
    return got;
  }
  PtyPair pty_;
};

TEST_F(Pty, LineSettingsOnTheDevice) {
  ASSERT_EQ(OpenCOM(1), 1);
  termios tio{};
  ASSERT_EQ(tcgetattr(g_hCOM, &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_EQ(cfgetispeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_TRUE(tio.c_cflag & CLOCAL);
  EXPECT_FALSE(tio.c_cflag & (PARENB | CRTSCTS));
  EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP));
  EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(tio.c_oflag & OPOST);
}

TEST_F(Pty, PendingBytesAreDiscardedAndCompleteReadsReturnAtOnce) {
  Send("left over from before");
  ASSERT_EQ(OpenCOM(1), 1);
  Send("ABCDE");
  char buffer[5];
  int got = 0;
  Clock::time_point start = Clock::now();
  EXPECT_NE(ReadCOM(buffer, 5, &got), 0);
  EXPECT_LT(SecondsSince(start), 1.0);
  EXPECT_EQ(std::string(buffer, static_cast<size_t>(got)), "ABCDE");

  EXPECT_NE(OneCharCOM(0x116), 0);
  EXPECT_EQ(Take(1), "\x16");
  Send("\x2B");
  EXPECT_EQ(ReadOneCharCOM(), 0x2B);
}

TEST_F(Pty, ShortReadReturnsWhatCameAfterTheTimeOut) {
  ASSERT_EQ(OpenCOM(1), 1);
  Send(std::string(20, 'x'));
  char buffer[50];
  int got = 0;
  Clock::time_point start = Clock::now();
  EXPECT_NE(ReadCOM(buffer, 50, &got), 0);
  double spent = SecondsSince(start);
  EXPECT_EQ(got, 20);
  EXPECT_GT(spent, 4.9);
  EXPECT_LT(spent, 6.0);
}

TEST_F(Pty, SilentLineGivesZeroAfterTheTimeOut) {
  ASSERT_EQ(OpenCOM(1), 1);
  Clock::time_point start = Clock::now();
  EXPECT_EQ(ReadOneCharCOM(), 0);
  EXPECT_GT(SecondsSince(start), 4.9);
}

// A hang-up (the adapter pulled out) fails the read, but only once its time-out
// has passed: a wait on a dead line must not spin.
TEST_F(Pty, HangUpFailsTheReadWithoutSpinning) {
  ASSERT_EQ(OpenCOM(1), 1);
  close(pty_.slave);
  pty_.slave = -1;
  close(pty_.master);
  pty_.master = -1;
  double cpu = CpuSeconds();
  Clock::time_point start = Clock::now();
  char byte;
  int got = -1;
  EXPECT_EQ(ReadCOM(&byte, 1, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_GT(SecondsSince(start), 4.9);
  EXPECT_LT(CpuSeconds() - cpu, 0.05);
}

TEST_F(Pty, SecondOpenOfTheSameDeviceFails) {
  ASSERT_EQ(OpenCOM(1), 1);
  ComHandle first = g_hCOM;
  EXPECT_EQ(OpenCOM(1), 0);
  g_hCOM = first;
}

TEST(Serial, AbsentDeviceFailsToOpen) {
  setenv("LIAISON_PORT", "/dev/liaison-no-such-device", 1);
  EXPECT_EQ(OpenCOM(1), 0);
  EXPECT_EQ(g_hCOM, InvalidComHandle());
}

}  // namespace
