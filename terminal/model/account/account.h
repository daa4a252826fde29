// Trading accounts: who may log in, and the money of each account. The
// trading engine keeps the positions, orders and deals (trading/ledger.h);
// it settles closed deals into the balance here and tells the account what
// its open positions are worth and tie up, so the account record is live.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "terminal/base/settings.h"

namespace vl5::terminal {

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
