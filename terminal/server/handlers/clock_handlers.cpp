#include "terminal/server/handlers/clock_handlers.h"

#include <optional>

#include "src/wire/status.h"

namespace vl5::terminal::handlers {

namespace {

void Moment(ReplyWriter& reply, std::int64_t ms) {
  if (!reply.Begin(wire::kSuccess, sizeof(ms))) return;
  reply.Put(&ms, sizeof(ms));
  reply.End();
}

std::int32_t StatusOf(ClockMove move) {
  switch (move) {
    case ClockMove::kMoved:
      return wire::kSuccess;
    case ClockMove::kNotStepped:
      return wire::kUnsupportedFunction;
    case ClockMove::kOutOfRange:
      return wire::kInvalidParams;
    case ClockMove::kNoBarAhead:
      return wire::kNotFound;
  }
  return wire::kTerminalCallFailed;
}

}  // namespace

void ClockNow(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) return reply.Status(wire::kInvalidParams);
  if (!context.terminal.stepped()) return reply.Status(wire::kUnsupportedFunction);
  Moment(reply, context.terminal.NowMs());
}

void ClockAdvanceTo(Context& context, Payload& payload, ReplyWriter& reply) {
  std::int64_t to_ms = 0;
  if (!payload.I64(&to_ms) || !payload.AtEnd()) return reply.Status(wire::kInvalidParams);
  const ClockMove move = context.terminal.AdvanceTo(to_ms);
  if (move != ClockMove::kMoved) return reply.Status(StatusOf(move));
  Moment(reply, to_ms);
}

void ClockNextBar(Context& context, Payload& payload, ReplyWriter& reply) {
  std::u16string name;
  std::int32_t timeframe = 0;
  if (!payload.String(&name) || !payload.I32(&timeframe) || !payload.AtEnd()) {
    return reply.Status(wire::kInvalidParams);
  }
  if (!context.terminal.stepped()) return reply.Status(wire::kUnsupportedFunction);
  const std::optional<std::size_t> symbol = context.terminal.market().Find(name);
  if (!symbol) return reply.Status(wire::kNotFound);
  std::int64_t moment_ms = 0;
  const ClockMove move = context.terminal.NextBar(*symbol, timeframe, &moment_ms);
  if (move != ClockMove::kMoved) return reply.Status(StatusOf(move));
  Moment(reply, moment_ms);
}

}  // namespace vl5::terminal::handlers
