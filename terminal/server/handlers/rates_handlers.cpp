#include "terminal/server/handlers/rates_handlers.h"

#include <algorithm>
#include <optional>
#include <string>

#include "terminal/model/market/bar_cache.h"
#include "terminal/model/market/bars.h"
#include "terminal/base/calendar.h"
#include "terminal/model/market/ticks.h"
#include "terminal/model/market/wire_records.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::terminal::handlers {

namespace {

using market::BarSpan;
using market::TickFilter;

// A tick or bar query: symbol, then its fixed fields. Refuses the request
// itself when the payload is malformed or the symbol unknown.
std::optional<std::size_t> Symbol(Context& context, const std::u16string& name, ReplyWriter& reply) {
  std::optional<std::size_t> index = context.terminal.market().Find(name);
  if (!index) reply.Status(wire::kNotFound);
  return index;
}

void ReplyBars(Context& context, std::size_t index, std::int32_t timeframe, BarSpan span, ReplyWriter& reply) {
  const market::Market& market = context.terminal.market();
  const std::int64_t count = span.Count();
  if (!reply.Begin(wire::kSuccess, 4 + std::uint64_t{wire::kRateRecordSize} * static_cast<std::uint64_t>(count))) {
    return;
  }
  reply.PutU32(static_cast<std::uint32_t>(count));
  std::uint8_t record[wire::kRateRecordSize];
  market.bars(index)->ForEach(market.path(index), market.days(index), timeframe, span, context.now_ms,
                              [&](const market::Bar& bar) {
                                market::WriteRateRecord(market.spec(index), bar, record);
                                reply.Put(record, sizeof(record));
                              });
  reply.End();
}

void ReplyTicks(Context& context, std::size_t index, std::int64_t from_ms, std::int64_t to_ms, TickFilter filter,
                std::int64_t limit, ReplyWriter& reply) {
  const market::PricePath& path = context.terminal.market().path(index);
  to_ms = std::min(to_ms, context.now_ms);  // later ticks do not exist yet
  std::int64_t last_ms = to_ms;
  const std::int64_t count = market::ScanTicks(path, from_ms, to_ms, filter, limit,
                                               [&](const market::Tick& tick) { last_ms = tick.time_msc; });
  if (!reply.Begin(wire::kSuccess, 4 + std::uint64_t{wire::kTickRecordSize} * static_cast<std::uint64_t>(count))) {
    return;
  }
  reply.PutU32(static_cast<std::uint32_t>(count));
  std::uint8_t record[wire::kTickRecordSize];
  market::ScanTicks(path, from_ms, last_ms, filter, count, [&](const market::Tick& tick) {
    market::WriteTickRecord(path.spec(), tick, record);
    reply.Put(record, sizeof(record));
  });
  reply.End();
}

std::int64_t Limit(Context& context) { return context.terminal.settings().maxbars; }

}  // namespace

void CopyTicksFrom(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int64_t from_ms = 0;
  std::int32_t count = 0, flags = 0;
  TickFilter filter{};
  if (!payload.String(&name) || !payload.I64(&from_ms) || !payload.I32(&count) || !payload.I32(&flags) ||
      !payload.AtEnd() || count < 0 || !market::ParseCopyFlags(flags, &filter)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  if (auto index = Symbol(context, name, reply)) {
    ReplyTicks(context, *index, from_ms, context.now_ms, filter, std::min<std::int64_t>(count, Limit(context)), reply);
  }
}

void CopyTicksRange(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int64_t from_ms = 0, to_ms = 0;
  std::int32_t flags = 0;
  TickFilter filter{};
  if (!payload.String(&name) || !payload.I64(&from_ms) || !payload.I64(&to_ms) || !payload.I32(&flags) ||
      !payload.AtEnd() || !market::ParseCopyFlags(flags, &filter)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  if (auto index = Symbol(context, name, reply)) {
    ReplyTicks(context, *index, from_ms, to_ms, filter, Limit(context), reply);
  }
}

void CopyRatesFrom(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int32_t timeframe = 0, count = 0;
  std::int64_t date_from = 0;
  if (!payload.String(&name) || !payload.I32(&timeframe) || !payload.I64(&date_from) || !payload.I32(&count) ||
      !payload.AtEnd() || !market::ValidTimeframe(timeframe) || count < 0) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  if (auto index = Symbol(context, name, reply)) {
    const market::PricePath& path = context.terminal.market().path(*index);
    ReplyBars(context, *index, timeframe,
              market::BarsFrom(path, timeframe, date_from, count, context.now_ms, Limit(context)), reply);
  }
}

void CopyRatesRange(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int32_t timeframe = 0;
  std::int64_t from = 0, to = 0;
  if (!payload.String(&name) || !payload.I32(&timeframe) || !payload.I64(&from) || !payload.I64(&to) ||
      !payload.AtEnd() || !market::ValidTimeframe(timeframe)) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  if (auto index = Symbol(context, name, reply)) {
    const market::PricePath& path = context.terminal.market().path(*index);
    ReplyBars(context, *index, timeframe, market::BarsRange(path, timeframe, from, to, context.now_ms, Limit(context)),
              reply);
  }
}

void CopyRatesFromPos(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int32_t timeframe = 0, start_pos = 0, count = 0;
  if (!payload.String(&name) || !payload.I32(&timeframe) || !payload.I32(&start_pos) || !payload.I32(&count) ||
      !payload.AtEnd() || !market::ValidTimeframe(timeframe) || start_pos < 0 || count < 0) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  if (auto index = Symbol(context, name, reply)) {
    const market::PricePath& path = context.terminal.market().path(*index);
    ReplyBars(context, *index, timeframe,
              market::BarsFromPos(path, timeframe, start_pos, count, context.now_ms, Limit(context)), reply);
  }
}

}  // namespace vl5::terminal::handlers
