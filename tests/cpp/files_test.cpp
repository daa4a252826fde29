// The checks of the files both programs trust: a path read whole and a name
// read below an own folder come to one verdict on what lies there.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "src/link/os/files.h"
#include "src/wire/text.h"
#include "tests/cpp/posix_fixture.h"

namespace vl5::os {
namespace {

using test_support::TempDir;
using test_support::WriteFile;

std::u16string U(const std::string& utf8) { return wire::Utf8ToUtf16(utf8); }

void PrivateFile(const std::string& path, const std::string& bytes) {
  WriteFile(path, bytes);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
}

TEST(TrustedFilesTest, PathAndFolderReadsGiveOneVerdict) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path, const std::string& elsewhere)> plant;
    FileRead expected;
  };
  const Case cases[] = {
      {"a file of this user", [](const std::string& p, const std::string&) { PrivateFile(p, "abc"); }, FileRead::kRead},
      {"nothing", [](const std::string&, const std::string&) {}, FileRead::kMissing},
      {"a symbolic link to a good file",
       [](const std::string& p, const std::string& e) { ASSERT_EQ(symlink(e.c_str(), p.c_str()), 0); },
       FileRead::kNotRegular},
      {"a FIFO without a writer (a blocking open would wait for ever)",
       [](const std::string& p, const std::string&) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, FileRead::kNotRegular},
      {"a folder", [](const std::string& p, const std::string&) { ASSERT_EQ(mkdir(p.c_str(), 0700), 0); },
       FileRead::kNotRegular},
      {"a file the group can write",
       [](const std::string& p, const std::string&) {
         PrivateFile(p, "abc");
         ASSERT_EQ(chmod(p.c_str(), 0620), 0);
       },
       FileRead::kForeign},
      {"a file anyone can write",
       [](const std::string& p, const std::string&) {
         PrivateFile(p, "abc");
         ASSERT_EQ(chmod(p.c_str(), 0602), 0);
       },
       FileRead::kForeign},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    PrivateFile(dir / "elsewhere", "abc");
    c.plant(dir / "file", dir / "elsewhere");
    if (HasFatalFailure()) return;
    std::string whole, below;
    EXPECT_EQ(ReadRegularFile(U(dir / "file"), 100, &whole), c.expected);
    OwnFolder folder(U(dir.path()));
    ASSERT_TRUE(folder.IsOpen());
    EXPECT_EQ(folder.ReadOwnFile(u"file", 100, &below), c.expected == FileRead::kRead);
    if (c.expected == FileRead::kRead) {
      EXPECT_EQ(whole, "abc");
      EXPECT_EQ(below, "abc");
    }
  }
}

// The one difference: a file longer than the limit is refused whole, and cut
// below an own folder (where only its start is wanted).
TEST(TrustedFilesTest, ALongFileIsRefusedWholeAndCutBelowAFolder) {
  TempDir dir;
  PrivateFile(dir / "file", "abcdef");
  std::string whole, below;
  EXPECT_EQ(ReadRegularFile(U(dir / "file"), 4, &whole), FileRead::kTooLarge);
  ASSERT_TRUE(OwnFolder(U(dir.path())).ReadOwnFile(u"file", 4, &below));
  EXPECT_EQ(below, "abcd");
}

// The new content replaces a link planted at the name; what the link
// pointed to is left as it was, and the new file is this user's alone.
TEST(TrustedFilesTest, ReplacingAFileNeverWritesThroughALink) {
  TempDir dir;
  PrivateFile(dir / "victim", "keep");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "file").c_str()), 0);
  std::uint32_t error = 0;
  ASSERT_TRUE(ReplaceFileBytes(U(dir / "file"), "new", &error)) << error;
  std::string bytes;
  EXPECT_EQ(ReadRegularFile(U(dir / "file"), 100, &bytes), FileRead::kRead);
  EXPECT_EQ(bytes, "new");
  EXPECT_EQ(ReadRegularFile(U(dir / "victim"), 100, &bytes), FileRead::kRead);
  EXPECT_EQ(bytes, "keep");
}

// The cache folder: $XDG_CACHE_HOME when absolute, else the home's .cache,
// the home from the password database when HOME is unset.
TEST(UserCacheFolderTest, FollowsTheEnvironmentThenTheHome) {
  const passwd* pw = getpwuid(geteuid());
  ASSERT_NE(pw, nullptr);
  const std::string database_home = pw->pw_dir;
  test_support::ScopedEnv restore_home("HOME", "/h");
  const struct {
    const char* xdg;  // nullptr: unset
    const char* home;
    std::string expected;
  } cases[] = {
      {"/x/cache", "/h", "/x/cache/velmora5"},
      {"relative/cache", "/h", "/h/.cache/velmora5"},
      {nullptr, "/h", "/h/.cache/velmora5"},
      {nullptr, nullptr, database_home + "/.cache/velmora5"},
  };
  test_support::ScopedEnv restore_xdg("XDG_CACHE_HOME", "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    c.xdg != nullptr ? setenv("XDG_CACHE_HOME", c.xdg, 1) : unsetenv("XDG_CACHE_HOME");
    c.home != nullptr ? setenv("HOME", c.home, 1) : unsetenv("HOME");
    std::u16string folder;
    ASSERT_TRUE(UserCacheFolder(&folder));
    EXPECT_EQ(wire::Utf16ToUtf8(folder), c.expected);
  }
}

}  // namespace
}  // namespace vl5::os
