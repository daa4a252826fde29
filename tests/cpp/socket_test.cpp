// The channel over real Unix-domain sockets: large frames both ways, the peer
// going away, and a pipe that is not there.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "src/link/channel.h"
#include "src/link/os/os.h"
#include "tests/cpp/posix_fixture.h"

namespace vl5::link {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t n, std::uint8_t seed) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 13 + (i >> 9));
  return out;
}

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The default action would kill the process if a write ever raised SIGPIPE.
    signal(SIGPIPE, SIG_DFL);
    address_ = os::PipeAddress(u"VL5.Terminal.SOCKETTEST");
    std::uint32_t error = 0;
    ASSERT_TRUE(os::ListenPipe(address_, &listener_, &error)) << "error " << error;
  }
  void TearDown() override {
    if (server_.joinable()) {
      // Wakes a server still waiting for a client after a failed assertion.
      std::uint32_t error = 0;
      os::ClosePipe(os::OpenPipe(address_, &error));
      server_.join();
    }
    os::CloseListener(&listener_);
  }

  // Runs `serve` on the next accepted connection in a thread of its own.
  template <typename Handler>
  void Serve(Handler serve) {
    server_ = std::thread([this, serve] {
      std::uint32_t error = 0;
      os::PipeHandle peer = os::AcceptPipe(&listener_, &error);
      if (peer == os::kInvalidPipe) return;
      serve(peer);
      os::ClosePipe(peer);
    });
  }

  vl5::test_support::TempDir dir_;
  vl5::test_support::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.path()};
  std::u16string address_;
  os::PipeListener listener_;
  std::thread server_;
};

TEST_F(SocketTest, LargeRequestAndReplyMoveIntact) {
  const Bytes request = Pattern(40000, 1), reply_body = Pattern(20000, 2);
  Bytes received;
  Serve([&](os::PipeHandle peer) {
    std::uint32_t length = 0, error = 0;
    if (!os::ReadPipe(peer, &length, 4, &error)) return;
    received.resize(length);
    if (!os::ReadPipe(peer, received.data(), length, &error)) return;
    std::uint32_t reply_length = static_cast<std::uint32_t>(reply_body.size());
    os::WritePipe(peer, &reply_length, 4, &error);
    os::WritePipe(peer, reply_body.data(), reply_body.size(), &error);
  });

  CInterClient client;
  ASSERT_TRUE(client.Connect(address_).ok());
  PipeWriter writer(client.Handle());
  ASSERT_TRUE(writer.AppendValue(static_cast<std::uint32_t>(request.size())));
  ASSERT_TRUE(writer.Append(request.data(), request.size()));
  ASSERT_TRUE(writer.Flush());

  PipeReader reader(client.Handle());
  Bytes got(reply_body.size());
  ASSERT_TRUE(reader.BeginReply());
  ASSERT_TRUE(reader.Read(got.data(), 8));
  ASSERT_TRUE(reader.Read(got.data() + 8, got.size() - 8));
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(got, reply_body);
  server_.join();
  EXPECT_EQ(received, request);
}

TEST_F(SocketTest, PeerClosingIsABrokenPipeForReadAndWrite) {
  Serve([](os::PipeHandle) {});  // accepts and hangs up at once
  CInterClient client;
  ASSERT_TRUE(client.Connect(address_).ok());
  server_.join();

  std::uint32_t error = 0;
  Bytes data(40000, 0x42);
  EXPECT_FALSE(os::ReadPipe(*client.Handle(), data.data(), 4, &error));
  EXPECT_EQ(error, os::kErrorBrokenPipe);
  error = 0;
  EXPECT_FALSE(os::WritePipe(*client.Handle(), data.data(), data.size(), &error));
  EXPECT_EQ(error, os::kErrorBrokenPipe);

  PipeWriter writer(client.Handle());
  EXPECT_FALSE(writer.Append(data.data(), data.size()));
  EXPECT_FALSE(client.Connected()) << "a broken pipe closes the shared handle";
}

TEST_F(SocketTest, PeerClosingMidReplyClosesTheHandle) {
  Serve([](os::PipeHandle peer) {
    std::uint32_t error = 0;
    const std::uint8_t partial[] = {100, 0, 0, 0, 1, 2, 3};  // 100 announced, 3 sent
    os::WritePipe(peer, partial, sizeof(partial), &error);
  });
  CInterClient client;
  ASSERT_TRUE(client.Connect(address_).ok());
  PipeReader reader(client.Handle());
  std::uint8_t body[100];
  ASSERT_TRUE(reader.BeginReply());
  EXPECT_FALSE(reader.Read(body, sizeof(body)));
  EXPECT_FALSE(client.Connected());
}

TEST_F(SocketTest, MissingPipeIsFileNotFound) {
  std::uint32_t error = 0;
  EXPECT_EQ(os::OpenPipe(os::PipeAddress(u"VL5.Terminal.NOBODY"), &error), os::kInvalidPipe);
  EXPECT_EQ(error, os::kErrorFileNotFound);

  CInterClient client;
  EXPECT_EQ(client.Connect(os::PipeAddress(u"VL5.Terminal.NOBODY")).detail, u"CreateFile failed [2]");
}

}  // namespace
}  // namespace vl5::link
