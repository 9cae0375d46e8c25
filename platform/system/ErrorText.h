#pragma once

#include <string>

namespace platform {

// The system's text for an errno code, at most 256 characters, without trailing
// blanks, control characters or full stops.
std::string SystemErrorText(int code);

}  // namespace platform
