#include "terminal/model/account/account_record.h"

#include "terminal/base/record_builder.h"
#include "terminal/model/trading/ledger.h"
#include "src/wire/records.h"
#include "src/wire/trade_codes.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildAccountRecord(const Account& account, bool trade_expert) {
  const AccountConfig& c = account.config();
  using F = RecordBuilder<wire::kAccountInfoFields>;
  F r(wire::kAccountInfoSize);
  r.Uint<F::At("login")>(c.login)
      .Uint<F::At("trade_mode")>(wire::ACCOUNT_TRADE_MODE_DEMO)
      .Uint<F::At("leverage")>(c.leverage)
      .Uint<F::At("limit_orders")>(trading::kMaxPendingOrders)
      .Uint<F::At("margin_so_mode")>(wire::ACCOUNT_STOPOUT_MODE_PERCENT)
      .Bool<F::At("trade_allowed")>(true)
      .Bool<F::At("trade_expert")>(trade_expert)
      .Uint<F::At("margin_mode")>(wire::ACCOUNT_MARGIN_MODE_RETAIL_HEDGING)
      .Uint<F::At("currency_digits")>(2)
      .Bool<F::At("fifo_close")>(false)
      .Real<F::At("balance")>(account.balance())
      .Real<F::At("credit")>(account.credit())
      .Real<F::At("profit")>(account.profit())
      .Real<F::At("equity")>(account.equity())
      .Real<F::At("margin")>(account.margin())
      .Real<F::At("margin_free")>(account.margin_free())
      .Real<F::At("margin_level")>(account.margin_level())
      .Real<F::At("margin_so_call")>(c.margin_call)
      .Real<F::At("margin_so_so")>(c.margin_stop_out)
      .Real<F::At("margin_initial")>(0.0)
      .Real<F::At("margin_maintenance")>(0.0)
      .Real<F::At("assets")>(0.0)
      .Real<F::At("liabilities")>(0.0)
      .Real<F::At("commission_blocked")>(0.0)
      .Text<F::At("name")>(c.name)
      .Text<F::At("server")>(c.server)
      .Text<F::At("currency")>(u"USD")
      .Text<F::At("company")>(u"Orbisco Ltd");
  return r.bytes();
}

}  // namespace vl5::terminal
