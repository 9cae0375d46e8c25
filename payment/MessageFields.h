#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Encodings of the fields of a payment request.
namespace payment {

inline constexpr char kStx = '\x02';
inline constexpr char kFs = '\x1C';
inline constexpr char kEtx = '\x03';

// Left-justified and blank-padded to `width` bytes ("%-20s"); a longer value is kept
// whole and moves every later field back.
void AppendTextField(std::string& out, std::string_view value, std::size_t width);

// At least nine digits, zero-padded ("%0.9d"): 10000 is "000010000", -5 is
// "-000000005"; ten-digit values are never cut.
void AppendNumberField(std::string& out, std::int32_t value);

}  // namespace payment
