// The channel over real named pipes: a pipe that does not exist, a server
// that hangs up, and a request and a reply larger than the channel's buffers.
// Also the pipe name, which must be the one the POSIX build computes for the
// same path text.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "src/link/channel.h"
#include "src/link/os/os.h"
#include "src/link/pipe_name.h"
#include "src/link/protocol.h"
#include "tests/windows/scratch_files.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::link {
namespace {

using Bytes = std::vector<std::uint8_t>;
using wine_test::ScratchFolder;
using wine_test::U16;

Bytes Pattern(std::size_t n, std::uint8_t salt) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251 + salt);
  return bytes;
}

void PutU32(Bytes* bytes, std::size_t at, std::uint32_t value) { std::memcpy(bytes->data() + at, &value, 4); }

// A server on a thread that accepts one client, hands its end to `serve`
// and then closes that end, as a terminal does when it drops a client.
class OneClientServer {
 public:
  explicit OneClientServer(std::function<void(os::PipeHandle)> serve) {
    address_ = os::PipeAddress(u"VL5.Terminal.WINETEST-" + U16(std::to_wstring(GetCurrentProcessId())) + u"-" +
                               U16(std::to_wstring(++instances_)));
    listening_ = os::ListenPipe(address_, &listener_, &listen_error_);
    if (!listening_) return;
    thread_ = std::thread([this, serve = std::move(serve)] {
      std::uint32_t error = 0;
      os::PipeHandle pipe = os::AcceptPipe(&listener_, &error);
      if (pipe == os::kInvalidPipe) return;
      if (!abandoned_) serve(pipe);
      os::ClosePipe(pipe);
    });
  }
  ~OneClientServer() {
    // A server still serving waits for the client to hang up: the client is
    // this process's one connection, dropped here when a test stops early.
    Client().Disconnect();
    if (thread_.joinable() && !finished_) {
      // Nobody connected: a connection of our own ends the accept.
      abandoned_ = true;
      std::uint32_t error = 0;
      os::ClosePipe(os::OpenPipe(address_, &error));
    }
    Join();
    os::CloseListener(&listener_);
  }
  OneClientServer(const OneClientServer&) = delete;
  OneClientServer& operator=(const OneClientServer&) = delete;

  bool listening() const { return listening_; }
  std::uint32_t listen_error() const { return listen_error_; }
  const std::u16string& address() const { return address_; }
  // Waits until the server has served and closed its end.
  void Join() {
    if (thread_.joinable()) thread_.join();
    finished_ = true;
  }

 private:
  static inline std::atomic<int> instances_{0};
  std::u16string address_;
  os::PipeListener listener_;
  std::uint32_t listen_error_ = 0;
  bool listening_ = false;
  bool finished_ = false;
  std::atomic<bool> abandoned_{false};
  std::thread thread_;
};

class WinePipeChannelTest : public ::testing::Test {
 protected:
  void TearDown() override { Client().Disconnect(); }
};

TEST_F(WinePipeChannelTest, MissingPipeReportsError2) {
  const std::u16string address = os::PipeAddress(u"VL5.Terminal.NO-SUCH-PIPE");
  EXPECT_EQ(Client().Connect(address).detail, u"CreateFile failed [2]");
  EXPECT_FALSE(Client().Connected());

  std::uint32_t error = 0;
  EXPECT_EQ(os::OpenPipe(address, &error), os::kInvalidPipe);
  EXPECT_EQ(error, os::kErrorFileNotFound);
}

TEST_F(WinePipeChannelTest, ServerHangingUpClosesTheClientHandle) {
  // While a request is written: the write fails and the handle is dropped,
  // so the next exchange reports that there is no connection.
  {
    OneClientServer server([](os::PipeHandle) {});
    ASSERT_TRUE(server.listening()) << server.listen_error();
    Outcome connected = Client().Connect(server.address());
    ASSERT_TRUE(connected.ok()) << wine_test::Wide(connected.detail);
    server.Join();
    PipeWriter writer(Client().Handle());
    ASSERT_TRUE(writer.AppendValue<std::uint64_t>(0x0000000400000004));
    EXPECT_FALSE(writer.Flush());
    EXPECT_FALSE(Client().Connected());
    EXPECT_EQ(*Client().Handle(), os::kInvalidPipe);
    EXPECT_EQ(Exchange(Request(wire::kCmdHello), Reply::Status()), wire::kNoIpcConnection);
  }
  // While a reply is awaited: the request was taken, no reply comes.
  {
    OneClientServer server([](os::PipeHandle pipe) {
      std::uint8_t request[8];
      std::uint32_t error = 0;
      os::ReadPipe(pipe, request, sizeof(request), &error);
    });
    ASSERT_TRUE(server.listening()) << server.listen_error();
    ASSERT_TRUE(Client().Connect(server.address()).ok());
    ASSERT_TRUE(Request(wire::kCmdHello).Send());
    PipeReader reader(Client().Handle());
    EXPECT_FALSE(reader.BeginReply());
    EXPECT_FALSE(Client().Connected());
  }
  // The system's own error numbers, read and write alike, are the broken pipe.
  {
    OneClientServer server([](os::PipeHandle) {});
    ASSERT_TRUE(server.listening()) << server.listen_error();
    std::uint32_t error = 0;
    os::PipeHandle pipe = os::OpenPipe(server.address(), &error);
    ASSERT_NE(pipe, os::kInvalidPipe) << error;
    server.Join();
    std::uint8_t byte = 0;
    error = 0;
    EXPECT_FALSE(os::ReadPipe(pipe, &byte, 1, &error));
    EXPECT_EQ(error, os::kErrorBrokenPipe);
    error = 0;
    EXPECT_FALSE(os::WritePipe(pipe, &byte, 1, &error));
    EXPECT_EQ(error, os::kErrorBrokenPipe);
    os::ClosePipe(pipe);
  }
}

