#include "core/terminal.h"

#include "info/account_record.h"
#include "wire/commands.h"

namespace vl5::terminal {

Terminal::Terminal(Settings settings, Folders folders)
    : settings_(std::move(settings)),
      folders_(std::move(folders)),
      clock_(settings_.frozen_clock),
      market_(market::DefaultSymbols(), settings_.seed),
      session_(settings_.accounts, settings_.login, settings_.connect_delay) {
  for (std::size_t i = 0; i < market_.size(); ++i) selected_.push_back(market_.spec(i).selected);
}

LoginOutcome Terminal::Login(std::uint64_t login, const std::u16string& password, const std::u16string& server) {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_.Login(login, password, server, SteadyMs());
}

std::uint32_t Terminal::ConnectionState() {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_.State(SteadyMs());
}

bool Terminal::Connected() { return ConnectionState() == wire::kStateReady; }

bool Terminal::AccountRecord(std::vector<std::uint8_t>* record) {
  std::lock_guard<std::mutex> lock(mutex_);
  const Account* account = session_.account();
  if (account == nullptr) return false;
  *record = BuildAccountRecord(*account, settings_.trade_allowed && !settings_.tradeapi_disabled);
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
