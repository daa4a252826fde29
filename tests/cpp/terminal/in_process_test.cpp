// The terminal inside another process: the in-process connection frames
// requests as the pipe server does, and the embedded terminal takes only
// what an engine can be.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cpp/terminal/request_helpers.h"
#include "terminal/server/embedded_terminal.h"
#include "terminal/server/in_process_connection.h"
#include "terminal/server/request_reader.h"
#include "src/wire/commands.h"
#include "src/wire/status.h"

namespace vl5::terminal {
namespace {

using testing::Bytes;
using testing::Request;

Bytes Concat(std::vector<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// The next reply on `connection`, or an empty one when none is due.
Bytes NextReply(server::InProcessConnection& connection) {
  std::uint8_t length[4];
  if (!connection.Read(length, 4)) return {};
  Bytes reply(length, length + 4);
  reply.resize(4 + wire::Load<std::uint32_t>(length, 0));
  if (!connection.Read(reply.data() + 4, reply.size() - 4)) return {};
  return reply;
}

class InProcessTest : public ::testing::Test {
 protected:
  Terminal terminal_{testing::TestSettings(), testing::TestFolders()};
  server::InProcessConnection connection_{terminal_};
  const Bytes state_ = Request().Frame(wire::kCmdTerminalState);
  const Bytes total_ = Request().Frame(wire::kCmdSymbolsTotal);
};

TEST_F(InProcessTest, EveryWholeFrameIsServedAtOnceAndAPartOneWaitsForItsRest) {
  const Bytes bytes = Concat({state_, total_, state_});
  // Two requests and the first 5 bytes of a third in one write, the rest in
  // two more: replies exist exactly for the requests completed so far.
  ASSERT_TRUE(connection_.Write(bytes.data(), state_.size() + total_.size() + 5));
  const std::size_t two_replies = connection_.Pending();
  ASSERT_TRUE(connection_.Write(bytes.data() + bytes.size() - state_.size() + 5, 1));
  EXPECT_EQ(connection_.Pending(), two_replies);
  ASSERT_TRUE(connection_.Write(bytes.data() + bytes.size() - state_.size() + 6, state_.size() - 6));
  const Bytes first = NextReply(connection_), second = NextReply(connection_), third = NextReply(connection_);
  EXPECT_EQ(testing::ParseReply(first).echo, wire::kCmdTerminalState);
  EXPECT_EQ(testing::ParseReply(second).echo, wire::kCmdSymbolsTotal);
  EXPECT_EQ(third, first);
  EXPECT_EQ(first.size() + second.size(), two_replies);
  EXPECT_EQ(connection_.Pending(), 0u);
  EXPECT_TRUE(NextReply(connection_).empty());  // nothing due: a read fails rather than waits
}

TEST_F(InProcessTest, AFrameThatCannotBeARequestDropsTheConnectionUntilReset) {
  for (std::uint32_t length : {0u, 3u, server::kMaxRequestLength + 1}) {
    SCOPED_TRACE(length);
    connection_.Reset();
    const Bytes bad = Concat({state_, Request().Add(length).bytes()});
    EXPECT_FALSE(connection_.Write(bad.data(), bad.size()));
    EXPECT_EQ(testing::ParseReply(NextReply(connection_)).echo, wire::kCmdTerminalState);  // what came before stands
    EXPECT_FALSE(connection_.Write(state_.data(), state_.size()));
    EXPECT_TRUE(connection_.dropped());
  }
  connection_.Reset();
  ASSERT_TRUE(connection_.Write(state_.data(), state_.size()));
  EXPECT_EQ(testing::ParseReply(NextReply(connection_)).status, 1);
}

TEST(EmbeddedTerminalTest, TakesOnlyWhatAnEngineCanBe) {
  const std::vector<std::string> stepped = {"--stepped", "1", "--clock", "1709649000", "--cache-dir", "none"};
  struct Case {
    std::vector<std::string> extra;
    const char* message;  // empty: accepted
  };
  const Case cases[] = {
      {{}, ""},
      {{"--stepped", "0"}, "stepped clock"},
      {{"--clock-speed", "5"}, "exclude each other"},
      {{"--history", "EURUSD"}, "history needs history_dir"},
      {{"--data-dir", "/tmp"}, "options of the program"},
      {{"--register"}, "options of the program"},
      {{"--seed", "2abc"}, "bad value '2abc' for seed"},
      {{"--nonsense", "1"}, "nonsense"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = stepped;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    SCOPED_TRACE(c.extra.empty() ? std::string("stepped") : c.extra[0]);
    std::string error;
    auto engine = server::EmbeddedTerminal::Create(args, "", u"/opt/velmora", &error);
    EXPECT_EQ(engine == nullptr, *c.message != 0);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
}

TEST(EmbeddedTerminalTest, TheCarrierServesTheLinkAndStartsEachConnectionAfresh) {
  std::string error;
  auto engine = server::EmbeddedTerminal::Create({"--stepped", "1", "--clock", "1709649000", "--cache-dir", "none"},
                                                 "", u"/opt/velmora", &error);
  ASSERT_TRUE(engine) << error;
  const link::Carrier* carrier = engine->carrier();
  const Bytes state = Request().Frame(wire::kCmdTerminalState);
  ASSERT_TRUE(carrier->open(carrier->peer));
  ASSERT_TRUE(carrier->write(carrier->peer, state.data(), state.size()));
  std::uint8_t head[12];
  ASSERT_TRUE(carrier->read(carrier->peer, head, 12));
  // An unread reply and half a request do not outlive the connection.
  ASSERT_TRUE(carrier->write(carrier->peer, state.data(), state.size()));
  ASSERT_TRUE(carrier->write(carrier->peer, state.data(), 3));
  carrier->close(carrier->peer);
  ASSERT_TRUE(carrier->open(carrier->peer));
  EXPECT_EQ(engine->link().Pending(), 0u);
  ASSERT_TRUE(carrier->write(carrier->peer, state.data(), state.size()));
  EXPECT_EQ(engine->link().Pending(), sizeof(head) + 4);
  EXPECT_EQ(engine->writes(), 4u);
}

}  // namespace
}  // namespace vl5::terminal
