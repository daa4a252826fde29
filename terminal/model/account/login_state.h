// The terminal's connection to its trade server, simulated: which account is
// logged in, and the state the state poll reports. A login first spends a
// short "connecting" phase, then settles as authorized or rejected, as a
// real connection would. Not thread-safe: the Terminal guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/model/account/account.h"

namespace vl5::terminal {

// Values of the state poll besides wire::kStateReady and kStateAuthorizationFailed.
inline constexpr std::uint32_t kStateConnecting = 1;

enum class LoginOutcome {
  kAccepted,  // authorized once the connecting phase is over
  kRejected,  // unknown login, wrong password or server: the state poll reports the failure
  kNeedsOtp,  // the account wants a one-time password; nothing changes
};

class LoginState {
 public:
  // `initial_login` is logged in and ready at once; an unknown one leaves
  // the terminal unauthorized.
  LoginState(const std::vector<AccountConfig>& accounts, std::uint64_t initial_login, std::uint32_t connect_delay_ms);

  // Login 0 means the current account. An empty password is accepted for the
  // current account only (the terminal remembers it).
  LoginOutcome Login(std::uint64_t login, const std::u16string& password, const std::u16string& server,
                     std::int64_t steady_ms);
  std::uint32_t State(std::int64_t steady_ms) const;

  // The authorized account, or null.
  const Account* account() const { return current_; }
  Account* account() { return current_; }
  // Any configured account, logged in or not; null for an unknown login.
  Account* Find(std::uint64_t login) { return book_.Find(login); }

 private:
  AccountBook book_;
  Account* current_ = nullptr;
  std::uint32_t delay_ms_;
  std::int64_t settles_at_ = 0;
};

}  // namespace vl5::terminal
