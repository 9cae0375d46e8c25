// Any bytes as what the stand-in module receives from the server, in pieces of any
// size: the reader never reads or writes past its 1024 bytes, a complete reply is
// one message from its STX to its first ETX, and the pieces don't change the result.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "service/VEKDLL/ReplyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = data[0] % 64 + 1;  // the first byte chooses how the bytes arrive
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const std::size_t count = size - 1;

  vekdll::ReplyReader whole;
  whole.Take(bytes, count);
  vekdll::ReplyReader pieces;
  for (std::size_t at = 0; at < count && pieces.State() == vekdll::ReplyState::Incomplete; at += piece)
    pieces.Take(bytes + at, std::min(piece, count - at));

  if (whole.State() != pieces.State()) std::abort();
  if (whole.State() != vekdll::ReplyState::Complete) return 0;
  const std::size_t n = whole.Size();
  if (n < 2 || n > vekdll::ReplyReader::kLimit || n != pieces.Size()) std::abort();
  if (whole.Message()[0] != '\x02' || whole.Message()[n - 1] != '\x03') std::abort();
  if (std::memchr(whole.Message(), '\x03', n - 1) != nullptr) std::abort();  // the first ETX ends it
  if (std::memcmp(whole.Message(), bytes, n) != 0 || std::memcmp(pieces.Message(), bytes, n) != 0) std::abort();
  return 0;
}
