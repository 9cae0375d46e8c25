#pragma once

#include <optional>
#include <string>

namespace platform {

// Code is loaded only from where nobody but the machine's administrators can change
// it: a payment module in a folder any user can write would be handed every voucher
// and card number. The reason (CP949) when `file`, or the folder it lies in, can be
// written, replaced or have its access rules rewritten by anyone else; nothing when
// only they can. A file that isn't there is judged by its folder alone. Windows: SYSTEM, Administrators, TrustedInstaller, and this
// program's own user while it runs as an administrator. POSIX: root and this
// program's own user (the terminal's user on a developer's machine), with no write
// permission for group or others, also where a link leads.
std::optional<std::string> UnsafeCodeLocation(const std::string& file);

// Libraries are looked for in the program's folder and the system's only, never
// along PATH or in the current folder (Windows); nothing to do where a library is
// only ever loaded by its path (POSIX). Called first thing at start.
void RestrictLibrarySearch();

}  // namespace platform
