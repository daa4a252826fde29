// The link against the cross-built terminal64.exe, started by the link
// itself. The launch passes no arguments, so the installation gets a data
// folder beforehand whose terminal.ini sets a short idle exit (the terminal
// then stops by itself once the tests let go of it) and a build number that
// shows the file was read.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tests/windows/child_processes.h"
#include "src/link/channel.h"
#include "src/link/discovery.h"
#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "src/link/protocol.h"
#include "tests/windows/scratch_files.h"
#include "terminal/server/data_folder.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/records.h"
#include "src/wire/status.h"
#include "src/wire/text.h"

namespace vl5::link {
namespace {

using wine_test::ScratchFolder;
using wine_test::U16;
using wine_test::Wide;

constexpr std::uint32_t kBuild = 4321;
constexpr char16_t kSymbol[] = u"EURUSD";

// The terminal64.exe of this build, or the one VL5_TERMINAL64 names.
std::wstring BuiltTerminal() {
  if (const wchar_t* path = _wgetenv(L"VL5_TERMINAL64")) return path;
  const std::string built = VL5_TERMINAL64_BUILT;
  return std::wstring(built.begin(), built.end());  // a build path: ASCII in practice
}

class WineTerminalTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    install_ = std::make_unique<ScratchFolder>(L"vl5-wine-terminal");
    if (install_->path().empty()) {
      problem_ = "cannot create an installation folder";
      return;
    }
    executable_ = *install_ / L"terminal64.exe";
    const std::wstring built = BuiltTerminal();
    if (!CopyFileW(built.c_str(), executable_.c_str(), FALSE)) {
      const DWORD error = GetLastError();
      problem_ = "cannot copy " + wire::Utf16ToUtf8(U16(built)) + ": error " + std::to_string(error);
      return;
    }
    terminal::Installation installation;
    std::u16string data_folder;
    std::string error;
    if (!terminal::DescribeInstallationAt(U16(executable_), &installation, &error) ||
        !terminal::DefaultDataFolder(installation, &data_folder, &error)) {
      problem_ = error;
      return;
    }
    data_folder_ = Wide(data_folder);
    const std::string ini = "[Terminal]\nidle_exit=5\nbuild=" + std::to_string(kBuild) + "\n";
    if (!wine_test::WriteBytes(data_folder_ + L"\\config\\terminal.ini", ini)) {
      problem_ = "cannot write terminal.ini";
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    if (Outcome launched = ConnectOrLaunch(U16(executable_), false); !launched.ok()) {
      problem_ = "launch failed: " + wire::Utf16ToUtf8(launched.detail);
      return;
    }
    launch_ms_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  }

  static void TearDownTestSuite() {
    Client().Disconnect();
    // Nothing connected: each terminal stops after its idle time of 5 s.
    for (std::uint32_t pid : wine_test::ChildProcesses(L"terminal64.exe")) {
      if (!wine_test::AwaitOrTerminate(pid, 20000)) {
        ADD_FAILURE() << "terminal64.exe " << pid << " outlived its idle time";
      }
    }
    std::error_code ec;
    if (!data_folder_.empty()) std::filesystem::remove_all(std::filesystem::path(data_folder_), ec);
    install_.reset();
  }

  void SetUp() override {
    ASSERT_TRUE(problem_.empty()) << problem_;
    // A test that failed midway may have dropped the connection.
    if (!Client().Connected()) {
      Outcome launched = ConnectOrLaunch(U16(executable_), false);
      ASSERT_TRUE(launched.ok()) << wire::Utf16ToUtf8(launched.detail);
    }
  }

