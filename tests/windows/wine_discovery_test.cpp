// Discovery over the real per-user application data folder: data folders
// with chosen last-write times, origin.txt in UTF-16LE, and the installation
// it names. The folders written here carry times far in the future, so that
// data folders of real installations (or of terminals started by other
// tests) never outrank them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "src/link/channel.h"
#include "src/link/discovery.h"
#include "src/link/os/os.h"
#include "tests/windows/scratch_files.h"

namespace vl5::link {
namespace {

using wine_test::FileTimeOf;
using wine_test::ScratchFolder;
using wine_test::SetLastWriteTime;
using wine_test::U16;
using wine_test::Wide;
using wine_test::WriteBytes;

// What one data folder holds; times are 0 for files that are not written.
struct DataFolderSpec {
  explicit DataFolderSpec(std::wstring folder) : install(std::move(folder)) {}
  DataFolderSpec& Accounts(std::uint64_t time) { return accounts = time, *this; }
  DataFolderSpec& Ini(std::uint64_t time) { return ini = time, *this; }
  DataFolderSpec& Portable(std::uint64_t time) { return portable = time, *this; }
  DataFolderSpec& NoVlms() { return vlms = false, *this; }
  DataFolderSpec& OriginSuffix(std::wstring text) { return origin_suffix = std::move(text), *this; }

  std::wstring install;        // installation folder named by origin.txt
  std::uint64_t accounts = 0;  // config\accounts.dat
  std::uint64_t ini = 0;       // config\terminal.ini
  std::uint64_t portable = 0;  // portable.txt
  bool vlms = true;
  std::wstring origin_suffix;  // text after the folder in origin.txt
};

class WineDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::u16string app_data;
    ASSERT_TRUE(os::RoamingAppData(&app_data));
    // The known folder and the environment the system gives programs agree.
    if (const wchar_t* env = _wgetenv(L"APPDATA")) {
      EXPECT_EQ(lstrcmpiW(Wide(app_data).c_str(), env), 0) << env;
    }
    terminals_ = Wide(app_data) + L"\\Orbisco\\Terminal";
    ASSERT_FALSE(installs_.path().empty());
  }
  void TearDown() override { Client().Disconnect(); }

  // An installation folder holding a terminal executable; returns that executable.
  std::wstring Install(const std::wstring& name) {
    const std::wstring executable = installs_ / (name + L"\\terminal64.exe");
    EXPECT_TRUE(WriteBytes(executable, ""));
    return executable;
  }
  DataFolderSpec Folder(const std::wstring& install_name) { return DataFolderSpec(installs_ / install_name); }

  // A data folder under <AppData>\Orbisco\Terminal, removed after the test.
  void AddDataFolder(const DataFolderSpec& spec) {
    folders_.push_back(std::make_unique<ScratchFolder>(L"vl5-wine-data", terminals_));
    const ScratchFolder& folder = *folders_.back();
    ASSERT_FALSE(folder.path().empty());
    if (spec.vlms) {
      ASSERT_TRUE(CreateDirectoryW((folder / L"VLMS").c_str(), nullptr));
    }
    const struct {
      const wchar_t* name;
      std::uint64_t time;
    } stamped[] = {{L"config\\accounts.dat", spec.accounts},
                   {L"config\\terminal.ini", spec.ini},
                   {L"portable.txt", spec.portable}};
    for (const auto& file : stamped) {
      if (file.time == 0) continue;
      ASSERT_TRUE(WriteBytes(folder / file.name, "x"));
      ASSERT_TRUE(SetLastWriteTime(folder / file.name, file.time));
    }
    ASSERT_TRUE(WriteBytes(folder / L"origin.txt", wine_test::Utf16LeWithBom(spec.install + spec.origin_suffix)));
  }

  std::wstring terminals_;
  ScratchFolder installs_{L"vl5-wine-installs"};
  std::vector<std::unique_ptr<ScratchFolder>> folders_;
};

TEST_F(WineDiscoveryTest, MostRecentlyUsedInstallationWins) {
  Install(L"A");
  const std::wstring b = Install(L"B");
  Install(L"C");
  Install(L"D");
  // A: accounts.dat at 10:00. B: accounts.dat at 09:00, terminal.ini at 11:00.
  AddDataFolder(Folder(L"A").Accounts(FileTimeOf(2099, 1, 1, 10)));
  AddDataFolder(Folder(L"B").Accounts(FileTimeOf(2099, 1, 1, 9)).Ini(FileTimeOf(2099, 1, 1, 11)));
  // Newer still, but not usable: no VLMS folder; origin.txt ending in a line break.
  AddDataFolder(Folder(L"C").Ini(FileTimeOf(2099, 1, 1, 12)).NoVlms());
  AddDataFolder(Folder(L"D").Ini(FileTimeOf(2099, 1, 1, 13)).OriginSuffix(L"\r\n"));

  Candidate best;
  ASSERT_TRUE(FindInstalledTerminal(&best).ok());
  EXPECT_EQ(Wide(best.path), b);
  EXPECT_EQ(best.last_used, FileTimeOf(2099, 1, 1, 11));
  EXPECT_FALSE(best.portable);
}

TEST_F(WineDiscoveryTest, PortableInstallationNeedsNoVlmsFolder) {
  Install(L"Regular");
  const std::wstring portable = Install(L"Portable");
  AddDataFolder(Folder(L"Regular").Accounts(FileTimeOf(2098, 6, 1, 8)));
  AddDataFolder(Folder(L"Portable").Portable(FileTimeOf(2098, 6, 1, 9)).NoVlms());

  Candidate best;
  ASSERT_TRUE(FindInstalledTerminal(&best).ok());
  EXPECT_EQ(Wide(best.path), portable);
  EXPECT_EQ(best.last_used, FileTimeOf(2098, 6, 1, 9));
  EXPECT_TRUE(best.portable);
}

}  // namespace
}  // namespace vl5::link
