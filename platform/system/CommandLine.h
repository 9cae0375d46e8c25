#pragma once

#include <string>
#include <vector>

namespace platform {

// The program's arguments in UTF-8, without its name. On Windows they are read from
// the wide command line: the narrow one holds only what the system's code page can
// write, and a Korean argument could arrive as "?".
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace platform
