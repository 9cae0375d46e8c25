#pragma once

#include <string>

namespace platform {

// The system's codes for the failures the program names itself.
#ifdef _WIN32
inline constexpr int kErrorNoSuchDevice = 2;        // ERROR_FILE_NOT_FOUND
inline constexpr int kErrorInvalidHandle = 6;       // ERROR_INVALID_HANDLE
inline constexpr int kErrorInvalidParameter = 87;   // ERROR_INVALID_PARAMETER
inline constexpr int kErrorBadBuffer = 1784;        // ERROR_INVALID_USER_BUFFER
#else
inline constexpr int kErrorNoSuchDevice = 2;        // ENOENT
inline constexpr int kErrorInvalidHandle = 9;       // EBADF
inline constexpr int kErrorInvalidParameter = 22;   // EINVAL
inline constexpr int kErrorBadBuffer = 14;          // EFAULT
#endif

// The system's text for an errno code, at most 256 characters, without trailing
// blanks, control characters or full stops.
std::string SystemErrorText(int code);

}  // namespace platform
