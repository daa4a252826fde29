// The pipe server over real pipes: several clients at once, framing limits,
// client limits, clients that stay silent or stall a request or its reply,
// handlers that throw, idle tracking, and removal of the endpoint when it
// stops; and the guard of the terminal's own threads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <thread>

#include "src/link/os/os.h"
#include "tests/cpp/terminal/request_helpers.h"
#include "terminal/server/fault_hook.h"
#include "terminal/server/request_reader.h"
#include "terminal/server/server.h"
#include "terminal/server/thread_guard.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/status.h"

namespace vl5::terminal {
namespace {

using testing::Bytes;
using testing::Request;

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Unique per test and run: ctest may run the cases in parallel processes.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    runtime_ = std::filesystem::temp_directory_path() /
               ("vl5-server-" + std::string(info->name()).substr(0, 24) + "-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
    std::filesystem::create_directories(runtime_);
#ifdef _WIN32
    _putenv_s("XDG_RUNTIME_DIR", runtime_.string().c_str());
#else
    setenv("XDG_RUNTIME_DIR", runtime_.string().c_str(), 1);
#endif
    address_ = os::PipeAddress(u"VL5.Terminal.SERVERTEST");
    Restart({});
  }
  void Restart(server::Limits limits) {
    server_.reset();
    server_ = std::make_unique<server::Server>(terminal_, address_, limits);
    std::uint32_t error = 0;
    ASSERT_TRUE(server_->Start(&error)) << error;
  }
  // True when the server has closed this client's end.
  static bool Dropped(os::PipeHandle pipe) {
    std::uint8_t byte = 0;
    std::uint32_t error = 0;
    return !os::ReadPipe(pipe, &byte, 1, &error) && error == os::kErrorBrokenPipe;
  }
  void TearDown() override {
    ArmFault("");
    server_.reset();
    std::filesystem::remove_all(runtime_);
  }

  os::PipeHandle Connect() {
    std::uint32_t error = 0;
    os::PipeHandle pipe = os::OpenPipe(address_, &error);
    EXPECT_NE(pipe, os::kInvalidPipe) << error;
    return pipe;
  }
  // Sends a frame and reads one reply; an empty result means the pipe broke.
  static Bytes Exchange(os::PipeHandle pipe, const Bytes& frame) {
    std::uint32_t error = 0;
    return os::WritePipe(pipe, frame.data(), frame.size(), &error) ? ReadReply(pipe) : Bytes{};
  }
  static Bytes ReadReply(os::PipeHandle pipe) {
    std::uint32_t error = 0;
    std::uint8_t header[4];
    if (!os::ReadPipe(pipe, header, 4, &error)) return {};
    Bytes reply(header, header + 4);
    reply.resize(4 + wire::Load<std::uint32_t>(header, 0));
    if (!os::ReadPipe(pipe, reply.data() + 4, reply.size() - 4, &error)) return {};
    return reply;
  }
  // As terminal64 arms it at start from its environment.
  static void ArmFault(const std::string& value) {
#ifdef _WIN32
    _putenv_s("VL5_TERMINAL_FAULT", value.c_str());
#else
    setenv("VL5_TERMINAL_FAULT", value.c_str(), 1);
#endif
    server::ArmFaultFromEnvironment();
  }
  void WaitForClients(std::size_t count) {
    for (int i = 0; i < 200 && server_->ActiveClients() != count; ++i) os::SleepMs(10);
    EXPECT_EQ(server_->ActiveClients(), count);
  }

  std::filesystem::path runtime_;
  std::u16string address_;
  Terminal terminal_{testing::TestSettings(), testing::TestFolders()};
  std::unique_ptr<server::Server> server_;
};

TEST_F(ServerTest, ServesSeveralClientsAtOnce) {
  const Bytes tick = Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick);
  os::PipeHandle first = Connect();
  const Bytes expected = Exchange(first, tick);
  os::ClosePipe(first);
  ASSERT_EQ(expected.size(), 12u + 60u);
  std::vector<std::thread> clients;
  std::vector<int> good(4, 0);
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      os::PipeHandle pipe = Connect();
      for (int i = 0; i < 50; ++i) good[c] += Exchange(pipe, tick) == expected ? 1 : 0;
      os::ClosePipe(pipe);
    });
  }
  for (std::thread& t : clients) t.join();
  for (int c = 0; c < 4; ++c) EXPECT_EQ(good[c], 50) << "client " << c;
}

