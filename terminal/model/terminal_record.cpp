#include "terminal/model/terminal_record.h"

#include "terminal/base/record_builder.h"
#include "src/wire/records.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildTerminalRecord(Terminal& terminal) {
  const Settings& s = terminal.settings();
  const Folders& f = terminal.folders();
  const bool connected = terminal.Connected();
  using F = RecordBuilder<wire::kTerminalInfoFields>;
  F r(wire::kTerminalInfoSize);
  r.Bool<F::At("community_account")>(false)
      .Bool<F::At("community_connection")>(false)
      .Bool<F::At("connected")>(connected)
      .Bool<F::At("dlls_allowed")>(false)
      .Bool<F::At("trade_allowed")>(s.trade_allowed)
      .Bool<F::At("tradeapi_disabled")>(s.tradeapi_disabled)
      .Bool<F::At("email_enabled")>(false)
      .Bool<F::At("ftp_enabled")>(false)
      .Bool<F::At("notifications_enabled")>(false)
      .Bool<F::At("obid")>(false)
      .Uint<F::At("build")>(s.build)
      .Uint<F::At("maxbars")>(s.maxbars)
      .Int<F::At("codepage")>(0)
      .Int<F::At("ping_last")>(connected ? 25000 : 0)
      .Real<F::At("community_balance")>(0.0)
      .Real<F::At("retransmission")>(0.0)
      .Text<F::At("company")>(kCompanyName)
      .Text<F::At("name")>(kTerminalName)
      .Text<F::At("language")>(u"English")
      .Text<F::At("path")>(f.install)
      .Text<F::At("data_path")>(f.data)
      .Text<F::At("commondata_path")>(f.common);
  return r.bytes();
}

}  // namespace vl5::terminal
