// Hostile local clients against a running terminal64 (built with the
// sanitizers): malformed lengths and bodies, unknown commands, huge ranges and
// counts, disconnects in the middle of a request and of a reply, stalls, clients
// that ask for a large reply and stop reading it, and many idle clients, while
// one well-behaved client checks that it keeps getting the same correct answers.
// The terminal is then stopped with SIGTERM and must exit cleanly without a
// sanitizer report.
//
//   vl5_hostile_clients TERMINAL64 SECONDS [SEED]
//
// Prints the count of attacks and answers; exits non-zero on any failure.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/text.h"
#include "tests/cpp/terminal/request_helpers.h"

namespace {

using namespace vl5;
using terminal::testing::Bytes;
using terminal::testing::Request;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kClock = 1700000000;
constexpr int kIdleClients = 100;  // the terminal serves 128 at once
constexpr int kHostileThreads = 4;
constexpr std::uint32_t kStallMs = 2000;
// The terminal drops a client that takes no byte of its reply for 10 s; a
// client that stopped reading is checked once this long has passed.
constexpr std::int64_t kDeafCheckMs = 13000;
constexpr std::size_t kMaxDeaf = 8;  // parked at once, within the places left

std::atomic<bool> g_stop{false};
std::atomic<long> g_attacks{0};
std::atomic<long> g_good{0};
std::atomic<long> g_wrong{0};
std::atomic<long> g_bad_echo{0};
std::atomic<long> g_deaf_dropped{0};  // clients that stopped reading, dropped by the terminal
std::atomic<long> g_deaf_kept{0};     // ... or given their whole reply all the same
std::atomic<std::int64_t> g_last_good_ms{0};

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
}

os::PipeHandle Connect(const std::u16string& address) {
  std::uint32_t error = 0;
  return os::OpenPipe(address, &error);
}

bool Send(os::PipeHandle pipe, const Bytes& bytes) {
  std::uint32_t error = 0;
  return os::WritePipe(pipe, bytes.data(), bytes.size(), &error);
}

// One whole reply frame, or empty when the pipe broke.
Bytes ReadReply(os::PipeHandle pipe) {
  std::uint32_t error = 0;
  Bytes reply(4);
  if (!os::ReadPipe(pipe, reply.data(), 4, &error)) return {};
  reply.resize(4 + std::size_t{wire::Load<std::uint32_t>(reply.data(), 0)});
  if (!os::ReadPipe(pipe, reply.data() + 4, reply.size() - 4, &error)) return {};
  return reply;
}

// ---- the well-behaved client ---------------------------------------------------------

// Requests whose answers no other client can change: the clock stands still.
std::vector<Bytes> Probes() {
  return {Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick),
          Request()
              .Str(u"USDJPY")
              .Add<std::int32_t>(wire::TIMEFRAME_M15)
              .Add<std::int32_t>(0)
              .Add<std::int32_t>(200)
              .Frame(wire::kCmdCopyRatesFromPos),
          Request()
              .Str(u"EURUSD")
              .Add<std::int64_t>(kClock * 1000 - 600000)
              .Add<std::int32_t>(100)
              .Add<std::int32_t>(-1)
              .Frame(wire::kCmdCopyTicksFrom),
          Request().Frame(wire::kCmdSymbolsTotal)};
}

