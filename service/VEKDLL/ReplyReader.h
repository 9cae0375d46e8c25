#pragma once

#include <cstddef>

// The server's reply as it arrives over the connection: one message from its STX up
// to and including its ETX, at most 1024 bytes. What follows the ETX is not read.
namespace vekdll {

enum class ReplyState { Incomplete, Complete, Malformed };

class ReplyReader {
 public:
  static constexpr std::size_t kLimit = 1024;

  // Takes the next bytes received. Malformed: the reply doesn't start with STX, or
  // has no ETX within the limit. Once it is not Incomplete nothing more is taken.
  ReplyState Take(const char* bytes, std::size_t count);
  ReplyState State() const { return state_; }
  // The message, STX to ETX, once Complete.
  const char* Message() const { return received_; }
  std::size_t Size() const { return size_; }

 private:
  char received_[kLimit] = {};
  std::size_t size_ = 0;
  ReplyState state_ = ReplyState::Incomplete;
};

}  // namespace vekdll
