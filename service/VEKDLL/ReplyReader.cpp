#include "ReplyReader.h"

#include <cstring>

namespace vekdll {

ReplyState ReplyReader::Take(const char* bytes, std::size_t count) {
  if (state_ != ReplyState::Incomplete || count == 0) return state_;
  const std::size_t from = size_;
  const std::size_t fits = count < kLimit - size_ ? count : kLimit - size_;
  std::memcpy(received_ + size_, bytes, fits);
  size_ += fits;
  if (received_[0] != '\x02') return state_ = ReplyState::Malformed;
  if (const void* etx = std::memchr(received_ + from, '\x03', size_ - from)) {
    size_ = static_cast<std::size_t>(static_cast<const char*>(etx) - received_) + 1;
    return state_ = ReplyState::Complete;
  }
  if (size_ == kLimit) state_ = ReplyState::Malformed;  // no ETX within the limit
  return state_;
}

}  // namespace vekdll
