#include "Reply.h"

#include <cstdint>

#include "MessageFields.h"

namespace payment {

std::string_view CutPayload(std::string_view reply) {
  const auto position = [&](char c) -> std::int64_t {
    const std::size_t at = reply.find(c);
    return at == std::string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
  };
  const std::int64_t start = position(kStx) + 1;  // 1-based
  const std::int64_t count = position(kEtx) - 2;
  const auto size = static_cast<std::int64_t>(reply.size());
  if (count < 1 || start > size) return {};
  return reply.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

std::string_view RawReplyField(std::string_view payload, std::size_t position, std::size_t length) {
  if (position < 1 || position > payload.size()) return {};
  return payload.substr(position - 1, length);
}

std::string_view ReplyField(std::string_view payload, std::size_t position, std::size_t length) {
  std::string_view field = RawReplyField(payload, position, length);
  const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!field.empty() && blankOrControl(field.front())) field.remove_prefix(1);
  while (!field.empty() && blankOrControl(field.back())) field.remove_suffix(1);
  return field;
}

std::string_view ResultCode(std::string_view payload) { return payload.substr(0, 4); }

bool IsAccepted(std::string_view payload) { return ResultCode(payload) == "0000"; }

std::string_view MessageText(std::string_view payload) { return ReplyField(payload, 5, 100); }

}  // namespace payment
