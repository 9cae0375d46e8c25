#pragma once

#include <cstddef>
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
};

// The payment module that carries a request to the payment server.
class PaymentModule {
 public:
  virtual ~PaymentModule() = default;
  // One call with a request of at most kMaxRequestBytes. nullopt when the module
  // can't be loaded or has no entry point (nothing was sent).
  virtual std::optional<ModuleAnswer> Call(std::string_view request) = 0;
};

}  // namespace payment
