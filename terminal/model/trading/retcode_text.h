// The comment that order_check and order_send put beside a trade return code.
#pragma once

#include <cstdint>
#include <string_view>

namespace vl5::terminal::trading {

std::u16string_view RetcodeComment(std::uint32_t retcode);

}  // namespace vl5::terminal::trading
