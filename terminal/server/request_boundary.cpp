#include "terminal/server/request_boundary.h"

#include <new>
#include <stdexcept>

#include "terminal/server/fault_hook.h"
#include "src/wire/status.h"

namespace vl5::terminal::server {

namespace {

void InjectFault(std::uint32_t command) {
  switch (HandlerFaultFor(command)) {
    case HandlerFault::kAllocation:
      throw std::bad_alloc();
    case HandlerFault::kOther:
      throw std::runtime_error("injected handler fault");
    case HandlerFault::kNone:
      break;
  }
}

}  // namespace

void CallHandler(Handler handler, std::uint32_t command, Context& context, Payload& payload,
                 ReplyWriter& reply) noexcept {
  try {
    InjectFault(command);
    handler(context, payload, reply);
  } catch (const std::bad_alloc&) {
    reply.Fail(wire::kOutOfMemory);
  } catch (...) {
    reply.Fail(wire::kTerminalCallFailed);
  }
}

}  // namespace vl5::terminal::server
