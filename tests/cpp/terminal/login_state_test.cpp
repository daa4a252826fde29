// Login outcomes and the state poll's answers over time.
#include <gtest/gtest.h>

#include "terminal/model/account/login_state.h"
#include "src/wire/commands.h"

namespace vl5::terminal {
namespace {

constexpr std::uint32_t kDelay = 200;

TEST(LoginStateTest, StartsReadyWithTheConfiguredAccount) {
  LoginState login(DefaultAccounts(), 10001, kDelay);
  EXPECT_EQ(login.State(0), wire::kStateReady);
  ASSERT_NE(login.account(), nullptr);
  EXPECT_EQ(login.account()->login(), 10001u);

  LoginState nobody(DefaultAccounts(), 999, kDelay);
  EXPECT_EQ(nobody.State(0), wire::kStateAuthorizationFailed);
  EXPECT_EQ(nobody.account(), nullptr);
}

TEST(LoginStateTest, ALoginConnectsFirstThenSettles) {
  LoginState login(DefaultAccounts(), 10001, kDelay);
  EXPECT_EQ(login.Login(10002, u"demo2", u"Velmora-Demo", 1000), LoginOutcome::kAccepted);
  EXPECT_EQ(login.State(1000), kStateConnecting);
  EXPECT_EQ(login.State(1199), kStateConnecting);
  EXPECT_EQ(login.State(1200), wire::kStateReady);
  EXPECT_EQ(login.account()->login(), 10002u);
}

TEST(LoginStateTest, RejectedLoginsShowOnlyInTheStatePoll) {
  struct Case {
    std::uint64_t login;
    const char16_t* password;
    const char16_t* server;
  };
  for (const Case& c : {Case{10001, u"x", u""}, Case{10001, u"demo", u"Other-Server"}, Case{55555, u"demo", u""},
                        Case{10002, u"", u""}}) {
    LoginState login(DefaultAccounts(), 10001, kDelay);
    EXPECT_EQ(login.Login(c.login, c.password, c.server, 0), LoginOutcome::kRejected) << c.login;
    EXPECT_EQ(login.State(0), kStateConnecting);
    EXPECT_EQ(login.State(kDelay), wire::kStateAuthorizationFailed);
    EXPECT_EQ(login.account(), nullptr);
  }
}

TEST(LoginStateTest, OneTimePasswordAccountsAreRefusedWithoutAnyChange) {
  LoginState login(DefaultAccounts(), 10001, kDelay);
  EXPECT_EQ(login.Login(10003, u"demo3", u"", 0), LoginOutcome::kNeedsOtp);
  EXPECT_EQ(login.State(0), wire::kStateReady);
  EXPECT_EQ(login.account()->login(), 10001u);
}

TEST(LoginStateTest, TheCurrentAccountNeedsNoPasswordAgain) {
  LoginState login(DefaultAccounts(), 10001, kDelay);
  EXPECT_EQ(login.Login(0, u"", u"Velmora-Demo", 0), LoginOutcome::kAccepted);  // login 0: the current one
  EXPECT_EQ(login.Login(10001, u"", u"", 0), LoginOutcome::kAccepted);
  EXPECT_EQ(login.State(kDelay), wire::kStateReady);
}

}  // namespace
}  // namespace vl5::terminal
