// The 3162-byte terminal record.
#pragma once

#include <cstdint>
#include <vector>

#include "terminal/model/terminal.h"

namespace vl5::terminal {

std::vector<std::uint8_t> BuildTerminalRecord(Terminal& terminal);

inline constexpr char16_t kCompanyName[] = u"Orbisco Ltd";
inline constexpr char16_t kTerminalName[] = u"Velmora 5 Simulated Terminal";

}  // namespace vl5::terminal
