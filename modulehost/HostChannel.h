#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

// The messages between the terminal, the supervisor and the module host: one call
// of the payment module's entry point and its answer. Pure encoding and decoding.
//
// A frame is its kind (one byte), the length of its body (four bytes, least
// significant first) and the body. Every length inside a body is counted the same
// way, so a frame decodes only when every part of it adds up.
namespace modulehost {

// The module's two buffers: the request text and its zero, and the reply.
inline constexpr std::size_t kReplyBufferBytes = 1025;
inline constexpr std::size_t kMaxRequestBytes = kReplyBufferBytes - 1;
inline constexpr std::size_t kMaxModulePathBytes = 4096;
inline constexpr std::size_t kMaxServerBytes = 255;

// Where the supervisor serves the terminal unless told otherwise.
inline constexpr const char* kDefaultSocketPath = "/run/vek-terminal/module.sock";

// The supervisor's time limit on one call; it can be set lower, never higher.
inline constexpr int kCallTimeLimitSeconds = 120;
// How long a call waits for the host to take it: while the host (re)starts under
// Wine, or another call runs.
inline constexpr int kHostWaitLimitSeconds = 60;

// One call: which library, and the entry point's arguments.
struct CallRequest {
  std::string ModulePath;  // absolute, as the terminal's system names it
  std::string Server;
  std::int32_t Port = 0;
  std::string Request;  // at most kMaxRequestBytes

  bool operator==(const CallRequest&) const = default;
};

enum class CallStatus : std::uint8_t {
  Answered = 1,         // the entry point returned: its result byte and the whole reply buffer
  NotLoaded = 2,        // the library could not be loaded; nothing was sent
  NoEntryPoint = 3,     // the library has no entry point; nothing was sent
  HostUnavailable = 4,  // no host could be started in time; nothing was sent
  NotPermitted = 5,     // the caller's user may not use the host; nothing was sent
  BadRequest = 6,       // the call was not a well-formed request; nothing was sent
  HostEnded = 7,        // the host ended during the call: the outcome is unknown
  TimedOut = 8,         // no answer within the time limit, the host was stopped: the outcome is unknown
};

struct CallAnswer {
  CallStatus Status = CallStatus::BadRequest;
  unsigned char Result = 0;  // Answered only
  std::string Reply;         // Answered: exactly kReplyBufferBytes, zeros included; otherwise empty

  bool operator==(const CallAnswer&) const = default;
};

// The host has started and waits for calls.
struct HostReady {
  bool operator==(const HostReady&) const = default;
};

using Message = std::variant<CallRequest, CallAnswer, HostReady>;

// The frame of a message. Throws std::length_error for a message no frame can
// carry (a field over its limit, an answer's reply of the wrong size).
std::string Encode(const Message& message);

struct Decoded {
  enum class State { NeedMore, Malformed, Complete };
  State Is = State::NeedMore;
  Message Value;              // Complete only
  std::size_t Consumed = 0;   // Complete: the frame's bytes at the front of the input
};

// The first frame of `bytes`. NeedMore while `bytes` is a beginning of a frame that
// may still be well formed; Malformed as soon as it can't be (an unknown kind, a
// length over the limit, parts that don't add up, a value out of range).
Decoded Decode(std::string_view bytes);

}  // namespace modulehost
