#include "terminal/model/account/login_state.h"

#include "src/wire/commands.h"

namespace vl5::terminal {

LoginState::LoginState(const std::vector<AccountConfig>& accounts, std::uint64_t initial_login,
                       std::uint32_t connect_delay_ms)
    : book_(accounts), current_(book_.Find(initial_login)), delay_ms_(connect_delay_ms) {}

LoginOutcome LoginState::Login(std::uint64_t login, const std::u16string& password, const std::u16string& server,
                               std::int64_t steady_ms) {
  if (login == 0 && current_ != nullptr) login = current_->login();
  Account* target = book_.Find(login);
  if (target != nullptr && target->config().otp) return LoginOutcome::kNeedsOtp;
  const bool remembered = target != nullptr && target == current_ && password.empty() &&
                          (server.empty() || server == target->config().server);
  const bool accepted = target != nullptr && (target->Accepts(password, server) || remembered);
  current_ = accepted ? target : nullptr;
  settles_at_ = steady_ms + delay_ms_;
  return accepted ? LoginOutcome::kAccepted : LoginOutcome::kRejected;
}

std::uint32_t LoginState::State(std::int64_t steady_ms) const {
  if (steady_ms < settles_at_) return kStateConnecting;
  return current_ != nullptr ? wire::kStateReady : wire::kStateAuthorizationFailed;
}

}  // namespace vl5::terminal
