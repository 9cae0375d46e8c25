#pragma once

#include <string_view>

namespace platform {

enum class StandardStream { Output, Error };

// Writes UTF-8 text to the program's standard output or error. A Windows console
// gets it as characters, so Korean shows right whatever the console's code page
// (949 on a Korean system); a file or a pipe gets the UTF-8 bytes, for a script or
// a point-of-sale program to read.
void WriteStandard(StandardStream stream, std::string_view utf8);

}  // namespace platform
