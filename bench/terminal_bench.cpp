// Server-side cost of terminal64 against a canned-reply server, both
// answering the same requests over the same kind of Unix socket in one run.
//
// The canned server replies with the bytes terminal64 itself sent for each
// request, recorded first, so the two differ only in the work of producing a
// reply. Rounds alternate between them. Printed per round: client wall time
// per call, the server's CPU time, and canned / terminal64 (1.00 is the floor).
// Also the first whole-history D1, W1 and MN1 request of a terminal started
// on a fresh data and cache folder and of one restarted on them, and a trading history of 100,000 deals queried in
// process with the old full scan as the baseline.
//
//   terminal_bench TERMINAL64 [--runs N] [--small N] [--small-only] [--no-restart]
//
// --small-only runs the small calls alone, e.g. with TERMINAL64 a script that
// starts terminal64 under callgrind to count its instructions per request;
// --no-restart skips the restart on a saved data folder (for a terminal64
// that saves nothing).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/history_bench.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"

namespace {

using Bytes = std::string;

constexpr std::uint32_t kCmdHello = vl5::wire::kCmdHello;
constexpr std::uint32_t kCmdCopyRatesFromPos = vl5::wire::kCmdCopyRatesFromPos;
constexpr std::uint32_t kCmdSymbolInfoTick = vl5::wire::kCmdSymbolInfoTick;

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double ThreadCpu() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Whether a thread runs only on otherwise idle CPU (scheduling policy 5):
// terminal64's background fill, which no request waits for.
bool IdleThread(const std::string& task) {
  FILE* f = std::fopen((task + "/stat").c_str(), "r");
  if (f == nullptr) return false;
  char line[1024] = {};
  const bool read = std::fgets(line, sizeof(line), f) != nullptr;
  std::fclose(f);
  const char* p = read ? std::strrchr(line, ')') : nullptr;
  for (int field = 2; p != nullptr && field < 41; ++field) p = std::strchr(p + 1, ' ');
  return p != nullptr && std::atoi(p + 1) == 5;
}

// CPU seconds of the threads of a process that serve requests, from the
// scheduler's nanosecond counters.
double ProcessCpu(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0.0;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == '.' || IdleThread(tasks + "/" + entry->d_name)) continue;
      if (FILE* f = std::fopen((tasks + "/" + entry->d_name + "/schedstat").c_str(), "r")) {
        unsigned long long ns = 0;
        if (std::fscanf(f, "%llu", &ns) == 1) total += 1e-9 * static_cast<double>(ns);
        std::fclose(f);
      }
    }
    closedir(dir);
  }
  return total;
}

void Put32(Bytes* b, std::uint32_t v) { b->append(reinterpret_cast<const char*>(&v), 4); }

Bytes Counted(const char* ascii) {
  Bytes b;
  Put32(&b, static_cast<std::uint32_t>(std::strlen(ascii)));
  for (const char* p = ascii; *p != '\0'; ++p) b.append({*p, '\0'});
  return b;
}

Bytes Frame(std::uint32_t command, const Bytes& payload) {
  Bytes b;
  Put32(&b, static_cast<std::uint32_t>(4 + payload.size()));
  Put32(&b, command);
  return b + payload;
}

bool ReadAll(int fd, void* data, std::size_t n) {
  auto* p = static_cast<char*>(data);
  while (n > 0) {
    const ssize_t got = read(fd, p, n);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const void* data, std::size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    const ssize_t put = write(fd, p, n);
    if (put <= 0) return false;
    p += put;
    n -= static_cast<std::size_t>(put);
  }
  return true;
}

// One whole frame: the length and what it counts.
bool ReadFrame(int fd, Bytes* frame) {
  std::uint32_t length = 0;
  if (!ReadAll(fd, &length, 4)) return false;
  frame->assign(4 + length, '\0');
  std::memcpy(frame->data(), &length, 4);
  return ReadAll(fd, frame->data() + 4, length);
}

int Connect(const std::string& address) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", address.c_str());
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    std::perror("connect");
    std::exit(1);
  }
  return fd;
}

// Sends a request and reads its reply into `reply` (reused, so the client
// allocates nothing per call).
Bytes Call(int fd, const Bytes& request, Bytes* reply) {
  if (!WriteAll(fd, request.data(), request.size()) || !ReadFrame(fd, reply)) {
    std::fprintf(stderr, "exchange failed\n");
    std::exit(1);
  }
  return *reply;
}

