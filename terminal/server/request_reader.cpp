#include "terminal/server/request_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "terminal/model/clock.h"
#include "src/wire/records.h"

namespace vl5::terminal::server {

namespace {

constexpr std::size_t kLengthField = 4;
// The buffer a connection starts with, and the step it grows by while a
// longer request arrives: an announced length alone holds no memory.
constexpr std::size_t kStep = 64 * 1024;

}  // namespace

RequestReader::RequestReader(os::PipeHandle pipe, std::int32_t request_ms)
    : pipe_(pipe), request_ms_(request_ms), silence_deadline_ms_(SteadyMs() + request_ms) {}

bool RequestReader::Next(const std::uint8_t** body, std::uint32_t* length) {
  begin_ += consumed_;
  consumed_ = 0;
  if (begin_ == end_) begin_ = end_ = 0;
  // The room of a rare large request goes back once it has been served.
  if (capacity_ > kStep && end_ - begin_ <= kStep && !MoveHeld(kStep)) return false;
  std::optional<std::int64_t> deadline_ms;  // set when this request first has to wait
  for (;;) {
    const std::size_t held = end_ - begin_;
    std::size_t frame_size = 0;
    if (held >= kLengthField) {
      const std::uint32_t announced = wire::Load<std::uint32_t>(buffer_.get() + begin_, 0);
      if (!RequestLengthValid(announced)) return false;
      frame_size = kLengthField + announced;
      if (held >= frame_size) {
        *body = buffer_.get() + begin_ + kLengthField;
        *length = announced;
        consumed_ = frame_size;
        return true;
      }
    }
    if (!MakeRoom(frame_size) || !Fill(held > 0, &deadline_ms)) return false;
  }
}

bool RequestReader::MakeRoom(std::size_t frame_size) {
  if (capacity_ == 0) return MoveHeld(kStep);
  if (end_ < capacity_) return true;
  if (begin_ > 0) return MoveHeld(capacity_);
  // Full with one unfinished frame, whose length is known (the buffer holds
  // more than a length field) and exceeds the buffer.
  return MoveHeld(std::min(frame_size, capacity_ + kStep));
}

bool RequestReader::MoveHeld(std::size_t capacity) {
  const std::size_t held = end_ - begin_;
  if (capacity == capacity_) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, held);
  } else {
    std::unique_ptr<std::uint8_t[]> moved(new (std::nothrow) std::uint8_t[capacity]);
    if (!moved) return false;  // out of memory: this client goes, the others stay
    if (held > 0) std::memcpy(moved.get(), buffer_.get() + begin_, held);
    buffer_ = std::move(moved);
    capacity_ = capacity;
  }
  begin_ = 0;
  end_ = held;
  return true;
}

bool RequestReader::Fill(bool started, std::optional<std::int64_t>* deadline_ms) {
  std::int32_t timeout_ms = os::kNoTimeout;
  if (started && !*deadline_ms) *deadline_ms = SteadyMs() + request_ms_;
  // A connection that has never spoken would otherwise hold its place forever.
  const std::optional<std::int64_t> deadline = started  ? *deadline_ms
                                               : heard_ ? std::nullopt
                                                        : std::optional<std::int64_t>(silence_deadline_ms_);
  if (deadline) {
    const std::int64_t left = *deadline - SteadyMs();
    if (left <= 0) return false;
    timeout_ms = static_cast<std::int32_t>(left);
  }
  std::size_t got = 0;
  std::uint32_t error = 0;
  if (!os::ReadPipeSome(pipe_, buffer_.get() + end_, capacity_ - end_, timeout_ms, &got, &error)) return false;
  end_ += got;
  heard_ = heard_ || got > 0;
  return true;
}

}  // namespace vl5::terminal::server
