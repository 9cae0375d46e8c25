#pragma once

#include <optional>
#include <string>

namespace platform {

// Creates the file at `path` when it is missing and `create` allows, readable and
// writable by its owner only (on Windows: the terminal's private access list,
// Win32AccessRules.h, and a folder that is a link or another user's is refused),
// before a library that takes the system's defaults opens it; an existing file is
// made so, and so are SQLite's log files beside it (`path`-wal, -shm) when there.
// Never through a link: `path` must be a regular file of this user's (on Windows,
// of this user's or of another of the counter's operators). Why not (CP949), or
// nothing. `groupReads`: on POSIX the file's group may read it too (a reader of
// its own, such as the shipper's user), and the log files SQLite makes take that
// mode from it; on Windows the access list is the same either way.
std::optional<std::string> CreatePrivateFile(const std::string& path, bool create = true, bool groupReads = false);

// `path` (the system's bytes: the ANSI code page on Windows) as the UTF-8 file name
// SQLite takes; nothing when it has no such form. Unchanged where file names are
// bytes.
std::optional<std::string> Utf8FileName(const std::string& path);

}  // namespace platform