struct Terminal {
  pid_t pid = -1;
  std::string address;
};

Terminal Start(const std::string& exe, const std::string& folder) {
  const std::string copy = folder + "/terminal64";
  std::system(("cp '" + exe + "' '" + copy + "'").c_str());
  int out[2];
  if (pipe(out) != 0) std::exit(1);
  Terminal t;
  t.pid = fork();
  if (t.pid == 0) {
    dup2(out[1], 1);
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);  // a fresh folder: a cold cache
    execl(copy.c_str(), copy.c_str(), "--clock", "1700000000", "--idle-exit", "120", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::string line;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
  close(out[0]);
  const std::size_t at = line.find("serving ");
  if (at == std::string::npos) {
    std::fprintf(stderr, "terminal64 did not start: %s\n", line.c_str());
    std::exit(1);
  }
  t.address = line.substr(at + 8);
  return t;
}

void Stop(const Terminal& t) {
  kill(t.pid, SIGTERM);
  waitpid(t.pid, nullptr, 0);
}

// Answers every request with the reply recorded for it.
class CannedServer {
 public:
  CannedServer(std::string path, std::map<Bytes, Bytes> replies)
      : path_(std::move(path)), replies_(std::move(replies)) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof(addr.sun_path), "%s", path_.c_str());
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(listener_, 1) != 0) {
      std::perror("canned server");
      std::exit(1);
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~CannedServer() {
    thread_.join();
    close(listener_);
  }
  const std::string& path() const { return path_; }
  double cpu() const { return cpu_.load(); }

 private:
  void Serve() {
    const int fd = accept(listener_, nullptr, nullptr);
    Bytes request;
    while (ReadFrame(fd, &request)) {
      const auto it = replies_.find(request);
      if (it == replies_.end() || !WriteAll(fd, it->second.data(), it->second.size())) break;
      cpu_.store(ThreadCpu());
    }
    close(fd);
  }

  std::string path_;
  std::map<Bytes, Bytes> replies_;
  int listener_ = -1;
  std::thread thread_;
  std::atomic<double> cpu_{0.0};
};

struct Sample {
  double wall = 0.0;
  double server_cpu = 0.0;
};

template <typename Work>
Sample Measure(Work work, const std::function<double()>& server_cpu) {
  const double cpu = server_cpu();
  const double wall = Now();
  work();
  return Sample{Now() - wall, server_cpu() - cpu};
}

void PrintRow(const char* name, int round, const Sample& canned, const Sample& ours, double scale, const char* unit) {
  std::printf(
      "%-26s run %d  canned wall %8.3f cpu %8.3f  terminal64 wall %8.3f cpu %8.3f %s  "
      "canned/terminal64 wall %.3f cpu %.3f\n",
      name, round, canned.wall * scale, canned.server_cpu * scale, ours.wall * scale, ours.server_cpu * scale, unit,
      canned.wall / ours.wall, canned.server_cpu / ours.server_cpu);
}

// Seconds of the first and of a repeated whole-history request of a terminal
// just started in `folder`.
std::pair<double, double> FirstAndAgain(const std::string& exe, const std::string& folder, std::int32_t timeframe,
                                        bool wait_for_save, std::size_t* bars) {
  const Terminal t = Start(exe, folder);
  const int fd = Connect(t.address);
  Bytes reply;
  Bytes hello;
  Put32(&hello, 3);
  Call(fd, Frame(kCmdHello, hello + Counted("bench")), &reply);
  Bytes query = Counted("EURUSD");
  Put32(&query, static_cast<std::uint32_t>(timeframe));
  Put32(&query, 0);
  Put32(&query, 100000);
  const Bytes request = Frame(kCmdCopyRatesFromPos, query);
  const double first = Now();
  Call(fd, request, &reply);
  const double first_wall = Now() - first;
  *bars = (reply.size() - 16) / 60;
  const double again = Now();
  Call(fd, request, &reply);
  const double again_wall = Now() - again;
  close(fd);
  Stop(t);  // a clean stop keeps the days the requests computed in the cache folder
  if (wait_for_save && std::system(("find '" + folder + "/cache' -name 'EURUSD-*.days' | grep -q .").c_str()) != 0) {
    std::fprintf(stderr, "no daily bars kept in %s/cache\n", folder.c_str());
  }
  return {first_wall, again_wall};
}

