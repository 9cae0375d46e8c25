#pragma once

#include <string>

namespace platform {

// Where the terminal keeps its state (the journal) when its settings name no place,
// with a trailing separator; empty: beside the settings. POSIX: the state folder
// systemd gives a unit ($STATE_DIRECTORY; its first entry, an empty first entry
// naming none). Windows: "VEK Terminal" in the system's common application-data
// folder, never beside the program: under Program Files a program's writes would go
// to a copy of each user's own.
std::string StateFolder();

}  // namespace platform
