#include "terminal/server/handlers/info_handlers.h"

#include <vector>

#include "terminal/model/terminal_record.h"
#include "src/wire/records.h"
#include "src/wire/status.h"

namespace vl5::terminal::handlers {

void TerminalInfo(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  reply.Record(wire::kSuccess, BuildTerminalRecord(context.terminal), wire::kTerminalInfoSize);
}

void AccountInfo(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  std::vector<std::uint8_t> record;
  if (!context.terminal.AccountRecord(context.now_ms, &record)) {
    reply.Status(wire::kAuthorizationFailed);
    return;
  }
  reply.Record(wire::kSuccess, record, wire::kAccountInfoSize);
}

}  // namespace vl5::terminal::handlers