TEST_F(WinePipeChannelTest, LargeRequestAndReplyPassIntact) {
  // The request carries its own length prefix, so one Append moves all of it:
  // a full buffer, then a direct write of the rest.
  Bytes request = Pattern(40000, 1);
  PutU32(&request, 0, 40000 - 4);
  Bytes reply = Pattern(20000, 2);
  Bytes next = Pattern(8, 3);
  Bytes received;
  OneClientServer server([&](os::PipeHandle pipe) {
    std::uint32_t error = 0;
    std::uint32_t length = 0;
    if (!os::ReadPipe(pipe, &length, 4, &error) || length > 1000000) return;
    received.resize(4 + length);
    std::memcpy(received.data(), &length, 4);
    if (!os::ReadPipe(pipe, received.data() + 4, length, &error)) return;
    // Two replies back to back: the reader must stop at the first one's end.
    for (const Bytes* body : {&reply, &next}) {
      const auto size = static_cast<std::uint32_t>(body->size());
      if (!os::WritePipe(pipe, &size, 4, &error) || !os::WritePipe(pipe, body->data(), size, &error)) return;
    }
    std::uint8_t byte = 0;
    os::ReadPipe(pipe, &byte, 1, &error);  // until the client hangs up
  });
  ASSERT_TRUE(server.listening()) << server.listen_error();
  ASSERT_TRUE(Client().Connect(server.address()).ok());

  PipeWriter writer(Client().Handle());
  ASSERT_TRUE(writer.Append(request.data(), request.size()));
  EXPECT_EQ(writer.Used(), 0u);
  ASSERT_TRUE(writer.Flush());

  Bytes got(reply.size());
  PipeReader reader(Client().Handle());
  ASSERT_TRUE(reader.BeginReply());
  ASSERT_TRUE(reader.Read(got.data(), 100));  // pulls a buffer's worth
  EXPECT_EQ(reader.Unread(), reply.size() - 100);
  ASSERT_TRUE(reader.Read(got.data() + 100, got.size() - 100));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(got, reply);

  Bytes got_next(next.size());
  PipeReader next_reader(Client().Handle());
  ASSERT_TRUE(next_reader.BeginReply());
  ASSERT_TRUE(next_reader.Read(got_next.data(), got_next.size()));
  EXPECT_TRUE(next_reader.AtEnd());
  EXPECT_EQ(got_next, next);

  Client().Disconnect();
  server.Join();
  EXPECT_EQ(received, request);
}

// ---- pipe names ---------------------------------------------------------------

std::u16string NameFor(const std::wstring& path) {
  std::u16string address;
  std::uint8_t digest[32];
  EXPECT_EQ(PipeNameFor(U16(path), &address, digest), PipeNameError::kNone);
  EXPECT_EQ(address, os::PipeAddress(PipeBaseName(digest)));
  return address;
}

TEST(WinePipeName, SameNameAsThePosixBuildForTheSamePathText) {
  // A path that does not exist is hashed as written, lower-cased; the POSIX
  // unit tests hold the same text to the same digest.
  EXPECT_EQ(NameFor(L"C:\\Velmora 5\\Terminal64.EXE"),
            u"\\\\.\\pipe\\VL5.Terminal.B96F5D9180EBC44C8348DD83F6C587F28E38A8AC3FC52A64D0BF9BDA737BE7BC");
}

TEST(WinePipeName, EquivalentSpellingsShareOneName) {
  ScratchFolder install(L"vl5-wine-pipe-name");
  ASSERT_FALSE(install.path().empty());
  const std::wstring executable = install / L"terminal64.exe";
  ASSERT_TRUE(wine_test::WriteBytes(executable, ""));
  ASSERT_TRUE(wine_test::WriteBytes(install / L"sub\\placeholder", ""));

  // An existing file is named by its final path, which the system reports
  // with the long-path prefix.
  EXPECT_EQ(os::NormalizePath(U16(executable), kMaxPathUnits).substr(0, 4), u"\\\\?\\");
  const std::u16string name = NameFor(executable);
  std::wstring upper = executable;
  CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  EXPECT_EQ(NameFor(upper), name) << "letter case";
  EXPECT_EQ(NameFor(install / L"sub\\..\\terminal64.exe"), name) << "dot-dot component";
  EXPECT_EQ(NameFor(install / L".\\terminal64.exe"), name) << "dot component";
  EXPECT_NE(NameFor(install / L"sub\\terminal64.exe"), name) << "a different file";
}

}  // namespace
}  // namespace vl5::link
