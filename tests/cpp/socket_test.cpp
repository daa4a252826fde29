// The channel over real Unix-domain sockets: large frames both ways, the peer
// going away, and a pipe that is not there; who may connect, and what a
// started program inherits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "src/link/channel.h"
#include "src/link/os/pipe.h"
#include "src/wire/text.h"
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
      // Ends the wait of a server that no client reached.
      os::WakeListener(&listener_);
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
  if (test_support::kPortablePosix) GTEST_SKIP() << "this build refuses every connection";
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
  if (test_support::kPortablePosix) GTEST_SKIP() << "this build refuses every connection";
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
  if (test_support::kPortablePosix) GTEST_SKIP() << "this build refuses every connection";
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

// A connection is made only where the peer is known to run as this user.
// Where the system cannot say (the portable build on Linux), both ends
// refuse it: the client with EACCES, the server by hanging up unseen.
TEST_F(SocketTest, ConnectsOnlyWhereThePeerIsKnownToBeThisUser) {
  Serve([](os::PipeHandle peer) {
    std::uint32_t error = 0;
    os::WritePipe(peer, "k", 1, &error);
  });
  // A client of the test's own, so that what the server does with it shows.
  const std::string path = wire::Utf16ToUtf8(address_);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
  const int raw = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(raw, 0);
  ASSERT_EQ(connect(raw, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0) << errno;
  char byte = 0;
  const ssize_t got = recv(raw, &byte, 1, 0);
  close(raw);

  std::uint32_t error = 0;
  const os::PipeHandle client = os::OpenPipe(address_, &error);
  os::ClosePipe(client);
  if (test_support::kPortablePosix) {
    EXPECT_EQ(got, 0) << "the server serves a peer it cannot name";
    EXPECT_EQ(client, os::kInvalidPipe) << "the client trusts a server it cannot name";
    EXPECT_EQ(error, static_cast<std::uint32_t>(EACCES));
  } else {
    EXPECT_EQ(got, 1);
    EXPECT_EQ(byte, 'k');
    EXPECT_NE(client, os::kInvalidPipe) << "error " << error;
  }
}

// A started program inherits none of the layer's descriptors (a terminal
// started by the module must not hold its pipe open); connected ends block,
// the listener's own do not.
TEST_F(SocketTest, EndsAreClosedOnExecAndConnectedEndsBlock) {
  for (std::intptr_t fd : {listener_.native, listener_.wake_read, listener_.wake_write}) {
    EXPECT_NE(fcntl(static_cast<int>(fd), F_GETFD) & FD_CLOEXEC, 0) << fd;
    EXPECT_NE(fcntl(static_cast<int>(fd), F_GETFL) & O_NONBLOCK, 0) << fd;
  }
  if (test_support::kPortablePosix) return;  // no connection to look at

  int accepted_fd = -1, accepted_status = -1;
  Serve([&](os::PipeHandle peer) {
    accepted_fd = fcntl(static_cast<int>(peer), F_GETFD);
    accepted_status = fcntl(static_cast<int>(peer), F_GETFL);
  });
  std::uint32_t error = 0;
  const os::PipeHandle client = os::OpenPipe(address_, &error);
  ASSERT_NE(client, os::kInvalidPipe) << "error " << error;
  EXPECT_NE(fcntl(static_cast<int>(client), F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(fcntl(static_cast<int>(client), F_GETFL) & O_NONBLOCK, 0);
  os::ClosePipe(client);
  server_.join();
  EXPECT_NE(accepted_fd & FD_CLOEXEC, 0);
  EXPECT_EQ(accepted_status & O_NONBLOCK, 0);
}

// A write to a peer that has gone reports a broken pipe and never raises
// SIGPIPE, whose default action (kept here) would end the test program.
TEST(SocketEndTest, WritingToAPeerThatHasGoneIsABrokenPipeNotASignal) {
  signal(SIGPIPE, SIG_DFL);
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  close(ends[1]);
  const char frame[] = "frame";
  std::uint32_t error = 0;
  EXPECT_FALSE(os::WritePipe(ends[0], frame, sizeof(frame), &error));
  EXPECT_EQ(error, os::kErrorBrokenPipe);
  error = 0;
  EXPECT_FALSE(os::WritePipeWithin(ends[0], frame, sizeof(frame), 1000, &error));
  EXPECT_EQ(error, os::kErrorBrokenPipe);
  close(ends[0]);
}

}  // namespace
}  // namespace vl5::link
