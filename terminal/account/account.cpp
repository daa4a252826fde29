#include "terminal/account/account.h"

namespace vl5::terminal {

std::vector<AccountConfig> DefaultAccounts() {
  AccountConfig first{10001, u"demo", u"Velmora-Demo", u"Demo Trader", false, 10000.0, 100};
  AccountConfig second{10002, u"demo2", u"Velmora-Demo", u"Second Demo Trader", false, 50000.0, 500};
  AccountConfig protected_account{10003, u"demo3", u"Velmora-Demo", u"Protected Trader", true, 10000.0, 100};
  // Aggregate initialisation above leaves the remaining fields at their defaults.
  return {first, second, protected_account};
}

Account::Account(AccountConfig config) : config_(std::move(config)), balance_(config_.balance) {}

bool Account::Accepts(const std::u16string& password, const std::u16string& server) const {
  return password == config_.password && (server.empty() || server == config_.server);
}

AccountBook::AccountBook(const std::vector<AccountConfig>& configs) {
  accounts_.reserve(configs.size());
  for (const AccountConfig& config : configs) accounts_.emplace_back(config);
}

Account* AccountBook::Find(std::uint64_t login) {
  for (Account& account : accounts_) {
    if (account.login() == login) return &account;
  }
  return nullptr;
}

const Account* AccountBook::Find(std::uint64_t login) const {
  return const_cast<AccountBook*>(this)->Find(login);
}

}  // namespace vl5::terminal
