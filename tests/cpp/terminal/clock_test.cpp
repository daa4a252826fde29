// The market's clocks, and the stepped clock's control requests.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "terminal/model/clock.h"
#include "tests/cpp/terminal/request_helpers.h"
#include "src/wire/commands.h"
#include "src/wire/market_codes.h"
#include "src/wire/status.h"

namespace vl5::terminal {
namespace {

using testing::Call;
using testing::Request;

constexpr std::int64_t kFriday2150 = 1700257800;  // 2023-11-17 21:50 UTC: currencies close at 22:00

TEST(ClockTest, ASetClockStandsStillOrRunsAtItsSpeed) {
  const auto still = MakeClock(1700000000, 0, false);
  const auto fast = MakeClock(1700000000, 1000, false);
  const std::int64_t start = fast->NowMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(still->NowMs(), 1700000000000);
  EXPECT_GE(start, 1700000000000);
  EXPECT_GE(fast->NowMs() - start, 30 * 1000);  // 30 ms of real time are 30 s of market
  EXPECT_FALSE(fast->MoveTo(1800000000000));    // only a stepped clock moves on request
  // A running clock stops at the latest moment instead of overflowing.
  const auto late = MakeClock(kLatestClockSeconds - 1, 3600, false);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(late->NowMs(), kLatestClockMs);
}

TEST(ClockTest, ASteppedClockMovesOnlyForwardAndNeverPastItsBound) {
  const auto clock = MakeClock(1700000000, 0, true);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(clock->NowMs(), 1700000000000);
  EXPECT_TRUE(clock->MoveTo(1700000000000));  // standing still is a step of nothing
  EXPECT_FALSE(clock->MoveTo(1699999999999));
  EXPECT_FALSE(clock->MoveTo(kLatestClockMs + 1));
  EXPECT_EQ(clock->NowMs(), 1700000000000);
  EXPECT_TRUE(clock->MoveTo(kLatestClockMs));
  EXPECT_EQ(clock->NowMs(), kLatestClockMs);
}

class SteppedTerminalTest : public ::testing::Test {
 protected:
  static Settings Stepped(bool stepped) {
    Settings settings = testing::TestSettings();
    settings.clock_start = kFriday2150;
    settings.stepped = stepped;
    return settings;
  }
  testing::Reply NextBar(Terminal& terminal, const std::u16string& symbol, std::int32_t timeframe) {
    return Call(terminal, client_, wire::kCmdClockNextBar, Request().Str(symbol).Add(timeframe).bytes());
  }
  testing::Reply AdvanceTo(Terminal& terminal, std::int64_t ms) {
    return Call(terminal, client_, wire::kCmdClockAdvanceTo, Request().Add(ms).bytes());
  }

  server::ClientState client_;
};

TEST_F(SteppedTerminalTest, NextBarSkipsTheWeekendForACurrencyButNotForCrypto) {
  Terminal currency(Stepped(true), testing::TestFolders());
  EXPECT_EQ(NextBar(currency, u"EURUSD", wire::TIMEFRAME_M15).At<std::int64_t>(0), 1700258400000);  // Fri 22:00
  EXPECT_EQ(NextBar(currency, u"EURUSD", wire::TIMEFRAME_M15).At<std::int64_t>(0), 1700432100000);  // Sun 22:15
  EXPECT_EQ(currency.NowMs(), 1700432100000);
  const testing::Reply now = Call(currency, client_, wire::kCmdClockNow, {});
  EXPECT_EQ(now.status, wire::kSuccess);
  EXPECT_EQ(now.At<std::int64_t>(0), 1700432100000);

  Terminal crypto(Stepped(true), testing::TestFolders());
  EXPECT_EQ(NextBar(crypto, u"BTCUSD", wire::TIMEFRAME_M15).At<std::int64_t>(0), 1700258400000);
  EXPECT_EQ(NextBar(crypto, u"BTCUSD", wire::TIMEFRAME_M15).At<std::int64_t>(0), 1700259300000);  // Fri 22:15
}

TEST_F(SteppedTerminalTest, RefusedControlsChangeNothing) {
  Terminal stepped(Stepped(true), testing::TestFolders());
  Terminal frozen(Stepped(false), testing::TestFolders());
  const std::int64_t start = kFriday2150 * 1000;
  const struct {
    Terminal* terminal;
    std::uint32_t command;
    testing::Bytes payload;
    std::int32_t status;
  } kCases[] = {
      {&stepped, wire::kCmdClockAdvanceTo, Request().Add(start - 1).bytes(), wire::kInvalidParams},  // backwards
      {&stepped, wire::kCmdClockAdvanceTo, Request().Add(kLatestClockMs + 1).bytes(), wire::kInvalidParams},
      {&stepped, wire::kCmdClockAdvanceTo, Request().Add(std::int32_t{5}).bytes(), wire::kInvalidParams},
      {&stepped, wire::kCmdClockNextBar, Request().Str(u"NOSUCH").Add(wire::TIMEFRAME_M15).bytes(), wire::kNotFound},
      {&stepped, wire::kCmdClockNextBar, Request().Str(u"EURUSD").Add(std::int32_t{7}).bytes(), wire::kInvalidParams},
      {&stepped, wire::kCmdClockNow, Request().Add(std::int32_t{0}).bytes(), wire::kInvalidParams},
      {&frozen, wire::kCmdClockNow, {}, wire::kUnsupportedFunction},
      {&frozen, wire::kCmdClockAdvanceTo, Request().Add(start + 60000).bytes(), wire::kUnsupportedFunction},
      {&frozen, wire::kCmdClockNextBar, Request().Str(u"EURUSD").Add(wire::TIMEFRAME_M15).bytes(),
       wire::kUnsupportedFunction},
  };
  for (const auto& c : kCases) {
    const testing::Reply reply = Call(*c.terminal, client_, c.command, c.payload);
    EXPECT_EQ(reply.status, c.status) << c.command;
    EXPECT_TRUE(reply.data.empty()) << c.command;
    EXPECT_EQ(c.terminal->NowMs(), start) << c.command;
  }
  const testing::Reply moved = AdvanceTo(stepped, start + 60000);
  EXPECT_EQ(moved.status, wire::kSuccess);
  EXPECT_EQ(moved.At<std::int64_t>(0), start + 60000);
  EXPECT_EQ(stepped.NowMs(), start + 60000);
}

}  // namespace
}  // namespace vl5::terminal