TEST_F(ServerTest, OversizedOrTooShortRequestsDropOnlyThatClient) {
  os::PipeHandle healthy = Connect();
  for (std::uint32_t length : {server::kMaxRequestLength + 1, 3u, 0u}) {
    os::PipeHandle bad = Connect();
    Request header;
    header.Add(length).Add(wire::kCmdTerminalState);
    EXPECT_TRUE(Exchange(bad, header.bytes()).empty()) << length;
    os::ClosePipe(bad);
  }
  const Bytes state = Exchange(healthy, Request().Frame(wire::kCmdTerminalState));
  ASSERT_EQ(state.size(), 16u);
  EXPECT_EQ(wire::Load<std::uint32_t>(state.data(), 12), wire::kStateReady);
  // The largest request allowed is still read and answered (here: refused as malformed).
  Bytes big = Request().Frame(wire::kCmdSymbolsTotal);
  big.resize(4 + server::kMaxRequestLength, 0);
  wire::Store<std::uint32_t>(big.data(), 0, server::kMaxRequestLength);
  const Bytes refused = Exchange(healthy, big);
  ASSERT_EQ(refused.size(), 12u);
  EXPECT_EQ(wire::Load<std::int32_t>(refused.data(), 8), wire::kInvalidParams);
  os::ClosePipe(healthy);
}

TEST_F(ServerTest, RequestsSentTogetherAreAnsweredInOrder) {
  const Bytes tick = Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick);
  const Bytes state = Request().Frame(wire::kCmdTerminalState);
  Bytes big = Request().Frame(wire::kCmdSymbolsTotal);  // longer than a read step, refused as malformed
  big.resize(200 * 1024, 0);
  wire::Store<std::uint32_t>(big.data(), 0, static_cast<std::uint32_t>(big.size() - 4));
  os::PipeHandle pipe = Connect();
  const Bytes expected_tick = Exchange(pipe, tick);
  ASSERT_EQ(expected_tick.size(), 12u + 60u);
  // One write: a long request, two short ones, and the start of a third whose
  // rest follows later.
  Bytes burst = big;
  for (const Bytes& frame : {tick, state}) burst.insert(burst.end(), frame.begin(), frame.end());
  burst.insert(burst.end(), tick.begin(), tick.begin() + 6);
  std::uint32_t error = 0;
  ASSERT_TRUE(os::WritePipe(pipe, burst.data(), burst.size(), &error));
  const Bytes refused = ReadReply(pipe);
  ASSERT_EQ(refused.size(), 12u);
  EXPECT_EQ(wire::Load<std::int32_t>(refused.data(), 8), wire::kInvalidParams);
  EXPECT_EQ(ReadReply(pipe), expected_tick);
  EXPECT_EQ(ReadReply(pipe).size(), 16u);
  os::SleepMs(50);
  ASSERT_TRUE(os::WritePipe(pipe, tick.data() + 6, tick.size() - 6, &error));
  EXPECT_EQ(ReadReply(pipe), expected_tick);
  os::ClosePipe(pipe);
}

TEST_F(ServerTest, CountsClientsAndIdleTime) {
  os::PipeHandle a = Connect();
  os::PipeHandle b = Connect();
  WaitForClients(2);
  EXPECT_EQ(server_->IdleMs(), 0);
  os::ClosePipe(a);
  WaitForClients(1);
  os::ClosePipe(b);
  WaitForClients(0);
  os::SleepMs(30);
  EXPECT_GE(server_->IdleMs(), 30);
}

TEST_F(ServerTest, ClientsBeyondTheLimitAreClosedAndTheOthersServed) {
  Restart({2, 10000});
  const Bytes state = Request().Frame(wire::kCmdTerminalState);
  os::PipeHandle first = Connect();
  os::PipeHandle second = Connect();
  WaitForClients(2);
  os::PipeHandle third = Connect();
  EXPECT_TRUE(Dropped(third));
  EXPECT_EQ(Exchange(first, state).size(), 16u);
  EXPECT_EQ(Exchange(second, state).size(), 16u);
  os::ClosePipe(first);
  WaitForClients(1);
  os::PipeHandle later = Connect();  // a freed place is taken again
  EXPECT_EQ(Exchange(later, state).size(), 16u);
  for (os::PipeHandle pipe : {second, third, later}) os::ClosePipe(pipe);
}

