#include "terminal/info/terminal_record.h"

#include "terminal/core/record_builder.h"
#include "src/wire/records.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildTerminalRecord(Terminal& terminal, int* misses) {
  const Settings& s = terminal.settings();
  const Folders& f = terminal.folders();
  const bool connected = terminal.Connected();
  RecordBuilder r(wire::kTerminalInfoFields, wire::kTerminalInfoSize);
  r.Bool("community_account", false).Bool("community_connection", false).Bool("connected", connected)
      .Bool("dlls_allowed", false).Bool("trade_allowed", s.trade_allowed)
      .Bool("tradeapi_disabled", s.tradeapi_disabled).Bool("email_enabled", false).Bool("ftp_enabled", false)
      .Bool("notifications_enabled", false).Bool("obid", false).Uint("build", s.build)
      .Uint("maxbars", s.maxbars).Int("codepage", 0).Int("ping_last", connected ? 25000 : 0)
      .Real("community_balance", 0.0).Real("retransmission", 0.0).Text("company", kCompanyName)
      .Text("name", kTerminalName).Text("language", u"English").Text("path", f.install)
      .Text("data_path", f.data).Text("commondata_path", f.common);
  if (misses != nullptr) *misses = r.misses();
  return r.bytes();
}

}  // namespace vl5::terminal
