#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace payment {

// The request buffer holds the request text and its terminating zero.
inline constexpr std::size_t kMessageBufferBytes = 1025;
inline constexpr std::size_t kMaxRequestBytes = kMessageBufferBytes - 1;

// What the module answered: its one-byte result as a truth value, and the reply
// text (the reply buffer up to its first zero byte).
struct ModuleAnswer {
  bool Result = false;
  std::string Reply;

  bool operator==(const ModuleAnswer&) const = default;
};

// The reply text of a reply buffer: up to its first zero byte, and no further than
// the 1024 bytes the module's contract allows when it left no zero.
inline std::string ReplyText(std::string_view buffer) {
  const std::string_view text = buffer.substr(0, kMaxRequestBytes);
  const void* zero = std::memchr(text.data(), 0, text.size());
  return std::string(text.substr(0, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - text.data())
                                         : text.size()));
}

// The payment module that carries a request to the payment server.
class PaymentModule {
 public:
  virtual ~PaymentModule() = default;
  // One call with a request of at most kMaxRequestBytes. nullopt when the module
  // can't be loaded or has no entry point (nothing was sent).
  virtual std::optional<ModuleAnswer> Call(std::string_view request) = 0;
  // After a call that came to nothing: why, for the operator (CP949), when there is
  // more to say than that the module can't be used.
  virtual std::string WhyUnavailable() const { return {}; }
};

}  // namespace payment
