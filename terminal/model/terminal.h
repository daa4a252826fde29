// The terminal: settings, folders, clock and market, which never change
// after start, and the state that clients change (the login state, the
// market-watch selection, each account's trading ledger), guarded by one
// mutex. Every method may be called from any client thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "terminal/model/clock.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/account/login_state.h"
#include "terminal/base/settings.h"
#include "terminal/model/trading/engine.h"
#include "terminal/model/trading/ledger.h"

namespace vl5::terminal {

struct Folders {
  std::u16string install;  // holds the executable
  std::u16string data;     // this installation's data folder
  std::u16string common;   // shared by all installations
};

class Terminal {
 public:
  // Symbols named in `histories` serve them instead of generated prices.
  Terminal(Settings settings, Folders folders, const market::Histories& histories = {});
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  const Settings& settings() const { return settings_; }
  const Folders& folders() const { return folders_; }
  const market::Market& market() const { return market_; }
  std::int64_t NowMs() const { return clock_->NowMs(); }
  bool stepped() const { return clock_->stepped(); }

  // Moves a stepped clock forward to `to_ms` (at most kLatestClockMs) and walks
  // every account's trading up to it, tick by tick: pending orders, stops,
  // swaps at the rollover and stop-out happen as in a replay through the
  // same moments. Nothing changes unless it answers kMoved.
  ClockMove AdvanceTo(std::int64_t to_ms);
  // The same, to the moment the next bar of `timeframe` of `symbol` completes:
  // the end of the bar now forming, or of the first bar with ticks after a
  // closed market. *moment_ms is that moment.
  ClockMove NextBar(std::size_t symbol, std::int32_t timeframe, std::int64_t* moment_ms);

  LoginOutcome Login(std::uint64_t login, const std::u16string& password, const std::u16string& server);
  std::uint32_t ConnectionState();
  bool Connected();
  // The logged-in account's 851-byte record, valued at `now_ms`; false when
  // none is authorized.
  bool AccountRecord(std::int64_t now_ms, std::vector<std::uint8_t>* record);

  // Runs `work` under the lock on the logged-in account's trading engine,
  // caught up with the market at `now_ms` first; false when no account is
  // authorized. Each account keeps its own ledger, so a login switches them.
  bool Trade(std::int64_t now_ms, const std::function<void(trading::Engine&)>& work);
  // When a market deal that the logged-in account sends at `now_ms` fills:
  // after its latency_ms, at the first tick of the symbol from then on
  // (within a minute: a closed market fills at that moment). now_ms for any other
  // request, an account without latency, or a clock that stands still.
  std::int64_t FillMoment(std::int64_t now_ms, const trading::TradeRequest& request);
  // Returns once a running clock has reached `ms` (at once for a stepped or
  // a standing clock), holding no lock meanwhile.
  void WaitForClock(std::int64_t ms) const;
  // Numbers the order_send requests, 1 for the first.
  std::uint32_t NextRequestId() { return ++request_ids_; }

  bool Selected(std::size_t symbol);
  void Select(std::size_t symbol, bool enable);

 private:
  ClockMove MoveLocked(std::int64_t to_ms);

  const Settings settings_;
  const Folders folders_;
  const std::unique_ptr<Clock> clock_;
  const market::Market market_;

  std::mutex mutex_;
  LoginState login_;
  std::vector<bool> selected_;
  std::map<std::uint64_t, trading::Ledger> ledgers_;  // by login

  std::atomic<std::uint32_t> request_ids_{0};
};

}  // namespace vl5::terminal
