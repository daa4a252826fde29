// Choosing a terminal installation from the per-user data folders.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "src/link/channel.h"
#include "src/link/discovery.h"
#include "tests/cpp/posix_fixture.h"
#include "src/wire/text.h"

namespace vl5::link {
namespace {

using test_support::MakeDirs;
using test_support::WriteFile;

constexpr std::int64_t kTen = 1700035200;  // some day at 10:00 UTC
constexpr std::int64_t kEleven = kTen + 3600;

std::uint64_t FileTime(std::int64_t unix_seconds) {
  return (static_cast<std::uint64_t>(unix_seconds) + 11644473600ULL) * 10000000ULL;
}

std::string Utf16Le(const std::string& utf8) {
  std::string out;
  for (char16_t unit : wire::Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  }
  return out;
}

const std::string kBom = "\xFF\xFE";

void SetTime(const std::string& path, std::int64_t unix_seconds) {
  if (access(path.c_str(), F_OK) != 0) WriteFile(path, "x");
  timeval times[2] = {{static_cast<time_t>(unix_seconds), 0}, {static_cast<time_t>(unix_seconds), 0}};
  ASSERT_EQ(utimes(path.c_str(), times), 0) << path;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Client().Disconnect();  // clears the detail text
    base_ = dir_ / "data/Orbisco/Terminal";
    MakeDirs(base_);
  }

  // An installation folder holding an executable terminal64.
  std::string Install(const std::string& name) {
    std::string folder = dir_ / ("installs/" + name);
    MakeDirs(folder);
    WriteFile(folder + "/terminal64", "#!/bin/sh\n");
    chmod((folder + "/terminal64").c_str(), 0755);
    return folder;
  }

  // A data folder whose origin.txt points at `install`.
  std::string DataFolder(const std::string& name, const std::string& install, bool vlms = true) {
    std::string folder = base_ + "/" + name;
    MakeDirs(folder + "/config");
    if (vlms) MakeDirs(folder + "/VLMS");
    WriteFile(folder + "/origin.txt", kBom + Utf16Le(install));
    chmod((folder + "/origin.txt").c_str(), 0644);  // whatever the umask
    return folder;
  }

  // The chosen candidate; empty when none, which must then be reported.
  Candidate Find() {
    Candidate found;
    Outcome outcome = FindInstalledTerminal(&found);
    EXPECT_EQ(outcome.ok(), !found.path.empty());
    if (!outcome.ok()) {
      EXPECT_EQ(outcome.detail, u"Velmora 5 x64 not found");
    }
    return found;
  }

  static std::u16string SkipReason(const std::string& folder) {
    Candidate ignored;
    return ExamineDataFolder(wire::Utf8ToUtf16(folder), &ignored).detail;
  }

  static std::u16string Executable(const std::string& install) { return wire::Utf8ToUtf16(install + "/terminal64"); }

