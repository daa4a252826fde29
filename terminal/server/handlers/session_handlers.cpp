#include "terminal/server/handlers/session_handlers.h"

#include <string>

#include "src/wire/status.h"
#include "src/wire/text.h"

namespace vl5::terminal::handlers {

namespace {

constexpr std::int32_t kVersionMajor = 500;  // "5.00"

// Written for statuses that accept a request whose outcome comes later:
// a rejected login is only visible through the state poll.
constexpr std::int32_t kAcceptedPending = 0;

}  // namespace

void Hello(Context& context, Payload& payload, ReplyWriter& reply) {
  std::uint32_t word = 0;
  std::u16string client;
  if (!payload.U32(&word) || !payload.String(&client) || !payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  reply.Value(wire::kSuccess, context.terminal.settings().build);
}

void Login(Context& context, Payload& payload, ReplyWriter& reply) {
  std::uint32_t word = 0;
  std::uint64_t login = 0;
  std::u16string password, server;
  if (!payload.U32(&word) || !payload.U64(&login) || !payload.String(&password) || !payload.String(&server) ||
      !payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  switch (context.terminal.Login(login, password, server)) {
    case LoginOutcome::kAccepted:
      reply.Status(wire::kSuccess);
      break;
    case LoginOutcome::kRejected:
      reply.Status(kAcceptedPending);
      break;
    case LoginOutcome::kNeedsOtp:
      reply.Status(wire::kUnsupportedFunction);
      break;
  }
}

void State(Context& context, Payload& payload, ReplyWriter& reply) {
  if (!payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  reply.Value(wire::kSuccess, context.terminal.ConnectionState());
}

void Version(Context& context, Payload& payload, ReplyWriter& reply) {
  std::uint32_t word = 0;
  if (!payload.U32(&word) || !payload.AtEnd()) {
    reply.Status(wire::kInvalidParams);
    return;
  }
  const std::uint32_t build = context.terminal.settings().build;
  const std::u16string text = wire::Utf8ToUtf16("5.00 build " + std::to_string(build));
  if (!reply.Begin(wire::kSuccess, 12 + 2 * text.size())) return;
  const auto major = static_cast<std::uint32_t>(kVersionMajor);
  reply.PutU32(major);
  reply.PutU32(build);
  reply.PutU32(static_cast<std::uint32_t>(text.size()));
  for (char16_t unit : text) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(unit & 0xFF), static_cast<std::uint8_t>(unit >> 8)};
    reply.Put(bytes, 2);
  }
  reply.End();
}

}  // namespace vl5::terminal::handlers
