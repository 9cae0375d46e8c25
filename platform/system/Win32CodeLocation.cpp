#include <windows.h>
#include <aclapi.h>

#include <memory>

#include "platform/system/CodeLocation.h"
#include "platform/system/ErrorText.h"
#include "platform/system/Win32AccessRules.h"
#include "platform/text/Cp949.h"

namespace platform {
namespace {

// What lets a holder change a file's bytes, put another file in a folder, replace
// or remove either, or give itself any of that.
constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool Allows(BYTE type) {
  switch (type) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_COMPOUND_ACE_TYPE: return true;
    default: return false;
  }
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash + 1);
}

std::optional<std::string> OthersMayChange(const std::string& path) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return SystemErrorText(static_cast<int>(error)) + ": " + path;
  const std::unique_ptr<void, decltype(&LocalFree)> held(descriptor, &LocalFree);
  if (!IsAdministrative(owner)) return Utf8ToCp949("관리자가 아닌 사용자의 것입니다: ") + path;
  // No list at all lets everyone do everything.
  if (dacl == nullptr) return Utf8ToCp949("누구나 쓸 수 있습니다: ") + path;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
    // Rules only for what is made inside later don't apply to this object; denials
    // only take away.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || !Allows(header->AceType)) continue;
    // Every kind of allowing entry holds its mask first.
    const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
    if ((ace->Mask & kChanging) == 0) continue;
    // Whom a conditional or object entry names is not read: it allows a change.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
      return Utf8ToCp949("조건부 권한으로 바꿀 수 있습니다: ") + path;
    if (!IsAdministrative(const_cast<DWORD*>(&ace->SidStart)))
      return Utf8ToCp949("관리자가 아닌 사용자도 쓸 수 있습니다 (") + SidText(const_cast<DWORD*>(&ace->SidStart)) +
             "): " + path;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> UnsafeCodeLocation(const std::string& file) {
  // Named in full, as it is loaded, and as the operator is told.
  char buffer[MAX_PATH + 1] = {};
  const DWORD n = GetFullPathNameA(file.c_str(), MAX_PATH, buffer, nullptr);
  const std::string full = n > 0 && n <= MAX_PATH ? std::string(buffer, n) : file;
  if (auto why = OthersMayChange(FolderOf(full))) return why;
  if (GetFileAttributesA(full.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND)
    return std::nullopt;
  return OthersMayChange(full);
}

void RestrictLibrarySearch() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS); }

}  // namespace platform
