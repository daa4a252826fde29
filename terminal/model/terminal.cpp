#include "terminal/model/terminal.h"

#include "terminal/model/account/account_record.h"
#include "src/wire/commands.h"

namespace vl5::terminal {

namespace {

// The built-in symbols as the settings file changes them.
std::vector<market::SymbolSpec> ConfiguredSymbols(const Settings& settings) {
  std::vector<market::SymbolSpec> symbols = market::DefaultSymbols();
  for (const SymbolConfig& config : settings.symbols) {
    for (market::SymbolSpec& spec : symbols) {
      if (spec.name != config.name) continue;
      if (config.commission_per_lot) spec.commission_per_lot = config.commission_per_lot;
      if (config.commission_percent) spec.commission_percent = config.commission_percent;
    }
  }
  return symbols;
}

}  // namespace

Terminal::Terminal(Settings settings, Folders folders, const market::Histories& histories)
    : settings_(std::move(settings)),
      folders_(std::move(folders)),
      clock_(settings_.clock_start, settings_.clock_speed),
      market_(ConfiguredSymbols(settings_), settings_.seed, histories),
      login_(settings_.accounts, settings_.login, settings_.connect_delay) {
  for (std::size_t i = 0; i < market_.size(); ++i) selected_.push_back(market_.spec(i).selected);
  // The accounts come into being with the terminal; their history starts with the deposit.
  const std::int64_t created_ms = clock_.NowMs();
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

bool Terminal::Selected(std::size_t symbol) {
  std::lock_guard<std::mutex> lock(mutex_);
  return selected_[symbol];
}

void Terminal::Select(std::size_t symbol, bool enable) {
  std::lock_guard<std::mutex> lock(mutex_);
  selected_[symbol] = enable;
}

}  // namespace vl5::terminal
