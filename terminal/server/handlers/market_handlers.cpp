#include "terminal/server/handlers/market_handlers.h"

#include <optional>
#include <string>
#include <vector>

#include "terminal/model/market/book.h"
#include "terminal/model/market/symbol_record.h"
#include "terminal/model/market/ticks.h"
#include "terminal/model/market/wire_records.h"
#include "src/mask/group_mask.h"
#include "src/wire/commands.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::terminal::handlers {

namespace {

// Reads a request that is exactly one counted string (a symbol or a group).
bool OnlyString(Payload& payload, std::u16string* text, ReplyWriter& reply) {
  if (payload.String(text) && payload.AtEnd()) return true;
  reply.Status(wire::kInvalidParams);
  return false;
}

// A string request naming a symbol: its index, or a -2 / -4 reply.
std::optional<std::size_t> SymbolRequest(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  if (!OnlyString(payload, &name, reply)) return std::nullopt;
  std::optional<std::size_t> index = context.terminal.market().Find(name);
  if (!index) reply.Status(wire::kNotFound);
  return index;
}

std::vector<std::uint8_t> Record(Context& context, std::size_t index) {
  return market::BuildSymbolRecord(context.terminal.market(), index,
                                   {context.terminal.Selected(index), context.now_ms});
}

void ReplySymbols(Context& context, const std::vector<std::size_t>& symbols, ReplyWriter& reply) {
  if (!reply.Begin(wire::kSuccess, 4 + std::uint64_t{wire::kSymbolInfoSize} * symbols.size())) return;
  reply.PutU32(static_cast<std::uint32_t>(symbols.size()));
  for (std::size_t index : symbols) reply.Put(Record(context, index).data(), wire::kSymbolInfoSize);
  reply.End();
}

}  // namespace

void SymbolInfo(Context& context, Payload& payload, ReplyWriter& reply) {
  if (auto index = SymbolRequest(context, payload, reply)) {
    // Older builds answer the record without its trailing name field.
    const bool full = context.terminal.settings().build >= wire::kMinBuildSymbols;
    reply.Record(wire::kSuccess, Record(context, *index), full ? wire::kSymbolInfoSize : wire::kSymbolInfoSizeOld);
  }
}

void SymbolSelect(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::uint8_t enable = 0;
  if (!payload.String(&name) || !payload.U8(&enable) || !payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  std::optional<std::size_t> index = context.terminal.market().Find(name);
  if (!index) {
    reply.Status(wire::kNotFound);
    return;
  }
  context.terminal.Select(*index, enable != 0);
  reply.Status(wire::kSuccess);
}

void SymbolInfoTick(Context& context, Payload& payload, ReplyWriter& reply) {
  if (auto index = SymbolRequest(context, payload, reply)) {
    const market::PricePath& path = context.terminal.market().path(*index);
    market::Tick tick;
    if (!market::LastTick(path, context.now_ms, &tick)) {
      reply.Status(wire::kNotFound);  // the clock stands before the symbol's history
      return;
    }
    std::vector<std::uint8_t> record(wire::kTickRecordSize);
    market::WriteTickRecord(path.spec(), tick, record.data());
    reply.Record(wire::kSuccess, record, record.size());
  }
}

void SymbolsTotal(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  reply.Value(wire::kSuccess, static_cast<std::uint32_t>(context.terminal.market().size()));
}

void SymbolsGet(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  std::vector<std::size_t> all;
  for (std::size_t i = 0; i < context.terminal.market().size(); ++i) all.push_back(i);
  ReplySymbols(context, all, reply);
}

void SymbolsGetGroup(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string group;
  if (!OnlyString(payload, &group, reply)) return;
  const market::Market& market = context.terminal.market();
  std::vector<std::size_t> matching;
  for (std::size_t i = 0; i < market.size(); ++i) {
    // The same matcher the module applies to positions and history.
    if (vl5::mask::MatchGroupMask(group.c_str(), market.spec(i).name.c_str())) matching.push_back(i);
  }
  ReplySymbols(context, matching, reply);
}

void MarketBookAdd(Context& context, Payload& payload, ReplyWriter& reply) {
  if (auto index = SymbolRequest(context, payload, reply)) {
    context.client.books.insert(*index);
    reply.Status(wire::kSuccess);
  }
}

void MarketBookRelease(Context& context, Payload& payload, ReplyWriter& reply) {
  if (auto index = SymbolRequest(context, payload, reply)) {
    context.client.books.erase(*index);
    reply.Status(wire::kSuccess);
  }
}

void MarketBookGet(Context& context, Payload& payload, ReplyWriter& reply) {
  auto index = SymbolRequest(context, payload, reply);
  if (!index) return;
  const market::PricePath& path = context.terminal.market().path(*index);
  market::Tick tick;
  if (context.client.books.count(*index) == 0 || !market::LastTick(path, context.now_ms, &tick)) {
    reply.Status(wire::kNotFound);
    return;
  }
  const std::vector<market::BookEntry> entries =
      market::BookAround(path.spec(), tick, context.terminal.settings().seed);
  if (!reply.Begin(wire::kSuccess, 4 + std::uint64_t{wire::kBookInfoSize} * entries.size())) return;
  reply.PutU32(static_cast<std::uint32_t>(entries.size()));
  std::uint8_t record[wire::kBookInfoSize];
  for (const market::BookEntry& entry : entries) {
    market::WriteBookRecord(path.spec(), entry, record);
    reply.Put(record, sizeof(record));
  }
  reply.End();
}

}  // namespace vl5::terminal::handlers
