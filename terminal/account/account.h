// Trading accounts: who may log in, and the money of each account. The
// trading engine keeps the positions, orders and deals (trading/ledger.h);
// it settles closed deals into the balance here and tells the account what
// its open positions are worth and tie up, so the account record is live.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace vl5::terminal {

struct AccountConfig {
  std::uint64_t login = 0;
  std::u16string password;
  std::u16string server;
  std::u16string name;
  bool otp = false;  // needs a one-time password, which this interface cannot send
  double balance = 10000.0;
  std::uint32_t leverage = 100;
  // Trading costs (trading/costs.h), unless a symbol sets its own.
  double commission_per_lot = 0.0;  // account currency per lot and deal
  double commission_percent = 0.0;  // of each deal's value
  // Margin levels in percent: below the call a warning, below the stop-out
  // the most losing positions are closed.
  double margin_call = 50.0;
  double margin_stop_out = 30.0;
};

// 10001 "demo" and 10002 "demo2" on Velmora-Demo; 10003 needs a one-time password.
std::vector<AccountConfig> DefaultAccounts();

class Account {
 public:
  explicit Account(AccountConfig config);

  const AccountConfig& config() const { return config_; }
  std::uint64_t login() const { return config_.login; }
  // An empty server matches any: the caller did not say which.
  bool Accepts(const std::u16string& password, const std::u16string& server) const;

  double balance() const { return balance_; }
  double credit() const { return credit_; }
  double profit() const { return profit_; }
  // Sums are kept to the cent, the account currency's digits.
  double equity() const { return Cents(balance_ + credit_ + profit_); }
  double margin() const { return margin_; }
  double margin_free() const { return Cents(equity() - margin_); }
  // Percent; 0 while no margin is used.
  double margin_level() const { return margin_ > 0.0 ? 100.0 * equity() / margin_ : 0.0; }

  // A deal's profit (or loss), swap and commission move into the balance,
  // which stays a whole number of cents however many deals add up.
  void Settle(double amount) { balance_ = Cents(balance_ + amount); }
  // Floating profit and used margin of the open positions, as valued now.
  void Revalue(double profit, double margin) {
    profit_ = profit;
    margin_ = margin;
  }

 private:
  static double Cents(double amount) { return std::round(amount * 100.0) / 100.0; }

  AccountConfig config_;
  double balance_;
  double credit_ = 0.0;
  double profit_ = 0.0;
  double margin_ = 0.0;
};

class AccountBook {
 public:
  explicit AccountBook(const std::vector<AccountConfig>& configs);
  Account* Find(std::uint64_t login);
  const Account* Find(std::uint64_t login) const;

 private:
  std::vector<Account> accounts_;
};

}  // namespace vl5::terminal
