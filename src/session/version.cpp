// version(): the terminal's two version numbers and its version text.
#include <cstdint>
#include <string>

#include "src/link/protocol.h"
#include "src/session/session.h"
#include "src/module/last_error.h"
#include "src/wire/commands.h"
#include "src/wire/text.h"

namespace vl5::link {

namespace {

// The text is returned only when its UTF-8 form fits this many bytes.
constexpr std::size_t kVersionTextBytes = 127;

struct VersionNumbers {
  std::int32_t first = 0;
  std::int32_t second = 0;
};
static_assert(sizeof(VersionNumbers) == 8, "two 4-byte values on the wire");

}  // namespace

PyObject* PyVersion(PyObject*, PyObject*) {
  VersionNumbers numbers;
  TextBlock text_units;
  std::int32_t result = Exchange(Request(wire::kCmdVersion).Value(wire::kVersionWord),
                                 Reply::RecordAndText(&numbers, sizeof(numbers), &text_units));
  std::int32_t first = 0;
  std::int32_t second = 0;
  std::string text;
  if (result > 0) {
    first = numbers.first;
    second = numbers.second;
    // Every unit takes at least one UTF-8 byte: a longer text cannot fit.
    if (text_units.count <= kVersionTextBytes) text = wire::Utf16ToUtf8(text_units.View());
    if (text.size() > kVersionTextBytes) text.clear();
  } else if (result < 0) {
    py::SetError(result);
  }
  return Py_BuildValue("(iis)", first, second, text.c_str());
}

}  // namespace vl5::link
