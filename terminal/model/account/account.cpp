#include "terminal/model/account/account.h"

namespace vl5::terminal {

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

const Account* AccountBook::Find(std::uint64_t login) const { return const_cast<AccountBook*>(this)->Find(login); }

}  // namespace vl5::terminal
