#include "terminal/info/account_record.h"

#include "terminal/core/record_builder.h"
#include "terminal/trading/ledger.h"
#include "src/wire/records.h"
#include "src/wire/trade_codes.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildAccountRecord(const Account& account, bool trade_expert, int* misses) {
  const AccountConfig& c = account.config();
  RecordBuilder r(wire::kAccountInfoFields, wire::kAccountInfoSize);
  r.Uint("login", c.login).Uint("trade_mode", wire::ACCOUNT_TRADE_MODE_DEMO).Uint("leverage", c.leverage)
      .Uint("limit_orders", trading::kMaxPendingOrders).Uint("margin_so_mode", wire::ACCOUNT_STOPOUT_MODE_PERCENT)
      .Bool("trade_allowed", true)
      .Bool("trade_expert", trade_expert).Uint("margin_mode", wire::ACCOUNT_MARGIN_MODE_RETAIL_HEDGING)
      .Uint("currency_digits", 2).Bool("fifo_close", false).Real("balance", account.balance())
      .Real("credit", account.credit()).Real("profit", account.profit()).Real("equity", account.equity())
      .Real("margin", account.margin()).Real("margin_free", account.margin_free())
      .Real("margin_level", account.margin_level()).Real("margin_so_call", 50.0).Real("margin_so_so", 30.0)
      .Real("margin_initial", 0.0).Real("margin_maintenance", 0.0).Real("assets", 0.0)
      .Real("liabilities", 0.0).Real("commission_blocked", 0.0).Text("name", c.name).Text("server", c.server)
      .Text("currency", u"USD").Text("company", u"Orbisco Ltd");
  if (misses != nullptr) *misses = r.misses();
  return r.bytes();
}

}  // namespace vl5::terminal