void WellBehaved(const std::u16string& address) {
  const std::vector<Bytes> probes = Probes();
  std::vector<Bytes> expected;
  os::PipeHandle pipe = Connect(address);
  for (const Bytes& probe : probes) {
    Bytes reply = Send(pipe, probe) ? ReadReply(pipe) : Bytes{};
    // A success status and a reply of some substance: the reference answer.
    if (reply.size() < 16 || wire::Load<std::int32_t>(reply.data(), 8) < 0) {
      std::fprintf(stderr, "well-behaved client: first answer of %zu bytes, status %d\n", reply.size(),
                   reply.size() >= 12 ? wire::Load<std::int32_t>(reply.data(), 8) : 0);
      ++g_wrong;
    }
    expected.push_back(reply);
  }
  while (!g_stop) {
    for (std::size_t i = 0; i < probes.size() && !g_stop; ++i) {
      const Bytes reply = Send(pipe, probes[i]) ? ReadReply(pipe) : Bytes{};
      if (reply != expected[i]) {
        ++g_wrong;
        std::fprintf(stderr, "well-behaved client: probe %zu answered %zu bytes, expected %zu\n", i, reply.size(),
                     expected[i].size());
        if (reply.empty()) {  // dropped: come back, as a client would
          os::ClosePipe(pipe);
          pipe = Connect(address);
        }
      } else {
        ++g_good;
      }
      g_last_good_ms = NowMs();
    }
  }
  os::ClosePipe(pipe);
}

// ---- clients that stop reading ---------------------------------------------------------

// Pipes that asked for a large reply and read none of it, with the time they asked.
struct Deaf {
  os::PipeHandle pipe;
  std::int64_t asked_ms;
  std::size_t reply_size;
};
std::mutex g_deaf_mutex;
std::vector<Deaf> g_deaf;

// By now the terminal must have dropped it: what is still buffered arrives,
// then the pipe ends short of the reply.
void CheckDeaf(const Deaf& deaf) {
  Bytes some(64 * 1024);
  std::size_t got = 0;
  std::uint32_t error = 0;
  for (std::size_t piece = some.size(); got < deaf.reply_size; got += piece) {
    piece = std::min(some.size(), deaf.reply_size - got);
    if (!os::ReadPipe(deaf.pipe, some.data(), piece, &error)) break;
  }
  if (got < deaf.reply_size) {
    ++g_deaf_dropped;
  } else {
    ++g_deaf_kept;
    std::fprintf(stderr, "a client that stopped reading for %lld ms got its whole reply\n",
                 static_cast<long long>(NowMs() - deaf.asked_ms));
  }
  os::ClosePipe(deaf.pipe);
}

