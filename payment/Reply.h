#pragma once

#include <cstddef>
#include <string_view>

// Reading a reply: the payload between STX and ETX, its result code and message
// text, and fields by 1-based byte position. Every view points into the text given.
namespace payment {

// The payload: the (e - 2) bytes from position s + 1, where s and e are the 1-based
// positions of the first STX and the first ETX (0 when absent), cut at the end of
// the text; empty when that length is below 1.
std::string_view CutPayload(std::string_view reply);

// The `length` bytes from 1-based `position` on (fewer at the end of the payload,
// none past it), as they are.
std::string_view RawReplyField(std::string_view payload, std::size_t position, std::size_t length);

// The same with every leading and trailing byte of 0x20 or lower removed.
std::string_view ReplyField(std::string_view payload, std::size_t position, std::size_t length);

// The first four bytes (fewer for a shorter payload).
std::string_view ResultCode(std::string_view payload);
bool IsAccepted(std::string_view payload);

// The operator's message: positions 5 to 104, trimmed.
std::string_view MessageText(std::string_view payload);

}  // namespace payment
