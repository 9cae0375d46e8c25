#include "HostChannel.h"

#include <stdexcept>

namespace modulehost {
namespace {

constexpr char kRequestKind = 'Q';
constexpr char kAnswerKind = 'A';
constexpr char kReadyKind = 'R';
constexpr std::size_t kHeaderBytes = 5;
// The largest body: a request with every field at its limit.
constexpr std::size_t kMaxBodyBytes = 2 + kMaxModulePathBytes + 1 + kMaxServerBytes + 4 + 2 + kMaxRequestBytes;

void PutNumber(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Reads a body front to back; a read past its end or over a limit fails the
// reader, and every later read with it.
class BodyReader {
 public:
  explicit BodyReader(std::string_view body) : rest_(body) {}
  void Number(int bytes, std::uint32_t& value) {
    value = 0;
    if (rest_.size() < static_cast<std::size_t>(bytes)) {
      failed_ = true;
      return;
    }
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest_[i])) << (8 * i);
    rest_.remove_prefix(static_cast<std::size_t>(bytes));
  }
  void Text(int lengthBytes, std::size_t limit, std::string& text) {
    std::uint32_t length = 0;
    Number(lengthBytes, length);
    if (failed_ || length > limit || length > rest_.size()) {
      failed_ = true;
      return;
    }
    text.assign(rest_.substr(0, length));
    rest_.remove_prefix(length);
  }
  void Bytes(std::size_t count, std::string& bytes) {
    if (rest_.size() < count) {
      failed_ = true;
      return;
    }
    bytes.assign(rest_.substr(0, count));
    rest_.remove_prefix(count);
  }
  // Every byte of the body read, and every read succeeded.
  bool Whole() const { return !failed_ && rest_.empty(); }

 private:
  std::string_view rest_;
  bool failed_ = false;
};

bool ValidStatus(std::uint32_t status) {
  return status >= static_cast<std::uint32_t>(CallStatus::Answered) &&
         status <= static_cast<std::uint32_t>(CallStatus::TimedOut);
}

// A name handed to LoadLibrary or an address handed to the module is read up to
// its first zero, so neither may hold one.
bool HasZero(std::string_view text) { return text.find('\0') != std::string_view::npos; }

std::string RequestBody(const CallRequest& call) {
  if (call.ModulePath.size() > kMaxModulePathBytes || call.Server.size() > kMaxServerBytes ||
      call.Request.size() > kMaxRequestBytes)
    throw std::length_error("module call over its limits");
  std::string body;
  PutNumber(body, static_cast<std::uint32_t>(call.ModulePath.size()), 2);
  body += call.ModulePath;
  PutNumber(body, static_cast<std::uint32_t>(call.Server.size()), 1);
  body += call.Server;
  PutNumber(body, static_cast<std::uint32_t>(call.Port), 4);
  PutNumber(body, static_cast<std::uint32_t>(call.Request.size()), 2);
  body += call.Request;
  return body;
}

std::string AnswerBody(const CallAnswer& answer) {
  const bool answered = answer.Status == CallStatus::Answered;
  if (answer.Reply.size() != (answered ? kReplyBufferBytes : 0) || (!answered && answer.Result != 0))
    throw std::length_error("module answer of the wrong size");
  std::string body;
  body.push_back(static_cast<char>(answer.Status));
  body.push_back(static_cast<char>(answer.Result));
  body += answer.Reply;
  return body;
}

std::string Frame(char kind, const std::string& body) {
  std::string frame(1, kind);
  PutNumber(frame, static_cast<std::uint32_t>(body.size()), 4);
  return frame + body;
}

Decoded Malformed() { return {Decoded::State::Malformed, {}, 0}; }

}  // namespace

std::string Encode(const Message& message) {
  if (const auto* call = std::get_if<CallRequest>(&message)) return Frame(kRequestKind, RequestBody(*call));
  if (const auto* answer = std::get_if<CallAnswer>(&message)) return Frame(kAnswerKind, AnswerBody(*answer));
  return Frame(kReadyKind, {});
}

Decoded Decode(std::string_view bytes) {
  if (bytes.empty()) return {};
  const char kind = bytes[0];
  if (kind != kRequestKind && kind != kAnswerKind && kind != kReadyKind) return Malformed();
  if (bytes.size() < kHeaderBytes) return {};
  std::uint32_t length = 0;
  BodyReader header(bytes.substr(1, 4));
  header.Number(4, length);
  if (length > kMaxBodyBytes) return Malformed();
  if (bytes.size() - kHeaderBytes < length) return {};

  BodyReader body(bytes.substr(kHeaderBytes, length));
  Decoded decoded{Decoded::State::Complete, HostReady{}, kHeaderBytes + length};
  if (kind == kRequestKind) {
    CallRequest call;
    std::uint32_t port = 0;
    body.Text(2, kMaxModulePathBytes, call.ModulePath);
    body.Text(1, kMaxServerBytes, call.Server);
    body.Number(4, port);
    body.Text(2, kMaxRequestBytes, call.Request);
    call.Port = static_cast<std::int32_t>(port);
    if (!body.Whole() || call.ModulePath.empty() || HasZero(call.ModulePath) || HasZero(call.Server))
      return Malformed();
    decoded.Value = std::move(call);
  } else if (kind == kAnswerKind) {
    CallAnswer answer;
    std::uint32_t status = 0, result = 0;
    body.Number(1, status);
    body.Number(1, result);
    if (!ValidStatus(status)) return Malformed();
    answer.Status = static_cast<CallStatus>(status);
    answer.Result = static_cast<unsigned char>(result);
    const bool answered = answer.Status == CallStatus::Answered;
    if (answered) body.Bytes(kReplyBufferBytes, answer.Reply);
    if (!body.Whole() || (!answered && answer.Result != 0)) return Malformed();
    decoded.Value = std::move(answer);
  } else if (!body.Whole()) {
    return Malformed();
  }
  return decoded;
}

}  // namespace modulehost