TEST_F(ServerTest, AClientStalledInsideARequestIsDropped) {
  Restart({8, 200});
  const Bytes whole = Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick);
  os::PipeHandle idle = Connect();  // between requests: kept however long
  ASSERT_EQ(Exchange(idle, whole).size(), 12u + 60u);
  // Stalled in the header, and in a body announced far longer than it is sent.
  Bytes announced = Request().Frame(wire::kCmdSymbolsTotal);
  wire::Store<std::uint32_t>(announced.data(), 0, server::kMaxRequestLength);
  // And in the header of a request sent right after a whole one, which is answered.
  Bytes after_whole = whole;
  after_whole.insert(after_whole.end(), whole.begin(), whole.begin() + 2);
  for (const Bytes& part : {Bytes(whole.begin(), whole.begin() + 2), announced, after_whole}) {
    os::PipeHandle stalled = Connect();
    std::uint32_t error = 0;
    ASSERT_TRUE(os::WritePipe(stalled, part.data(), part.size(), &error));
    if (part.size() > whole.size()) {
      EXPECT_EQ(ReadReply(stalled).size(), 12u + 60u);
    }
    EXPECT_TRUE(Dropped(stalled));
    os::ClosePipe(stalled);
  }
  WaitForClients(1);
  EXPECT_EQ(Exchange(idle, whole).size(), 12u + 60u);
  os::ClosePipe(idle);
}

TEST_F(ServerTest, ARequestSentByteByByteMustStillCompleteWithinTheDeadline) {
  Restart({8, 400});
  const Bytes whole = Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick);
  os::PipeHandle idle = Connect();
  ASSERT_EQ(Exchange(idle, whole).size(), 12u + 60u);
  // 24 bytes, each 50 ms after the one before: every gap is well inside the
  // deadline, the request as a whole takes three times as long.
  os::PipeHandle trickle = Connect();
  std::uint32_t error = 0;
  for (std::uint8_t byte : whole) {
    if (!os::WritePipe(trickle, &byte, 1, &error)) break;  // already dropped
    os::SleepMs(50);
  }
  EXPECT_TRUE(Dropped(trickle));
  os::ClosePipe(trickle);
  EXPECT_EQ(Exchange(idle, whole).size(), 12u + 60u);
  os::ClosePipe(idle);
}

TEST_F(ServerTest, ASilentConnectionLosesItsPlaceAndOneThatSpokeMayIdle) {
  Restart({2, 200});
  const Bytes state = Request().Frame(wire::kCmdTerminalState);
  os::PipeHandle spoke = Connect();
  ASSERT_EQ(Exchange(spoke, state).size(), 16u);
  os::PipeHandle silent = Connect();  // takes the last place
  WaitForClients(2);
  EXPECT_TRUE(Dropped(silent));
  os::ClosePipe(silent);
  WaitForClients(1);
  os::PipeHandle later = Connect();  // the place is free again
  EXPECT_EQ(Exchange(later, state).size(), 16u);
  os::SleepMs(500);  // idle between requests far past the deadline
  EXPECT_EQ(Exchange(spoke, state).size(), 16u);
  EXPECT_EQ(Exchange(later, state).size(), 16u);
  os::ClosePipe(spoke);
  os::ClosePipe(later);
}

TEST_F(ServerTest, AHandlerThatThrowsFailsItsRequestAndTheTerminalGoesOn) {
  const Bytes tick = Request().Str(u"EURUSD").Frame(wire::kCmdSymbolInfoTick);
  const Bytes state = Request().Frame(wire::kCmdTerminalState);
  const Bytes total = Request().Frame(wire::kCmdSymbolsTotal);
  os::PipeHandle victim = Connect();
  os::PipeHandle other = Connect();
  const Bytes expected_tick = Exchange(victim, tick);
  const Bytes expected_state = Exchange(other, state);
  const Bytes expected_total = Exchange(other, total);
  ASSERT_EQ(expected_tick.size(), 12u + 60u);
  ASSERT_EQ(expected_state.size(), 16u);
  ASSERT_EQ(expected_total.size(), 16u);
  const std::pair<const char*, std::int32_t> faults[] = {{"handler_alloc:", wire::kOutOfMemory},
                                                         {"handler_throw:", wire::kTerminalCallFailed}};
  for (const auto& [fault, status] : faults) {
    ArmFault(fault + std::to_string(wire::kCmdSymbolInfoTick));
    for (int i = 0; i < 3; ++i) {
      // A failure reply: the status alone, with the request's echo.
      const Bytes failed = Exchange(victim, tick);
      ASSERT_EQ(failed.size(), 12u) << fault;
      EXPECT_EQ(wire::Load<std::uint32_t>(failed.data(), 0), 8u);
      EXPECT_EQ(wire::Load<std::uint32_t>(failed.data(), 4), wire::kCmdSymbolInfoTick);
      EXPECT_EQ(wire::Load<std::int32_t>(failed.data(), 8), status) << fault;
      EXPECT_EQ(Exchange(victim, state), expected_state) << fault;  // the same connection goes on
      EXPECT_EQ(Exchange(other, state), expected_state) << fault;
      EXPECT_EQ(Exchange(other, total), expected_total) << fault;
    }
  }
  ArmFault("");
  EXPECT_EQ(Exchange(victim, tick), expected_tick);
  EXPECT_EQ(server_->ActiveClients(), 2u);
  os::ClosePipe(victim);
  os::ClosePipe(other);
}

