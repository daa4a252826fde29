#include "terminal/model/terminal.h"

#include <algorithm>
#include <stdexcept>

#include "terminal/base/calendar.h"
#include "terminal/model/account/account_record.h"
#include "terminal/model/market/ticks.h"
#include "src/link/os/clock.h"
#include "src/wire/commands.h"

namespace vl5::terminal {

namespace {

// The symbols as the settings file defines and changes them. Settings are
// checked before a terminal is made of them, so a problem here is a caller's.
std::vector<market::SymbolSpec> ConfiguredSymbols(const Settings& settings) {
  std::vector<market::SymbolSpec> symbols;
  market::SymbolProblem problem;
  if (!market::BuildSymbols(settings.symbols, &symbols, &problem)) {
    throw std::invalid_argument("terminal.ini line " + std::to_string(problem.line) + ": " + problem.message);
  }
  return symbols;
}

}  // namespace

Terminal::Terminal(Settings settings, Folders folders, const market::Histories& histories)
    : settings_(std::move(settings)),
      folders_(std::move(folders)),
      clock_(MakeClock(settings_.clock_start, settings_.clock_speed, settings_.stepped)),
      market_(ConfiguredSymbols(settings_), settings_.seed, histories),
      login_(settings_.accounts, settings_.login, settings_.connect_delay) {
  for (std::size_t i = 0; i < market_.size(); ++i) selected_.push_back(market_.spec(i).selected);
  // The accounts come into being with the terminal; their history starts with the deposit.
  const std::int64_t created_ms = clock_->NowMs();
  for (const AccountConfig& account : settings_.accounts) {
    ledgers_.emplace(account.login, trading::Ledger(account.balance, created_ms));
  }
}

LoginOutcome Terminal::Login(std::uint64_t login, const std::u16string& password, const std::u16string& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  return login_.Login(login, password, server, SteadyMs());
}

std::uint32_t Terminal::ConnectionState() {
  std::lock_guard<std::mutex> lock(mutex_);
  return login_.State(SteadyMs());
}

bool Terminal::Connected() { return ConnectionState() == wire::kStateReady; }

bool Terminal::AccountRecord(std::int64_t now_ms, std::vector<std::uint8_t>* record) {
  const bool trade_expert = settings_.trade_allowed && !settings_.tradeapi_disabled;
  return Trade(now_ms, [&](trading::Engine& engine) { *record = BuildAccountRecord(engine.account(), trade_expert); });
}

bool Terminal::Trade(std::int64_t now_ms, const std::function<void(trading::Engine&)>& work) {
  std::lock_guard<std::mutex> lock(mutex_);
  Account* account = login_.account();
  if (account == nullptr) return false;
  auto ledger = ledgers_.find(account->login());
  if (ledger == ledgers_.end()) return false;
  trading::Engine engine(market_, *account, ledger->second, now_ms);
  engine.CatchUp();
  work(engine);
  return true;
}

std::int64_t Terminal::FillMoment(std::int64_t now_ms, const trading::TradeRequest& request) {
  const bool standing = settings_.clock_start && settings_.clock_speed == 0 && !settings_.stepped;
  if (request.action != wire::TRADE_ACTION_DEAL || standing) return now_ms;
  std::lock_guard<std::mutex> lock(mutex_);
  Account* account = login_.account();
  if (account == nullptr || account->config().latency_ms == 0) return now_ms;
  std::optional<std::size_t> symbol = market_.Find(request.symbol);
  auto ledger = ledgers_.find(account->login());
  if (request.position != 0 && ledger != ledgers_.end()) {
    if (const trading::Position* position = ledger->second.FindPosition(request.position)) symbol = position->symbol;
  }
  if (!symbol) return now_ms;
  const std::int64_t latency = account->config().latency_ms;
  const std::int64_t due = std::min(now_ms + latency, kLatestClockMs);
  std::int64_t first_ms = due;
  // An open market ticks every minute, so a minute is enough to look.
  constexpr std::int64_t kLookMs = 60000;
  market::ScanTicks(market_.path(*symbol), due, std::min(due + kLookMs, kLatestClockMs), market::TickFilter::kAll, 1,
                    [&](const market::Tick& tick) { first_ms = tick.time_msc; });
  return first_ms;
}

void Terminal::WaitForClock(std::int64_t ms) const {
  if (clock_->stepped() || (settings_.clock_start && settings_.clock_speed == 0)) return;
  const std::int64_t speed = settings_.clock_start ? settings_.clock_speed : 1;
  for (std::int64_t now = clock_->NowMs(); now < ms; now = clock_->NowMs()) {
    // Short naps, so that a fast clock is not overslept by much.
    os::SleepMs(static_cast<std::uint32_t>(std::clamp<std::int64_t>((ms - now) / speed, 1, 20)));
  }
}

ClockMove Terminal::AdvanceTo(std::int64_t to_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  return MoveLocked(to_ms);
}

ClockMove Terminal::NextBar(std::size_t symbol, std::int32_t timeframe, std::int64_t* moment_ms) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!clock_->stepped()) return ClockMove::kNotStepped;
  if (!market::ValidTimeframe(timeframe)) return ClockMove::kOutOfRange;
  // The bar now forming completes at its end if it holds a tick already or
  // will; otherwise the next bar with a tick does, however long the market
  // stays closed first.
  const std::int64_t now_ms = clock_->NowMs();
  const std::int64_t forming = market::BarOpen(timeframe, market::BarIndex(timeframe, market::FloorDiv(now_ms, 1000)));
  std::int64_t first_ms = -1;
  market::ScanTicks(market_.path(symbol), forming * 1000, kLatestClockMs, market::TickFilter::kAll, 1,
                    [&](const market::Tick& tick) { first_ms = tick.time_msc; });
  if (first_ms < 0) return ClockMove::kNoBarAhead;
  const std::int64_t index = market::BarIndex(timeframe, market::FloorDiv(first_ms, 1000));
  const std::int64_t end_seconds = market::BarOpen(timeframe, index + 1);
  if (end_seconds > kLatestClockSeconds) return ClockMove::kNoBarAhead;
  const ClockMove moved = MoveLocked(end_seconds * 1000);
  if (moved == ClockMove::kMoved) *moment_ms = end_seconds * 1000;
  return moved;
}

ClockMove Terminal::MoveLocked(std::int64_t to_ms) {
  if (!clock_->stepped()) return ClockMove::kNotStepped;
  if (!clock_->MoveTo(to_ms)) return ClockMove::kOutOfRange;
  for (auto& [login, ledger] : ledgers_) {
    Account* account = login_.Find(login);
    if (account == nullptr) continue;
    trading::Engine engine(market_, *account, ledger, to_ms);
    engine.CatchUp();
  }
  return ClockMove::kMoved;
}

bool Terminal::Selected(std::size_t symbol) {
  std::lock_guard<std::mutex> lock(mutex_);
  return selected_[symbol];
}

void Terminal::Select(std::size_t symbol, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  selected_[symbol] = enable;
}

}  // namespace vl5::terminal