// Checks the parked pipes that have waited long enough.
void CheckDeafClients() {
  std::vector<Deaf> due;
  {
    std::lock_guard<std::mutex> lock(g_deaf_mutex);
    for (auto it = g_deaf.begin(); it != g_deaf.end();) {
      if (NowMs() - it->asked_ms >= kDeafCheckMs) {
        due.push_back(*it);
        it = g_deaf.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const Deaf& deaf : due) CheckDeaf(deaf);
}

// ---- hostile clients --------------------------------------------------------------------

class Hostile {
 public:
  Hostile(std::u16string address, std::uint64_t seed) : address_(std::move(address)), random_(seed) {}

  void Run() {
    while (!g_stop) {
      CheckDeafClients();
      os::PipeHandle pipe = Connect(address_);
      if (pipe == os::kInvalidPipe) continue;
      bool parked = false;
      switch (Pick(8)) {
        case 0:
          BadLength(pipe);
          break;
        case 1:
          RandomRequest(pipe, true);
          break;
        case 2:
          RandomRequest(pipe, false);
          break;
        case 3:
          HugeRequest(pipe);
          break;
        case 4:
          LeaveMidRequest(pipe);
          break;
        case 5:
          LeaveMidReply(pipe);
          break;
        case 6:
          Stall(pipe);
          break;
        case 7:
          parked = StopReading(pipe);
          break;
      }
      if (!parked) os::ClosePipe(pipe);
      ++g_attacks;
    }
  }

 private:
  std::uint64_t Pick(std::uint64_t n) { return random_() % n; }
  Bytes Noise(std::size_t n) {
    Bytes bytes(n);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random_());
    return bytes;
  }
  // Any served command but those that change what the well-behaved client sees.
  std::uint32_t Command(bool known) {
    static const std::uint32_t kCommands[] = {
        wire::kCmdVersion,       wire::kCmdHello,           wire::kCmdCopyTicksFrom,    wire::kCmdCopyTicksRange,
        wire::kCmdCopyRatesFrom, wire::kCmdCopyRatesRange,  wire::kCmdCopyRatesFromPos, wire::kCmdTerminalState,
        wire::kCmdPositionsGet,  wire::kCmdOrdersGetTicket, wire::kCmdHistoryOrdersGet, wire::kCmdHistoryDealsGet,
        wire::kCmdOrderCheck,    wire::kCmdOrderSend,       wire::kCmdOrderCalcMargin,  wire::kCmdOrderCalcProfit,
        wire::kCmdSymbolInfo,    wire::kCmdSymbolInfoTick,  wire::kCmdSymbolsGet,       wire::kCmdSymbolsGetGroup,
        wire::kCmdTerminalInfo,  wire::kCmdAccountInfo,     wire::kCmdMarketBookAdd,    wire::kCmdMarketBookGet,
        wire::kCmdClockNow,      wire::kCmdClockAdvanceTo,  wire::kCmdClockNextBar};  // the clock: not stepped here
    if (known) return kCommands[Pick(sizeof(kCommands) / sizeof(kCommands[0]))];
    const auto command = static_cast<std::uint32_t>(random_());
    return command == wire::kCmdLogin || command == wire::kCmdSymbolSelect ? 0 : command;
  }
  // A reply must answer the command it was sent for.
  void Answer(os::PipeHandle pipe, std::uint32_t command) {
    const Bytes reply = ReadReply(pipe);
    if (reply.size() >= 12 && wire::Load<std::uint32_t>(reply.data(), 4) != command) ++g_bad_echo;
  }

  void BadLength(os::PipeHandle pipe) {
    static const std::uint32_t kLengths[] = {0, 1, 2, 3, 1024 * 1024 + 1, 0x7FFFFFFF, 0xFFFFFFFF};
    Request frame;
    frame.Add(kLengths[Pick(7)]).Add(static_cast<std::uint32_t>(wire::kCmdTerminalState));
    Bytes bytes = frame.bytes();
    const Bytes tail = Noise(Pick(64));
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    Send(pipe, bytes);
    std::uint8_t byte = 0;
    std::uint32_t error = 0;
    os::ReadPipe(pipe, &byte, 1, &error);  // the terminal hangs up
  }

  void RandomRequest(os::PipeHandle pipe, bool known) {
    const std::uint32_t command = Command(known);
    Request body;
    const Bytes noise = Noise(Pick(2) == 0 ? Pick(16) : Pick(600));
    for (std::uint8_t b : noise) body.Add(b);
    if (Send(pipe, body.Frame(command))) Answer(pipe, command);
  }

  void HugeRequest(os::PipeHandle pipe) {
    static const std::int64_t kDates[] = {LLONG_MIN, LLONG_MIN + 1, -1, 0, kClock, LLONG_MAX - 1, LLONG_MAX};
    static const std::int32_t kCounts[] = {INT_MAX, INT_MIN, -1, 0, 1, 1000000};
    static const std::int32_t kFrames[] = {
        wire::TIMEFRAME_M1, wire::TIMEFRAME_H12, wire::TIMEFRAME_D1, wire::TIMEFRAME_W1, wire::TIMEFRAME_MN1, 0, -1};
    static const char16_t* kSymbols[] = {u"EURUSD", u"USDJPY", u"KSTL", u"NOPE", u""};
    const std::u16string symbol = kSymbols[Pick(5)];
    auto date = [&] { return kDates[Pick(7)]; };
    auto count = [&] { return kCounts[Pick(6)]; };
    const std::int32_t frame = kFrames[Pick(7)];
    Request r;
    std::uint32_t command = 0;
    switch (Pick(5)) {
      case 0:
        command = wire::kCmdCopyRatesFrom;
        r.Str(symbol).Add(frame).Add(date()).Add(count());
        break;
      case 1:
        command = wire::kCmdCopyRatesRange;
        r.Str(symbol).Add(frame).Add(date()).Add(date());
        break;
      case 2:
        command = wire::kCmdCopyRatesFromPos;
        r.Str(symbol).Add(frame).Add(count()).Add(count());
        break;
      case 3:
        command = wire::kCmdCopyTicksFrom;
        r.Str(symbol).Add(date()).Add(count()).Add(count());
        break;
      default:
        command = wire::kCmdCopyTicksRange;
        r.Str(symbol).Add(date()).Add(date()).Add(count());
        break;
    }
    if (Send(pipe, r.Frame(command))) Answer(pipe, command);
  }

  void LeaveMidRequest(os::PipeHandle pipe) {
    const Bytes frame = Request().Str(u"EURUSD").Add<std::int32_t>(1).Add<std::int32_t>(0).Add<std::int32_t>(50).Frame(
        wire::kCmdCopyRatesFromPos);
    Send(pipe, Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(Pick(frame.size()))));
  }

  void LeaveMidReply(os::PipeHandle pipe) {
    const Bytes frame =
        Request().Str(u"EURUSD").Add<std::int32_t>(1).Add<std::int32_t>(0).Add<std::int32_t>(20000).Frame(
            wire::kCmdCopyRatesFromPos);
    Bytes some(1 + Pick(4096));
    std::uint32_t error = 0;
    if (Send(pipe, frame)) os::ReadPipe(pipe, some.data(), some.size(), &error);
  }

  // Part of a request, then nothing for a while (the terminal drops it in time).
  void Stall(os::PipeHandle pipe) {
    Bytes frame = Request().Frame(wire::kCmdTerminalState);
    wire::Store<std::uint32_t>(frame.data(), 0, static_cast<std::uint32_t>(Pick(1024 * 1024)) + 4);
    Send(pipe, Bytes(frame.begin(), frame.begin() + 1 + static_cast<std::ptrdiff_t>(Pick(frame.size()))));
    for (std::uint32_t waited = 0; waited < kStallMs && !g_stop; waited += 100) os::SleepMs(100);
  }

  // A whole request for 20000 minute bars (1.2 MB), then nothing read: the
  // pipe is parked until the terminal should have dropped it. False when too
  // many are parked already.
  bool StopReading(os::PipeHandle pipe) {
    const Bytes frame = Request()
                            .Str(u"EURUSD")
                            .Add<std::int32_t>(wire::TIMEFRAME_M1)
                            .Add<std::int32_t>(0)
                            .Add<std::int32_t>(20000)
                            .Frame(wire::kCmdCopyRatesFromPos);
    std::lock_guard<std::mutex> lock(g_deaf_mutex);
    if (g_deaf.size() >= kMaxDeaf || !Send(pipe, frame)) return false;
    g_deaf.push_back({pipe, NowMs(), 16 + 20000 * 60});
    return true;
  }

  std::u16string address_;
  std::mt19937_64 random_;
};

