#include "terminal/server/fault_hook.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace vl5::terminal::server {

namespace {

// Written once, before the server starts its threads.
HandlerFault g_fault = HandlerFault::kNone;
std::uint32_t g_command = 0;

}  // namespace

void ArmFaultFromEnvironment() {
  g_fault = HandlerFault::kNone;
  const char* value = std::getenv("VL5_TERMINAL_FAULT");
  if (value == nullptr) return;
  const std::string_view text(value);
  struct Name {
    std::string_view prefix;
    HandlerFault fault;
  };
  static constexpr Name kNames[] = {{"handler_alloc:", HandlerFault::kAllocation},
                                    {"handler_throw:", HandlerFault::kOther}};
  for (const Name& name : kNames) {
    if (text.substr(0, name.prefix.size()) != name.prefix) continue;
    const std::string_view number = text.substr(name.prefix.size());
    std::uint32_t command = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), command);
    if (ec != std::errc() || end != number.data() + number.size() || number.empty()) return;
    g_command = command;
    g_fault = name.fault;
  }
}

HandlerFault HandlerFaultFor(std::uint32_t command) {
  return g_fault != HandlerFault::kNone && command == g_command ? g_fault : HandlerFault::kNone;
}

}  // namespace vl5::terminal::server
