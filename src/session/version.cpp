// version(): the terminal's two version numbers and its version text.
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "src/link/channel.h"
#include "src/link/protocol.h"
#include "src/session/session.h"
#include "src/module/last_error.h"
#include "src/wire/commands.h"
#include "src/wire/text.h"

namespace vl5::link {

namespace {

// The text is returned only when its UTF-8 form fits this many bytes.
constexpr std::size_t kVersionTextBytes = 127;

struct VersionReply {
  std::int32_t first = 0;
  std::int32_t second = 0;
  std::u16string text;
};

bool ReadVersionText(PipeReader* reader, std::uint32_t* echo, std::int32_t* status, VersionReply* reply) {
  PipeReader& r = *reader;
  std::uint32_t units = 0;
  if (!ReadReplyHead(&r, echo, status) || !r.ReadValue(&reply->first) || !r.ReadValue(&reply->second) ||
      !r.ReadValue(&units)) {
    return false;
  }
  if (std::uint64_t{units} * 2 > r.Unread()) return false;  // never allocate past the reply
  std::unique_ptr<char16_t[]> block(new (std::nothrow) char16_t[units == 0 ? 1 : units]);
  if (!block || !r.Read(block.get(), 2 * std::size_t{units}) || !r.AtEnd()) return false;
  reply->text.assign(block.get(), units);
  return true;
}

bool ReadVersionReply(std::uint32_t* echo, std::int32_t* status, VersionReply* reply) {
  PipeReader reader(Client().Handle());
  return FinishReply(&reader, ReadVersionText(&reader, echo, status, reply));
}

}  // namespace

PyObject* PyVersion(PyObject*, PyObject*) {
  py::LastError::Reset();
  VersionReply reply;
  std::int32_t result = Exchange(
      wire::kCmdVersion, [] { return SendCommandWord(wire::kCmdVersion, wire::kVersionWord); },
      [&](std::uint32_t* echo, std::int32_t* status) { return ReadVersionReply(echo, status, &reply); });
  std::int32_t first = 0;
  std::int32_t second = 0;
  std::string text;
  if (result > 0) {
    first = reply.first;
    second = reply.second;
    text = wire::Utf16ToUtf8(reply.text);
    if (text.size() > kVersionTextBytes) text.clear();
  } else if (result < 0) {
    py::SetError(result);
  }
  return Py_BuildValue("(iis)", first, second, text.c_str());
}

}  // namespace vl5::link