// What leaves a thread's body is reported; left alone it would end the process.
TEST(ThreadGuardTest, AnExceptionEndingAThreadIsReportedNotFatal) {
  const std::pair<void (*)(), const char*> throws[] = {{[] { throw std::bad_alloc(); }, "out of memory"},
                                                       {[] { throw std::runtime_error("broken"); }, "broken"},
                                                       {[] { throw 7; }, "unknown exception"}};
  for (const auto& [body, what] : throws) {
    ::testing::internal::CaptureStderr();
    bool ended_normally = true;
    std::thread thread([&, body = body] { ended_normally = server::RunReported("test", body); });
    thread.join();
    EXPECT_FALSE(ended_normally);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string("terminal64: test thread stopped: ") + what + "\n");
  }
}

// 20000 minute bars: a reply of 1.2 MB, far more than any pipe buffers.
Bytes BigReplyRequest() {
  return Request()
      .Str(u"EURUSD")
      .Add<std::int32_t>(wire::TIMEFRAME_M1)
      .Add<std::int32_t>(0)
      .Add<std::int32_t>(20000)
      .Frame(wire::kCmdCopyRatesFromPos);
}
constexpr std::size_t kBigReplySize = 16 + 20000 * 60;  // frame header, status, bar count, bars

TEST_F(ServerTest, AClientThatStopsTakingItsReplyIsDropped) {
  Restart({8, 10000, 100});
  os::PipeHandle idle = Connect();  // between requests: kept however long
  os::PipeHandle deaf = Connect();
  WaitForClients(2);
  const Bytes request = BigReplyRequest();
  std::uint32_t error = 0;
  ASSERT_TRUE(os::WritePipe(deaf, request.data(), request.size(), &error));
  WaitForClients(1);  // its place is free again
  // What was still buffered arrives, then the pipe ends short of the reply.
  std::vector<std::uint8_t> reply(kBigReplySize);
  std::size_t got = 0;
  for (std::size_t piece = 1024; got < reply.size(); got += piece) {
    piece = std::min(piece, reply.size() - got);
    if (!os::ReadPipe(deaf, reply.data() + got, piece, &error)) break;
  }
  EXPECT_LT(got, kBigReplySize);
  EXPECT_EQ(error, os::kErrorBrokenPipe);
  os::ClosePipe(deaf);
  EXPECT_EQ(Exchange(idle, request).size(), kBigReplySize);
  os::ClosePipe(idle);
}

TEST_F(ServerTest, ASlowButSteadyReaderGetsTheWholeReply) {
  Restart({8, 10000, 250});
  const Bytes request = BigReplyRequest();
  os::PipeHandle fast = Connect();
  const Bytes expected = Exchange(fast, request);
  os::ClosePipe(fast);
  ASSERT_EQ(expected.size(), kBigReplySize);
  // Taking the reply takes about twice the stall limit, with no gap near it.
  os::PipeHandle slow = Connect();
  std::uint32_t error = 0;
  ASSERT_TRUE(os::WritePipe(slow, request.data(), request.size(), &error));
  Bytes reply(kBigReplySize);
  for (std::size_t got = 0; got < reply.size(); got += 64 * 1024) {
    os::SleepMs(25);
    ASSERT_TRUE(os::ReadPipe(slow, reply.data() + got, std::min<std::size_t>(64 * 1024, reply.size() - got), &error))
        << "dropped after " << got << " bytes";
  }
  EXPECT_TRUE(reply == expected);
  os::ClosePipe(slow);
}

TEST_F(ServerTest, StopsWhenItsSocketFileIsGone) {
  os::PipeHandle client = Connect();
#ifndef _WIN32
  std::filesystem::remove(std::filesystem::path(std::u16string(address_)));
#endif
  server_->Stop();  // returns: the accept thread is woken without the file
  os::ClosePipe(client);
  WaitForClients(0);
}

TEST_F(ServerTest, StoppingRemovesTheEndpoint) {
  server_->Stop();
  std::uint32_t error = 0;
  EXPECT_EQ(os::OpenPipe(address_, &error), os::kInvalidPipe);
#ifndef _WIN32
  EXPECT_FALSE(os::Exists(address_));
#endif
}

}  // namespace
}  // namespace vl5::terminal