  static inline std::unique_ptr<ScratchFolder> install_;
  static inline std::wstring executable_;
  static inline std::wstring data_folder_;
  static inline std::string problem_;
  static inline std::int64_t launch_ms_ = 0;
};

std::int32_t Hello(std::uint32_t* build) {
  return Exchange(Request(wire::kCmdHello).Value(wire::kHelloWord).Counted(wire::kHelloClientName),
                  Reply::Value(build));
}

std::int32_t State(std::uint32_t* state) { return Exchange(Request(wire::kCmdTerminalState), Reply::Value(state)); }

struct Version {
  std::uint32_t major = 0;
  std::uint32_t build = 0;
  std::u16string text;
};

std::int32_t QueryVersion(Version* version) {
  std::uint32_t numbers[2] = {};
  TextBlock text;
  const std::int32_t result = Exchange(Request(wire::kCmdVersion).Value(wire::kVersionWord),
                                       Reply::RecordAndText(numbers, sizeof(numbers), &text));
  version->major = numbers[0];
  version->build = numbers[1];
  version->text = std::u16string(text.View());
  return result;
}

TEST_F(WineTerminalTest, LaunchedTerminalAnswersHelloStateAndVersion) {
  RecordProperty("launch_ms", std::to_string(launch_ms_));
  const std::vector<std::uint32_t> children = wine_test::ChildProcesses(L"terminal64.exe");
  ASSERT_EQ(children.size(), 1u);
  // What discovery compares when a terminal started the calling process.
  std::u16string image;
  ASSERT_TRUE(os::ProcessImagePath(children[0], &image));
  EXPECT_EQ(os::NormalizePath(image, kMaxPathUnits - 1), os::NormalizePath(U16(executable_), kMaxPathUnits));

  std::uint32_t build = 0;
  EXPECT_EQ(Hello(&build), wire::kSuccess);
  EXPECT_EQ(build, kBuild) << "terminal.ini of the data folder was not read";

  std::uint32_t state = 0;
  for (int poll = 0; poll < 100 && state != wire::kStateReady; ++poll) {
    ASSERT_EQ(State(&state), wire::kSuccess);
    if (state != wire::kStateReady) os::SleepMs(100);
  }
  EXPECT_EQ(state, wire::kStateReady);

  Version version;
  ASSERT_EQ(QueryVersion(&version), wire::kSuccess);
  EXPECT_EQ(version.build, kBuild);
  EXPECT_GT(version.major, 0u);
  EXPECT_EQ(wire::Utf16ToUtf8(version.text), "5.00 build " + std::to_string(kBuild));
}

TEST_F(WineTerminalTest, RunningTerminalIsFoundAgainWithoutAnotherStart) {
  // By its path: connects to the running one, starts nothing.
  Client().Disconnect();
  Outcome launched = ConnectOrLaunch(U16(executable_), false);
  ASSERT_TRUE(launched.ok()) << wire::Utf16ToUtf8(launched.detail);
  EXPECT_EQ(wine_test::ChildProcesses(L"terminal64.exe").size(), 1u);
  std::uint32_t build = 0;
  EXPECT_EQ(Hello(&build), wire::kSuccess);

  // Without a path: its registration makes it the most recently used
  // installation, whatever spelling of its path the terminal recorded.
  Candidate best;
  ASSERT_TRUE(FindInstalledTerminal(&best).ok());
  EXPECT_EQ(os::NormalizePath(best.path, kMaxPathUnits), os::NormalizePath(U16(executable_), kMaxPathUnits));
  EXPECT_FALSE(best.portable);
}

TEST_F(WineTerminalTest, BarsArriveAsARecordListLargerThanTheBuffer) {
  constexpr std::int32_t kCount = 3000;
  std::vector<std::uint8_t> records;
  std::uint32_t count = 0;
  auto allocate = [&](std::uint32_t n) -> void* {
    records.resize(std::size_t{n} * wire::kRateRecordSize + 1);
    return records.data();
  };
  const std::int32_t result = Exchange(Request(wire::kCmdCopyRatesFromPos)
                                           .Counted(kSymbol)
                                           .Value<std::int32_t>(wire::TIMEFRAME_M1)
                                           .Value<std::int32_t>(0)
                                           .Value<std::int32_t>(kCount),
                                       Reply::List(wire::kRateRecordSize, allocate, &count));
  ASSERT_EQ(result, wire::kSuccess);
  ASSERT_EQ(count, static_cast<std::uint32_t>(kCount));
  ASSERT_GT(std::size_t{count} * wire::kRateRecordSize, 16384u);

  // Whole, consistent bars on minute boundaries, in order: nothing was lost or shifted.
  std::int64_t previous = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* bar = records.data() + std::size_t{i} * wire::kRateRecordSize;
    const auto time = wire::Load<std::int64_t>(bar, 0);
    const auto open = wire::Load<double>(bar, 8), high = wire::Load<double>(bar, 16);
    const auto low = wire::Load<double>(bar, 24), close = wire::Load<double>(bar, 32);
    ASSERT_EQ(time % 60, 0) << "bar " << i;
    if (i > 0) {
      ASSERT_GT(time, previous) << "bar " << i;
    }
    ASSERT_TRUE(low > 0 && low <= open && low <= close && high >= open && high >= close) << "bar " << i;
    previous = time;
  }

  // The reply was consumed exactly: the next exchange reads its own reply.
  std::uint32_t build = 0;
  EXPECT_EQ(Hello(&build), wire::kSuccess);
  EXPECT_EQ(build, kBuild);
}

TEST_F(WineTerminalTest, SymbolInfoIsTheFullRecord) {
  auto body = std::make_unique<RecordBody<wire::kSymbolInfoSize>>();
  const std::int32_t result = Exchange(Request(wire::kCmdSymbolInfo).Counted(kSymbol), Reply::Record(body.get()));
  ASSERT_EQ(result, wire::kSuccess);
  const std::uint8_t* record = body->Record();
  const wire::Field* name = wire::FindField(wire::kSymbolInfoFields, "name");
  ASSERT_NE(name, nullptr);
  std::u16string text(name->size / 2, u'\0');
  std::memcpy(text.data(), record + name->offset, name->size);
  text.resize(wire::BoundedLength(text.data(), text.size()));
  EXPECT_EQ(text, kSymbol);
  EXPECT_GT(wire::Load<double>(record, wire::FindField(wire::kSymbolInfoFields, "bid")->offset), 0.0);
}

}  // namespace
}  // namespace vl5::link
