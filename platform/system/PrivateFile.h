#pragma once

#include <optional>
#include <string>

namespace platform {

// Creates the file at `path` when it is missing, readable and writable by its owner
// only (on Windows: the terminal's private access list, Win32AccessRules.h, and a
// folder or file that is a link, or a folder another user owns, is refused), before
// a library that takes the system's defaults opens it; an existing file of this
// user's is made so, and so are SQLite's log files beside it (`path`-wal, -shm) when
// there. The system's text when it can't.
std::optional<std::string> CreatePrivateFile(const std::string& path);

// `path` (the system's bytes: the ANSI code page on Windows) as the UTF-8 file name
// SQLite takes; nothing when it has no such form. Unchanged where file names are
// bytes.
std::optional<std::string> Utf8FileName(const std::string& path);

}  // namespace platform
