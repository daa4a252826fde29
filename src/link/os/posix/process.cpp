// POSIX side of process.h: XDG folders for the roaming application-data
// folder; the terminal started detached, in a session of its own.
#include "src/link/os/process.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef HAVE_SYS_CLOSE_RANGE
#include <sys/syscall.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "src/link/os/posix/fd.h"
#include "src/link/os/posix/user_folder.h"
#include "src/wire/text.h"

namespace vl5::os {

const char16_t kTerminalExecutable[] = u"terminal64";

namespace {

using wire::Utf16ToUtf8;
using wire::Utf8ToUtf16;

// The started terminal must not inherit what the caller did to its signals:
// exec keeps ignored dispositions and the mask, so a caller that blocks or
// ignores SIGTERM would start a terminal that SIGTERM cannot stop.
void DefaultSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &action, nullptr);  // SIGKILL and the like refuse
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

void CloseFrom(int first, int keep) {
  // Descriptors of the Python process must not leak into the terminal.
#ifdef HAVE_SYS_CLOSE_RANGE
  if (keep > first) syscall(SYS_close_range, first, keep - 1, 0);
  if (syscall(SYS_close_range, std::max(first, keep + 1), ~0U, 0) == 0) return;
#endif
  long max = sysconf(_SC_OPEN_MAX);
  for (int fd = first; fd < (max > 0 ? max : 1024); ++fd) {
    if (fd != keep) close(fd);
  }
}

// A pipe whose ends a started program does not inherit.
bool CloseOnExecPipe(Fd* read_end, Fd* write_end) {
  int ends[2] = {-1, -1};
#ifdef HAVE_PIPE2
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  *read_end = Fd(ends[0]);
  *write_end = Fd(ends[1]);
#else
  if (pipe(ends) != 0) return false;
  *read_end = WithDescriptorFlags(ends[0], false);
  *write_end = WithDescriptorFlags(ends[1], false);
#endif
  return *read_end && *write_end;
}

std::atomic<std::uint64_t> g_forks{0};

extern "C" void CountFork() { g_forks.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

std::uint64_t ForkGeneration() {
  static const bool counting = pthread_atfork(nullptr, nullptr, CountFork) == 0;
  if (!counting) return static_cast<std::uint64_t>(getpid());  // no handler: the process id tells instead
  return g_forks.load(std::memory_order_relaxed);
}

std::uint32_t ParentProcessId() { return static_cast<std::uint32_t>(getppid()); }

bool ProcessImagePath(std::uint32_t pid, std::u16string* path) {
#ifdef HAVE_PROC_PID_EXE
  char buffer[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), buffer, sizeof(buffer) - 1);
  if (n <= 0) return false;
  *path = Utf8ToUtf16(std::string(buffer, static_cast<std::size_t>(n)));
  return true;
#else
  // POSIX offers no way to ask which program another process runs.
  (void)pid;
  (void)path;
  return false;
#endif
}

std::u16string CurrentExecutablePath() {
  std::u16string path;
  ProcessImagePath(static_cast<std::uint32_t>(getpid()), &path);
  return path;
}

bool StartProcess(const std::u16string& path, bool portable) {
  // Everything the children use is prepared before fork: after it only
  // async-signal-safe calls are made.
  std::string program = Utf16ToUtf8(path);
  char portable_arg[] = "/portable";
  char* argv[] = {program.data(), portable ? portable_arg : nullptr, nullptr};
  Fd report_read, report_write;
  if (!CloseOnExecPipe(&report_read, &report_write)) return false;
  int report = report_write.get();

  // No handler of this process may run in the children before exec.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  pid_t child = fork();
  if (child == 0) {
    // Double fork: the terminal is adopted by init and never becomes our zombie.
    setsid();
    pid_t grandchild = fork();
    if (grandchild != 0) {
      if (grandchild < 0) {
        int err = errno;
        ssize_t ignored = write(report, &err, sizeof(err));
        (void)ignored;
      }
      _exit(0);
    }
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    CloseFrom(3, report);
    DefaultSignals();
    execv(program.c_str(), argv);
    int err = errno;
    ssize_t ignored = write(report, &err, sizeof(err));
    (void)ignored;
    _exit(127);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (child < 0) return false;
  report_write.Reset();
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // The report pipe closes on a successful exec; an exec failure writes errno.
  int exec_error = 0;
  ssize_t got;
  do {
    got = read(report_read.get(), &exec_error, sizeof(exec_error));
  } while (got < 0 && errno == EINTR);
  return got == 0;
}

bool RoamingAppData(std::u16string* path) {
  std::string base;
  if (!UserFolder("XDG_DATA_HOME", ".local/share", &base)) return false;
  *path = Utf8ToUtf16(base);
  return true;
}

}  // namespace vl5::os
