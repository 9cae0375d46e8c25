// Any bytes as what arrives on the module host's channel: a frame that decodes is
// exactly the frame its message encodes to, and one more byte never changes a
// decision already made (a frame stays the same frame, a malformed start stays
// malformed).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "modulehost/HostChannel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using modulehost::Decoded;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Decoded decoded = modulehost::Decode(bytes);
  if (decoded.Is == Decoded::State::Complete) {
    if (decoded.Consumed == 0 || decoded.Consumed > size) std::abort();
    if (modulehost::Encode(decoded.Value) != bytes.substr(0, decoded.Consumed)) std::abort();
  }
  if (size > 0) {
    const Decoded shorter = modulehost::Decode(bytes.substr(0, size - 1));
    if (shorter.Is == Decoded::State::Malformed && decoded.Is != Decoded::State::Malformed) std::abort();
    if (shorter.Is == Decoded::State::Complete &&
        (decoded.Is != Decoded::State::Complete || decoded.Consumed != shorter.Consumed))
      std::abort();
  }
  return 0;
}
