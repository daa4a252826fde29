// Pipe names: the digest of the normalised, lower-cased executable path, so
// every spelling of one installation's path names the same pipe.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "tests/cpp/posix_fixture.h"
#include "src/wire/text.h"

namespace vl5::link {
namespace {

using test_support::MakeDirs;
using test_support::WriteFile;

std::u16string U(const std::string& utf8) { return wire::Utf8ToUtf16(utf8); }

// SHA-256 of the text as UTF-16LE, by the system's tools rather than ours.
std::string ShellDigest(const std::string& text) {
  std::string command = "printf '%s' '" + text + "' | iconv -f UTF-8 -t UTF-16LE | sha256sum";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char hex[65] = {};
  std::size_t n = fread(hex, 1, 64, pipe);
  pclose(pipe);
  std::string out(hex, n);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

class PipeNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    install_ = dir_ / "Install";
    MakeDirs(install_ + "/sub");
    WriteFile(install_ + "/terminal64", "");
  }

  // The 64 hex digits of the name; checks the rest of the address on the way.
  std::string Name(const std::string& path) {
    std::u16string address;
    std::uint8_t digest[32];
    EXPECT_EQ(PipeNameFor(U(path), &address, digest), PipeNameError::kNone) << path;
    EXPECT_EQ(address, os::PipeAddress(PipeBaseName(digest)));
    const std::u16string prefix = U(dir_.path()) + u"/VL5.Terminal.";
    EXPECT_EQ(address.substr(0, prefix.size()), prefix);
    std::string hex = wire::Utf16ToUtf8(address.substr(std::min(prefix.size(), address.size())));
    EXPECT_EQ(hex.size(), 64u);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
    return hex;
  }

  test_support::TempDir dir_;
  test_support::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.path()};
  std::string install_;
};

TEST_F(PipeNameTest, DigestOfTheLowerCasedPathAsUtf16) {
  // A path that does not exist is hashed as given, lower-cased (non-ASCII too).
  EXPECT_EQ(Name("/nonexistent-vl5/TERMINAL64-\xC3\x89"),
            "6ECA5FE5EC1704075FEB1D52624BBEB910EA2F2F4DA7C2F873100956223F76A8");
  // An existing one by its resolved path.
  std::string lowered = install_ + "/terminal64";
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string expected = ShellDigest(lowered);
  if (expected.size() != 64) GTEST_SKIP() << "printf, iconv or sha256sum unavailable";
  EXPECT_EQ(Name(install_ + "/terminal64"), expected);
}

TEST_F(PipeNameTest, EquivalentPathsShareOneName) {
  ASSERT_EQ(symlink(install_.c_str(), (dir_ / "link").c_str()), 0);
  const std::string name = Name(install_ + "/terminal64");
  std::string upper = install_ + "/TERMINAL64";
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(Name(upper), name) << "letter case";
  EXPECT_EQ(Name(install_ + "/sub/../terminal64"), name) << "dot-dot component";
  EXPECT_EQ(Name(install_ + "/./terminal64"), name) << "dot component";
  EXPECT_EQ(Name(dir_ / "link/terminal64"), name) << "symbolic link";
  EXPECT_NE(Name(install_ + "/sub/terminal64"), name) << "a different file";
}

TEST_F(PipeNameTest, PathLengthLimit) {
  std::u16string address = u"untouched";
  std::uint8_t digest[32] = {};
  // Units, not characters: 130 characters outside the BMP are 260 units.
  std::u16string at_limit = u"/";
  while (at_limit.size() + 2 <= kMaxPathUnits) at_limit += u"\U0001F600";
  at_limit.resize(kMaxPathUnits, u'x');
  EXPECT_EQ(PipeNameFor(at_limit, &address, digest), PipeNameError::kNone);
  address = u"untouched";
  EXPECT_EQ(PipeNameFor(at_limit + u"x", &address, digest), PipeNameError::kPathTooLong);
  EXPECT_EQ(address, u"untouched");
}

TEST_F(PipeNameTest, SameDigestAsTheWindowsBuildForTheSamePathText) {
  // A Windows path text exists nowhere here, so it is hashed as written,
  // lower-cased; the Windows tests hold the same text to the same digest.
  std::u16string address;
  std::uint8_t digest[32];
  ASSERT_EQ(PipeNameFor(u"C:\\Velmora 5\\Terminal64.EXE", &address, digest), PipeNameError::kNone);
  EXPECT_EQ(PipeBaseName(digest), u"VL5.Terminal.B96F5D9180EBC44C8348DD83F6C587F28E38A8AC3FC52A64D0BF9BDA737BE7BC");
}

}  // namespace
}  // namespace vl5::link
