// Registration: the files a client's discovery reads.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "terminal/server/data_folder.h"

namespace vl5::terminal {
namespace {

namespace fs = std::filesystem;

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("vl5-terminal-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    folder_ = (root_ / "data").u16string();
    installation_.folder = u"/opt/Velmora 5/B\u00fcro";
  }
  void TearDown() override { fs::remove_all(root_); }

  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::path Data(const char* name) const { return fs::path(folder_) / name; }

  fs::path root_;
  std::u16string folder_;
  Installation installation_;
};

TEST_F(DataFolderTest, WritesOriginMarkerAndSettings) {
  std::string error;
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  EXPECT_TRUE(fs::is_directory(Data("VLMS")));
  EXPECT_FALSE(fs::exists(Data("portable.txt")));
  // UTF-16LE with a byte-order mark and nothing after the folder.
  std::string expected = "\xFF\xFE";
  for (char16_t unit : installation_.folder) {
    expected.push_back(static_cast<char>(unit & 0xFF));
    expected.push_back(static_cast<char>(unit >> 8));
  }
  EXPECT_EQ(Read(Data("origin.txt")), expected);
  EXPECT_NE(Read(Data("config/terminal.ini")).find("[Terminal]"), std::string::npos);
}

TEST_F(DataFolderTest, KeepsTheUsersSettingsButRefreshesTheirTime) {
  std::string error;
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  { std::ofstream(Data("config/terminal.ini"), std::ios::binary) << "[Terminal]\nseed=77\n"; }
  const auto old_time = fs::file_time_type::clock::now() - std::chrono::hours(24);
  fs::last_write_time(Data("config/terminal.ini"), old_time);
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  EXPECT_EQ(Read(Data("config/terminal.ini")), "[Terminal]\nseed=77\n");
  EXPECT_GT(fs::last_write_time(Data("config/terminal.ini")), old_time + std::chrono::hours(23));
  std::string text;
  ASSERT_TRUE(ReadSettingsFile(folder_, &text, &error)) << error;
  EXPECT_EQ(text, "[Terminal]\nseed=77\n");
}

TEST_F(DataFolderTest, ADirectoryAsTheSettingsFileIsAnErrorNotACrash) {
  fs::create_directories(Data("config/terminal.ini"));
  std::string error, text;
  EXPECT_FALSE(ReadSettingsFile(folder_, &text, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
  error.clear();
  EXPECT_FALSE(Register(folder_, installation_, false, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

#ifndef _WIN32
// What another user could plant: links in the data folder, or the folder
// itself left writable to others.
TEST_F(DataFolderTest, PlantedLinksAreReplacedAndTheirTargetsLeftAlone) {
  std::string error;
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  const fs::path victim = root_ / "victim";
  { std::ofstream(victim, std::ios::binary) << "precious"; }
  fs::remove(Data("origin.txt"));
  fs::create_symlink(victim, Data("origin.txt"));
  fs::create_symlink(victim, Data("portable.txt"));
  ASSERT_TRUE(Register(folder_, installation_, true, &error)) << error;
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(Data("origin.txt")));
  EXPECT_FALSE(fs::is_symlink(Data("portable.txt")));
  EXPECT_EQ(Read(Data("origin.txt")).substr(0, 2), "\xFF\xFE");

  // A link as the settings file is neither followed nor read.
  fs::remove(Data("config/terminal.ini"));
  fs::create_symlink(victim, Data("config/terminal.ini"));
  std::string text;
  EXPECT_FALSE(ReadSettingsFile(folder_, &text, &error));
  EXPECT_FALSE(Register(folder_, installation_, false, &error));
  EXPECT_EQ(Read(victim), "precious");
  EXPECT_EQ(text, "");
}

TEST_F(DataFolderTest, AFolderOthersCanWriteIsNeitherWrittenNorRead) {
  std::string error, text;
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  { std::ofstream(Data("config/terminal.ini"), std::ios::binary) << "[Terminal]\nseed=66\n"; }
  for (const fs::path& folder : {fs::path(folder_), Data("config")}) {
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::add);
    fs::remove(Data("origin.txt"));
    EXPECT_FALSE(Register(folder_, installation_, false, &error)) << folder;
    EXPECT_FALSE(fs::exists(Data("origin.txt")));
    EXPECT_FALSE(ReadSettingsFile(folder_, &text, &error));
    EXPECT_EQ(text, "");
    fs::permissions(folder, fs::perms::others_write, fs::perm_options::remove);
  }
  // A settings file others can write is not read either.
  fs::permissions(Data("config/terminal.ini"), fs::perms::group_write, fs::perm_options::add);
  EXPECT_FALSE(ReadSettingsFile(folder_, &text, &error));
  EXPECT_NE(error.find("writable by others"), std::string::npos) << error;
}
#endif

TEST_F(DataFolderTest, PortableMarkerFollowsTheLastStart) {
  std::string error;
  ASSERT_TRUE(Register(folder_, installation_, true, &error)) << error;
  EXPECT_TRUE(fs::exists(Data("portable.txt")));
  ASSERT_TRUE(Register(folder_, installation_, false, &error)) << error;
  EXPECT_FALSE(fs::exists(Data("portable.txt")));
}

TEST_F(DataFolderTest, EntryNameIsTheStartOfThePipeDigest) {
  const std::u16string executable = (root_ / "terminal64").u16string();
  { std::ofstream(fs::path(executable)) << "x"; }
  Installation described;
  std::string error;
  ASSERT_TRUE(DescribeInstallationAt(executable, &described, &error)) << error;
  std::u16string address;
  std::uint8_t digest[32];
  ASSERT_EQ(link::PipeNameFor(executable, &address, digest), link::PipeNameError::kNone);
  EXPECT_EQ(described.pipe_address, address);
  EXPECT_EQ(described.entry, link::PipeBaseName(digest).substr(13, 32));
  EXPECT_EQ(described.folder, root_.u16string());
  std::u16string data;
  ASSERT_TRUE(DefaultDataFolder(described, &data, &error));
  EXPECT_NE(data.find(u"Orbisco"), std::u16string::npos);
  EXPECT_EQ(data.substr(data.size() - 32), described.entry);
}

}  // namespace
}  // namespace vl5::terminal