void FirstLongBars(const std::string& exe, const std::string& folder, int runs, bool restart) {
  const struct {
    const char* name;
    std::int32_t timeframe;
  } kFrames[] = {{"D1", vl5::wire::TIMEFRAME_D1}, {"W1", vl5::wire::TIMEFRAME_W1}, {"MN1", vl5::wire::TIMEFRAME_MN1}};
  for (int round = 0; round < runs; ++round) {
    for (const auto& frame : kFrames) {
      const std::string fresh = folder + "/" + frame.name + std::to_string(round);
      mkdir(fresh.c_str(), 0700);
      std::size_t bars = 0;
      const auto cold = FirstAndAgain(exe, fresh, frame.timeframe, restart, &bars);
      const auto saved = restart ? FirstAndAgain(exe, fresh, frame.timeframe, false, &bars) : std::make_pair(0.0, 0.0);
      std::printf(
          "first whole-history %-3s  run %d  %zu bars  fresh data folder: first %8.4f s  again %8.4f s   "
          "restarted: first %8.4f s\n",
          frame.name, round, bars, cold.first, cold.second, saved.first);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: terminal_bench TERMINAL64 [--runs N] [--small N]\n");
    return 2;
  }
  const std::string exe = argv[1];
  int runs = 5, small = 20000;
  bool small_only = false, restart = true;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--small-only") == 0) small_only = true;
    if (std::strcmp(argv[i], "--no-restart") == 0) restart = false;
    if (i + 1 < argc && std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[++i]);
    if (i + 1 < argc && std::strcmp(argv[i], "--small") == 0) small = std::atoi(argv[++i]);
  }
  signal(SIGPIPE, SIG_IGN);
  char folder_template[] = "/tmp/vl5tb-XXXXXX";
  const std::string folder = mkdtemp(folder_template);

  const Terminal t = Start(exe, folder);
  const int ours = Connect(t.address);
  Bytes hello;
  Put32(&hello, 3);
  const Bytes requests[] = {
      Frame(kCmdHello, hello + Counted("bench")),
      Frame(kCmdSymbolInfoTick, Counted("EURUSD")),
      [] {
        Bytes q = Counted("EURUSD");
        for (std::uint32_t v : {1u, 0u, 1000000u}) Put32(&q, v);
        return Frame(kCmdCopyRatesFromPos, q);
      }(),
  };
  std::map<Bytes, Bytes> replies;
  Bytes reply;
  for (const Bytes& request : requests) {
    if (small_only && request == requests[2]) continue;
    replies[request] = Call(ours, request, &reply);
  }
  CannedServer canned(folder + "/canned", replies);
  const int floor = Connect(canned.path());
  Call(floor, requests[0], &reply);

  const auto terminal_cpu = [&] { return ProcessCpu(t.pid); };
  const auto canned_cpu = [&] { return canned.cpu(); };
  const auto ticks = [&](int fd) {
    return [&, fd] {
      for (int i = 0; i < small; ++i) Call(fd, requests[1], &reply);
    };
  };
  const auto bars = [&](int fd) { return [&, fd] { Call(fd, requests[2], &reply); }; };
  std::printf("symbol_info_tick: %d calls per run, times in us per call; 1M M1 bars: times in s\n", small);
  for (int round = 0; round < runs; ++round) {
    const Sample c = Measure(ticks(floor), canned_cpu);
    const Sample o = Measure(ticks(ours), terminal_cpu);
    PrintRow("symbol_info_tick", round, c, o, 1e6 / small, "us");
  }
  for (int round = 0; round < runs && !small_only; ++round) {
    const Sample c = Measure(bars(floor), canned_cpu);
    const Sample o = Measure(bars(ours), terminal_cpu);
    PrintRow("copy_rates_from_pos 1M M1", round, c, o, 1.0, "s ");
  }
  close(floor);
  close(ours);
  Stop(t);

  if (!small_only) {
    FirstLongBars(exe, folder, std::max(1, runs / 2), restart);
    vl5::bench::HistoryQueries(runs);
  }
  std::system(("rm -rf '" + folder + "'").c_str());
  return 0;
}
