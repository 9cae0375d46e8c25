#pragma once

#include <string>

namespace platform {

// The directory of the running program file, with its trailing "/".
std::string ProgramDirectory();

}  // namespace platform
