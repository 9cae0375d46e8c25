// The messages between the terminal, the supervisor and the module host: what goes
// in comes out, frames arrive in pieces and back to back, and anything else is
// refused as soon as it can't be a frame.
#include "modulehost/HostChannel.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace modulehost;

namespace {

std::string AllBytes() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes;
}

const CallRequest kCall{"/var/lib/vek-terminal/VEKDLL.dll", "127.0.0.1", 19976,
                        "\x02PAIR\x1C" "9000\x1C" + AllBytes() + "\x03"};

CallAnswer Answered(unsigned char result, std::string reply) {
  reply.resize(kReplyBufferBytes, '\0');
  return {CallStatus::Answered, result, reply};
}

Decoded::State StateOf(std::string_view bytes) { return Decode(bytes).Is; }

// A frame with its length field and body replaced.
std::string Frame(char kind, std::string_view body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  return std::string{kind, static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                     static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)} +
         std::string(body);
}

}  // namespace

TEST(HostChannel, EveryMessageComesOutAsItWentIn) {
  const CallRequest longest{std::string(kMaxModulePathBytes, 'p'), std::string(kMaxServerBytes, 's'), -1,
                            std::string(kMaxRequestBytes, 'q')};
  // A reply with no zero in it, and one that is all zeros: the whole buffer travels.
  const std::vector<Message> messages{kCall,
                                      longest,
                                      CallRequest{"C:\\VEKDLL.dll", "", 0, ""},
                                      Answered(1, std::string(kReplyBufferBytes, 'R')),
                                      Answered(0x80, ""),
                                      CallAnswer{CallStatus::TimedOut, 0, {}},
                                      CallAnswer{CallStatus::NotPermitted, 0, {}},
                                      HostReady{}};
  for (const Message& message : messages) {
    const std::string frame = Encode(message);
    const Decoded decoded = Decode(frame);
    ASSERT_EQ(decoded.Is, Decoded::State::Complete) << frame.size();
    EXPECT_EQ(decoded.Value, message);
    EXPECT_EQ(decoded.Consumed, frame.size());
  }
}

TEST(HostChannel, FramesArriveInPiecesAndBackToBack) {
  const std::string frame = Encode(kCall);
  for (std::size_t n = 0; n < frame.size(); ++n) EXPECT_EQ(StateOf(frame.substr(0, n)), Decoded::State::NeedMore) << n;

  const std::string ready = Encode(HostReady{});
  const std::string answer = Encode(Answered(1, "\x02" "0000\x03"));
  const std::string stream = ready + answer;
  const Decoded first = Decode(stream);
  ASSERT_EQ(first.Is, Decoded::State::Complete);
  EXPECT_EQ(first.Consumed, ready.size());
  const Decoded second = Decode(std::string_view(stream).substr(first.Consumed));
  ASSERT_EQ(second.Is, Decoded::State::Complete);
  EXPECT_EQ(std::get<CallAnswer>(second.Value), Answered(1, "\x02" "0000\x03"));
}

TEST(HostChannel, WhatCantBeAFrameIsRefusedAtOnce) {
  // An unknown kind at its first byte; a length over the largest body before the body.
  EXPECT_EQ(StateOf("X"), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(std::string("Q\xFF\xFF\x00\x00", 5)), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(std::string("A\x00\x00\x00\x01", 5)), Decoded::State::Malformed);

  const std::string body = Encode(kCall).substr(5);
  // Parts that don't add up: a body cut short or with bytes left over.
  EXPECT_EQ(StateOf(Frame('Q', body.substr(0, body.size() - 1))), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('Q', body + "x")), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('R', "x")), Decoded::State::Malformed);
  // A path length running past the body.
  EXPECT_EQ(StateOf(Frame('Q', std::string("\xFF\x00/x", 4))), Decoded::State::Malformed);
}

TEST(HostChannel, ValuesOutOfRangeAreRefused) {
  const auto request = [](std::string path, std::string server, std::string text) {
    std::string body{static_cast<char>(path.size() & 0xFF), static_cast<char>(path.size() >> 8)};
    body += path + static_cast<char>(server.size()) + server + std::string("\x08\x4E\x00\x00", 4);
    body += std::string{static_cast<char>(text.size() & 0xFF), static_cast<char>(text.size() >> 8)} + text;
    return Frame('Q', body);
  };
  EXPECT_EQ(StateOf(request("/VEKDLL.dll", "127.0.0.1", "r")), Decoded::State::Complete);
  EXPECT_EQ(StateOf(request("", "127.0.0.1", "r")), Decoded::State::Malformed);
  // A zero would end the library's name or the server address early.
  EXPECT_EQ(StateOf(request(std::string("/a\0b", 4), "127.0.0.1", "r")), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(request("/a", std::string("127.0.0.1\0", 10), "r")), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(request("/a", "127.0.0.1", std::string(kMaxRequestBytes + 1, 'q'))), Decoded::State::Malformed);

  // Answers: an unknown status, a reply that isn't the whole buffer, a result or a
  // reply without a call that answered.
  EXPECT_EQ(StateOf(Frame('A', std::string("\x00\x00", 2))), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('A', std::string("\x09\x00", 2))), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('A', std::string("\x01\x01", 2) + std::string(kReplyBufferBytes - 1, 'R'))),
            Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('A', std::string("\x07\x01", 2))), Decoded::State::Malformed);
  EXPECT_EQ(StateOf(Frame('A', std::string("\x07\x00R", 3))), Decoded::State::Malformed);
}

TEST(HostChannel, NoFrameForAMessageOverItsLimits) {
  CallRequest call = kCall;
  call.Request.assign(kMaxRequestBytes + 1, 'q');
  EXPECT_THROW(Encode(call), std::length_error);
  call = kCall;
  call.ModulePath.assign(kMaxModulePathBytes + 1, 'p');
  EXPECT_THROW(Encode(call), std::length_error);
  EXPECT_THROW(Encode(CallAnswer{CallStatus::Answered, 1, "short"}), std::length_error);
  EXPECT_THROW(Encode(CallAnswer{CallStatus::HostEnded, 1, {}}), std::length_error);
}
