#include "terminal/model/terminal.h"

#include "terminal/base/calendar.h"
#include "terminal/model/account/account_record.h"
#include "terminal/model/market/hours_text.h"
#include "terminal/model/market/ticks.h"
#include "src/wire/commands.h"

namespace vl5::terminal {

namespace {

// The hours keys of a [Symbol] section on top of the symbol's own: a zone
// alone moves the same windows into it; `data` leaves the windows alone.
void ApplyHours(const SymbolConfig& config, market::SymbolSpec* spec) {
  std::shared_ptr<const TimeZone> zone = config.timezone ? config.timezone : spec->hours.shared_zone();
  std::vector<market::OpenWindow> windows = spec->hours.windows();
  if (config.hours) {
    market::HoursText text;
    std::string error;  // the settings checked the text already
    if (!market::ParseHoursText(*config.hours, &text, &error)) return;
    if (text.from_data) {
      spec->hours_from_data = true;
    } else {
      windows = std::move(text.windows);
    }
  }
  spec->hours = market::TradingHours(std::move(windows), std::move(zone));
}

// The built-in symbols as the settings file changes them.
std::vector<market::SymbolSpec> ConfiguredSymbols(const Settings& settings) {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (const SymbolConfig& config : settings.symbols) {
    for (market::SymbolSpec& spec : symbols) {
      if (spec.name != config.name) continue;
      if (config.commission_per_lot) spec.commission_per_lot = config.commission_per_lot;
      if (config.commission_percent) spec.commission_percent = config.commission_percent;
      if (config.timezone || config.hours) ApplyHours(config, &spec);
    }
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