  test_support::TempDir dir_;
  test_support::ScopedEnv data_home_{"XDG_DATA_HOME", dir_ / "data"};
  std::string base_;
};

TEST_F(DiscoveryTest, MostRecentlyUsedInstallationWins) {
  struct Case {
    const char* what;
    // Last-write times of config/accounts.dat and config/terminal.ini; 0: no file.
    std::int64_t a_accounts, a_ini, b_accounts, b_ini;
    bool first_wins;
    std::int64_t time;
  };
  const Case cases[] = {
      {"accounts.dat older in the first, terminal.ini newer in the second", kTen, 0, 0, kEleven, false, kEleven},
      {"the first newer", kEleven, 0, 0, kTen, true, kEleven},
      {"equal times keep the first", kTen, 0, 0, kTen, true, kTen},
      {"the later of the two files counts", kEleven + 60, kTen, 0, kEleven, true, kEleven + 60},
      {"terminal.ini later than accounts.dat", kTen - 60, kEleven + 60, kEleven, 0, true, kEleven + 60},
      {"no files at all, then one", 0, 0, kTen, 0, false, kTen},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test_support::TempDir dir;
    test_support::ScopedEnv home("XDG_DATA_HOME", dir.path());
    base_ = dir / "Orbisco/Terminal";
    std::string first = DataFolder("A", Install("first"));
    std::string second = DataFolder("B", Install("second"));
    if (c.a_accounts) SetTime(first + "/config/accounts.dat", c.a_accounts);
    if (c.a_ini) SetTime(first + "/config/terminal.ini", c.a_ini);
    if (c.b_accounts) SetTime(second + "/config/accounts.dat", c.b_accounts);
    if (c.b_ini) SetTime(second + "/config/terminal.ini", c.b_ini);

    Candidate found = Find();
    EXPECT_EQ(found.path, Executable(dir_ / (c.first_wins ? "installs/first" : "installs/second")));
    EXPECT_EQ(found.last_used, FileTime(c.time));
    EXPECT_FALSE(found.portable);
  }
}

TEST_F(DiscoveryTest, PortableFolderNeedsNoVlmsAndTakesItsMarkersTime) {
  std::string folder = DataFolder("P", Install("portable"), /*vlms=*/false);
  SetTime(folder + "/portable.txt", kTen);
  SetTime(folder + "/config/terminal.ini", kEleven);  // not consulted for a portable folder
  Candidate found = Find();
  EXPECT_EQ(found.path, Executable(dir_ / "installs/portable"));
  EXPECT_TRUE(found.portable);
  EXPECT_EQ(found.last_used, FileTime(kTen));
}

TEST_F(DiscoveryTest, FoldersWithoutVlmsOrOriginAreSkipped) {
  std::string no_vlms = DataFolder("a", Install("newest"), /*vlms=*/false);
  SetTime(no_vlms + "/config/accounts.dat", kEleven);
  std::string usable = DataFolder("b", Install("usable"));
  SetTime(usable + "/config/accounts.dat", kTen);

  EXPECT_EQ(Find().path, Executable(dir_ / "installs/usable"));
  EXPECT_EQ(SkipReason(no_vlms), wire::Utf8ToUtf16("No VLMS folder in '" + no_vlms + "'"));

  std::string no_origin = DataFolder("c", Install("other"));
  unlink((no_origin + "/origin.txt").c_str());
  EXPECT_EQ(Find().path, Executable(dir_ / "installs/usable"));
  EXPECT_EQ(SkipReason(no_origin), wire::Utf8ToUtf16("No origin.txt in '" + no_origin + "'"));
}

TEST_F(DiscoveryTest, HiddenFoldersAndPlainFilesAreNotDataFolders) {
  SetTime(DataFolder(".hidden", Install("hidden")) + "/config/accounts.dat", kTen);
  WriteFile(base_ + "/file", "");
  Candidate found = Find();
  EXPECT_TRUE(found.path.empty());
}

TEST_F(DiscoveryTest, NothingInstalled) {
  test_support::ScopedEnv elsewhere("XDG_DATA_HOME", dir_ / "empty");
  Candidate found = Find();
  EXPECT_TRUE(found.path.empty());
}

TEST_F(DiscoveryTest, RelativeDataHomeFallsBackToHome) {
  test_support::ScopedEnv relative("XDG_DATA_HOME", "relative/data");
  test_support::ScopedEnv home("HOME", dir_.path());
  base_ = dir_ / ".local/share/Orbisco/Terminal";
  DataFolder("A", Install("home"));
  EXPECT_EQ(Find().path, Executable(dir_ / "installs/home"));
}

// Files in a folder that another user could write are never read: such a
// data folder could name any program for this user to start. The attack's
// own forms, each against a folder that is used as long as it is left alone.
TEST_F(DiscoveryTest, OnlyTheUsersOwnFoldersAreRead) {
  constexpr uid_t kOtherUser = 4242;
  struct Case {
    const char* what;
    std::function<void(const std::string& folder, const std::string& install)> plant;
    bool needs_root;
  };
  auto chown_to = [](const std::string& path, uid_t uid) { ASSERT_EQ(lchown(path.c_str(), uid, -1), 0) << path; };
  const Case cases[] = {
      {"another user's folder", [&](const std::string& f, const std::string&) { chown_to(f, kOtherUser); }, true},
      {"a folder the group can write", [](const std::string& f, const std::string&) { chmod(f.c_str(), 0770); }, false},
      {"a folder anyone can write", [](const std::string& f, const std::string&) { chmod(f.c_str(), 0707); }, false},
      {"another user's origin.txt",
       [&](const std::string& f, const std::string&) { chown_to(f + "/origin.txt", kOtherUser); }, true},
      {"an origin.txt others can write",
       [](const std::string& f, const std::string&) { chmod((f + "/origin.txt").c_str(), 0646); }, false},
      {"a symbolic link at origin.txt",
       [](const std::string& f, const std::string& install) {
         std::string elsewhere = install + "/../origin-elsewhere.txt";
         WriteFile(elsewhere, kBom + Utf16Le(install));
         unlink((f + "/origin.txt").c_str());
         ASSERT_EQ(symlink(elsewhere.c_str(), (f + "/origin.txt").c_str()), 0);
       },
       false},
      {"a FIFO at origin.txt (no writer: a blocking open would wait for ever)",
       [](const std::string& f, const std::string&) {
         unlink((f + "/origin.txt").c_str());
         ASSERT_EQ(mkfifo((f + "/origin.txt").c_str(), 0600), 0);
       },
       false},
      {"a symbolic link as the data folder",
       [](const std::string& f, const std::string& install) {
         std::string moved = install + "/../moved";  // outside the scanned folder
         ASSERT_EQ(rename(f.c_str(), moved.c_str()), 0);
         ASSERT_EQ(symlink(moved.c_str(), f.c_str()), 0);
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.needs_root && geteuid() != 0) {
      std::fprintf(stderr, "skipped, needs root to give a file to another user: %s\n", c.what);
      continue;
    }
    test_support::TempDir dir;
    test_support::ScopedEnv home("XDG_DATA_HOME", dir / "data");
    base_ = dir / "data/Orbisco/Terminal";
    MakeDirs(base_);
    std::string install = dir / "install";
    MakeDirs(install);
    WriteFile(install + "/terminal64", "");
    std::string folder = DataFolder("A", install);
    EXPECT_EQ(Find().path, wire::Utf8ToUtf16(install + "/terminal64")) << "the folder as the user left it";

    c.plant(folder, install);
    if (::testing::Test::HasFatalFailure()) continue;
    EXPECT_TRUE(Find().path.empty());
  }
}

// Marker files only lend their times: a FIFO or a link there neither blocks
// nor counts.
TEST_F(DiscoveryTest, MarkersMustBeRegularFiles) {
  std::string folder = DataFolder("A", Install("a"));
  SetTime(folder + "/config/terminal.ini", kTen);
  ASSERT_EQ(mkfifo((folder + "/config/accounts.dat").c_str(), 0600), 0);
  std::string newer = dir_ / "newer";
  SetTime(newer, kEleven);
  ASSERT_EQ(symlink(newer.c_str(), (folder + "/portable.txt").c_str()), 0);
  Candidate found = Find();
  EXPECT_EQ(found.path, Executable(dir_ / "installs/a"));
  EXPECT_EQ(found.last_used, FileTime(kTen));
  EXPECT_FALSE(found.portable);
}

// origin.txt is taken as written: UTF-16LE with its mark, nothing trimmed.
// The working directory is the installation, so that even a relative folder
// such as "." would name an existing terminal if it were accepted.
struct OriginCase {
  const char* what;
  std::function<std::string(const std::string& install)> content;
  bool found;
};

class OriginTest : public DiscoveryTest, public ::testing::WithParamInterface<OriginCase> {
 protected:
  void SetUp() override {
    DiscoveryTest::SetUp();
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    cwd_ = cwd;
    install_ = Install("here");
    ASSERT_EQ(chdir(install_.c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(chdir(cwd_.c_str()), 0); }
  std::string cwd_, install_;
};

TEST_P(OriginTest, ContentDecidesTheCandidate) {
  std::string folder = DataFolder("A", install_);
  WriteFile(folder + "/origin.txt", GetParam().content(install_));
  EXPECT_EQ(!Find().path.empty(), GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Contents, OriginTest,
    ::testing::Values(
        OriginCase{"Marked", [](const std::string& p) { return kBom + Utf16Le(p); }, true},
        OriginCase{"OddTrailingByte", [](const std::string& p) { return kBom + Utf16Le(p) + "\n"; }, true},
        OriginCase{"EightBytes", [](const std::string&) { return kBom + Utf16Le("./."); }, true},
        OriginCase{"NoMark", [](const std::string& p) { return Utf16Le(p); }, false},
        OriginCase{"BigEndianMark", [](const std::string& p) { return "\xFE\xFF" + Utf16Le(p); }, false},
        OriginCase{"Utf8", [](const std::string& p) { return "\xEF\xBB\xBF" + p; }, false},
        OriginCase{"TrailingNewline", [](const std::string& p) { return kBom + Utf16Le(p + "\n"); }, false},
        OriginCase{"TrailingCrLf", [](const std::string& p) { return kBom + Utf16Le(p + "\r\n"); }, false},
        OriginCase{"SevenBytes", [](const std::string&) { return kBom + Utf16Le("./") + std::string(1, '\0'); }, false},
        OriginCase{"FourBytes", [](const std::string&) { return kBom + Utf16Le("."); }, false},
        OriginCase{"Empty", [](const std::string&) { return std::string(); }, false}),
    [](const ::testing::TestParamInfo<OriginCase>& info) { return std::string(info.param.what); });

// The terminal that started this process is preferred over a newer one, and
// the scan ends with it. A forked child has this test program as its parent,
// so an installation whose terminal64 links to this program plays that part.
TEST_F(DiscoveryTest, ParentTerminalWinsAndEndsTheScan) {
  char self[PATH_MAX];
  ASSERT_NE(realpath("/proc/self/exe", self), nullptr);
  std::string parent = dir_ / "installs/parent";
  MakeDirs(parent);
  ASSERT_EQ(symlink(self, (parent + "/terminal64").c_str()), 0);
  SetTime(DataFolder("a", parent) + "/config/accounts.dat", kTen);
  SetTime(DataFolder("b", Install("newer")) + "/config/accounts.dat", kEleven);
  DataFolder("c", Install("unused"), /*vlms=*/false);  // would leave a detail if examined

  // Here the parent is the test runner, so the newer installation wins.
  EXPECT_EQ(Find().path, Executable(dir_ / "installs/newer"));

  // Where the parent's program cannot be asked for, the scan goes by time alone.
  const std::u16string expected = Executable(test_support::kPortablePosix ? dir_ / "installs/newer" : parent);
  EXPECT_EXIT(
      {
        Candidate found;
        if (!FindInstalledTerminal(&found).ok()) _exit(1);
        if (found.path != expected) _exit(2);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vl5::link