// ---- the terminal under test ---------------------------------------------------------------

pid_t Launch(const std::string& exe, const std::string& data, const std::string& log) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    const std::string clock = std::to_string(kClock);
    execl(exe.c_str(), exe.c_str(), "--data-dir", data.c_str(), "--clock", clock.c_str(), "--idle-exit", "0",
          "--connect-delay", "0", "--maxbars", "20000", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

// The exit status, or -1 when it did not end within `ms`.
int WaitFor(pid_t pid, int ms) {
  for (int waited = 0; waited <= ms; waited += 50) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    os::SleepMs(50);
  }
  return -1;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TERMINAL64 SECONDS [SEED]\n", argv[0]);
    return 2;
  }
  char resolved[PATH_MAX];
  if (realpath(argv[1], resolved) == nullptr) {
    std::fprintf(stderr, "no terminal at %s\n", argv[1]);
    return 2;
  }
  const int seconds = std::atoi(argv[2]);
  const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  char scratch[] = "/tmp/vl5-hostile-XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 2;
  const std::string root = scratch;
  setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
  setenv("XDG_DATA_HOME", root.c_str(), 1);
  std::u16string address;
  std::uint8_t digest[32];
  if (link::PipeNameFor(wire::Utf8ToUtf16(resolved), &address, digest) != link::PipeNameError::kNone) return 2;

  const std::string log = root + "/terminal.log";
  const pid_t terminal = Launch(resolved, root + "/data", log);
  os::PipeHandle probe = os::kInvalidPipe;
  for (int i = 0; i < 600 && probe == os::kInvalidPipe && WaitFor(terminal, 0) == -1; ++i) {
    os::SleepMs(100);
    probe = Connect(address);
  }
  if (probe == os::kInvalidPipe) {
    std::fprintf(stderr, "terminal64 did not start:\n%s\n", ReadText(log).c_str());
    return 1;
  }
  os::ClosePipe(probe);

  g_last_good_ms = NowMs();
  std::thread good(WellBehaved, address);
  // Idle between requests, so kept: one that never spoke would lose its place.
  std::vector<os::PipeHandle> idle;
  for (int i = 0; i < kIdleClients; ++i) {
    idle.push_back(Connect(address));
    if (Send(idle.back(), Request().Frame(wire::kCmdTerminalState))) ReadReply(idle.back());
  }
  std::vector<std::thread> hostile;
  for (int i = 0; i < kHostileThreads; ++i) {
    hostile.emplace_back(
        [&address, seed, i] { Hostile(address, seed * 1000003 + static_cast<std::uint64_t>(i)).Run(); });
  }
  std::atomic<bool> stalled{false};
  const std::int64_t end = NowMs() + std::int64_t{seconds} * 1000;
  while (NowMs() < end && !stalled) {
    os::SleepMs(200);
    stalled = NowMs() - g_last_good_ms > 30000;  // the well-behaved client got no answer for that long
  }
  g_stop = true;
  // The well-behaved client finishes its exchange; hostile ones may be inside
  // a long one, which the terminal's stop ends. A terminal that keeps even
  // the well-behaved client waiting is ended.
  std::atomic<bool> joined{false};
  std::thread watchdog([&] {
    for (int waited = 0; waited < 60000 && !joined; waited += 100) os::SleepMs(100);
    if (!joined) {
      stalled = true;
      kill(terminal, SIGKILL);
    }
  });
  if (stalled) kill(terminal, SIGKILL);
  good.join();
  joined = true;
  watchdog.join();
  for (os::PipeHandle pipe : idle) os::ClosePipe(pipe);
  kill(terminal, SIGTERM);
  int status = WaitFor(terminal, 30000);
  if (status == -1) {
    kill(terminal, SIGKILL);
    WaitFor(terminal, 5000);
  }
  for (std::thread& t : hostile) t.join();
  for (const Deaf& deaf : g_deaf) os::ClosePipe(deaf.pipe);  // too recent to check

  const std::string output = ReadText(log);
  const bool report =
      output.find("Sanitizer") != std::string::npos || output.find("runtime error") != std::string::npos;
  std::printf(
      "hostile clients: %ld attacks, %ld good answers, %ld wrong answers, %ld wrong echoes, "
      "stopped readers %ld dropped and %ld kept, terminal exit %d%s\n",
      g_attacks.load(), g_good.load(), g_wrong.load(), g_bad_echo.load(), g_deaf_dropped.load(), g_deaf_kept.load(),
      status, stalled ? ", stopped answering" : "");
  const bool failed =
      report || stalled || status != 0 || g_wrong != 0 || g_bad_echo != 0 || g_deaf_kept != 0 || g_good == 0;
  if (failed) std::fprintf(stderr, "terminal64 output:\n%s\n", output.c_str());
  std::string cleanup = "rm -rf '" + root + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
  return failed ? 1 : 0;
}
