// libFuzzer target: history files. An input is the text of a minute-bar
// file fed in pieces of a size its first byte picks; whatever the reader
// accepts is then served as a symbol's history, and every bar query must
// emit exactly the bars it counted (a reply's length is written first).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "src/wire/market_codes.h"
#include "terminal/model/market/bars.h"
#include "terminal/model/market/catalog.h"
#include "terminal/model/market/history_csv.h"
#include "terminal/model/market/ticks.h"

namespace {

using namespace vl5::terminal::market;

const std::int32_t kTimeframes[] = {vl5::wire::TIMEFRAME_M1, vl5::wire::TIMEFRAME_M5, vl5::wire::TIMEFRAME_H1,
                                    vl5::wire::TIMEFRAME_D1, vl5::wire::TIMEFRAME_W1, vl5::wire::TIMEFRAME_MN1};

template <typename Record>
bool Read(const SymbolSpec& spec, std::string_view text, std::size_t piece, std::vector<Record>* out) {
  HistoryCsv<Record> csv(spec);
  for (std::size_t at = 0; at < text.size(); at += piece) {
    if (!csv.Feed(text.substr(at, piece))) return false;
  }
  if (!csv.Finish()) return false;
  *out = std::move(csv.records());
  return true;
}

void Serve(const std::shared_ptr<History>& history, std::int64_t now_ms) {
  const Market market(DefaultSymbols(), 1, Histories{{u"EURUSD", history}});
  const PricePath& path = market.path(*market.Find(u"EURUSD"));
  for (std::int32_t timeframe : kTimeframes) {
    const BarSpan span = BarsRange(path, timeframe, 0, INT64_MAX / 1000, now_ms, 1000);
    if (ForEachBar(path, nullptr, timeframe, span, now_ms, [](const Bar&) {}) != span.Count()) std::abort();
    const BarSpan newest = BarsFromPos(path, timeframe, 0, 50, now_ms, 1000);
    if (ForEachBar(path, nullptr, timeframe, newest, now_ms, [](const Bar&) {}) != newest.Count()) std::abort();
  }
  ScanTicks(path, 0, now_ms, TickFilter::kAll, 1000, [](const Tick& tick) {
    if (tick.ask < tick.bid) std::abort();
  });
  Tick last;
  LastTick(path, now_ms, &last);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t piece = 1 + data[0] % 64;
  const bool ticks = (data[1] & 1) != 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  static const std::vector<SymbolSpec> specs = DefaultSymbols();
  const SymbolSpec& spec = specs.front();
  auto history = std::make_shared<History>();
  if (ticks) {
    // Ticks need bars beside them; one bar at their start will do.
    if (!Read(spec, text, piece, &history->ticks) || history->ticks.empty()) return 0;
    const std::int64_t minute = history->ticks.front().time_msc / 60000;
    history->bars.push_back(Bar{minute * 60, 100, 100, 100, 100, 1, 0, 0});
  } else if (!Read(spec, text, piece, &history->bars) || history->bars.empty()) {
    return 0;
  }
  // Inside the history, at its end and far after it.
  const std::int64_t first_ms = history->bars.front().time * 1000;
  const std::int64_t last_ms = history->bars.back().time * 1000;
  for (std::int64_t now_ms : {first_ms + 30000, (first_ms + last_ms) / 2 + 25000, last_ms + 59000,
                              last_ms + std::int64_t{400} * 86400 * 1000}) {
    Serve(history, now_ms);
  }
  return 0;
}
