// Starting the terminal: what the caller did to its own signals stays with the caller.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "src/link/os/os.h"
#include "src/wire/text.h"
#include "tests/cpp/posix_fixture.h"

namespace vl5::os {
namespace {

// Polls `done` every 10 ms for up to 20 s, so that a fault fails the test instead of hanging it.
template <typename Done>
bool Eventually(Done done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    SleepMs(10);
  }
  return false;
}

bool Stopped(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string pid_field, name, state;
  // Gone, or a zombie that nobody has reaped yet.
  return !(stat >> pid_field >> name >> state) || state == "Z";
}

TEST(LaunchTest, CallerBlockingAndIgnoringSigtermStartsATerminalThatSigtermStops) {
  test_support::TempDir dir;
  const std::string pid_file = dir / "pid";
  const std::string program = dir / "terminal64";
  // The shell keeps its pid through exec; sleep has no handler of its own.
  test_support::WriteFile(
      program, "#!/bin/sh\necho $$ > " + pid_file + ".new\nmv " + pid_file + ".new " + pid_file + "\nexec sleep 60\n");
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);

  sigset_t term, old_mask;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  struct sigaction ignore {
  }, old_action{};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old_mask), 0);
  ASSERT_EQ(sigaction(SIGTERM, &ignore, &old_action), 0);
  const bool started = StartProcess(wire::Utf8ToUtf16(program), false);
  sigaction(SIGTERM, &old_action, nullptr);
  pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
  ASSERT_TRUE(started);

  pid_t pid = 0;
  ASSERT_TRUE(Eventually([&] { return (std::ifstream(pid_file) >> pid) && pid > 0; }));
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  const bool stopped = Eventually([&] { return Stopped(pid); });
  if (!stopped) kill(pid, SIGKILL);
  EXPECT_TRUE(stopped) << "SIGTERM did not stop the started program";
}

}  // namespace
}  // namespace vl5::os
