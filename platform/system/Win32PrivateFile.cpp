#include <windows.h>
#include <aclapi.h>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"
#include "platform/system/Win32AccessRules.h"
#include "platform/text/Cp949.h"

namespace platform {

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool OwnedByProgramUser(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const bool own = ProgramUser() != nullptr && EqualSid(owner, ProgramUser());
  LocalFree(descriptor);
  return own;
}

}  // namespace

std::optional<std::string> CreatePrivateFile(const std::string& path, bool create, bool) {
  // Rules set through a link would land where it leads, and a folder another user
  // owns can be opened up again by that user.
  const std::string folder = FolderOf(path);
  if (auto why = RedirectedOrForeign(folder)) return *why + ": " + folder;
  const bool existed = Exists(path);
  if (!existed && !create) return Utf8ToCp949("파일이 없습니다");
  // The file may be another operator's, who made it: only a link is refused.
  if (existed && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return Utf8ToCp949("링크(재분석 지점)입니다: ") + path;
  if (existed && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return Utf8ToCp949("파일이 아닙니다");
  PrivateRules rules(false);
  if (rules.Error()) return rules.Error();
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    rules.Attributes(), create ? OPEN_ALWAYS : OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return SystemErrorText(static_cast<int>(GetLastError()));
  CloseHandle(handle);
  // A file made by an older version, or copied in, may be open to others: given the
  // rules when it is this user's (another owner's file keeps what its owner chose),
  // and so are SQLite's log files beside it.
  if (!existed) return std::nullopt;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    const std::string file = path + suffix;
    if (!Exists(file) || !OwnedByProgramUser(file)) continue;
    if (auto error = ApplyPrivateRules(file, false)) return *error + ": " + file;
  }
  return std::nullopt;
}

// Converted as CreateFileA converts it, so SQLite opens the file made above.
std::optional<std::string> Utf8FileName(const std::string& path) {
  if (path.empty()) return path;
  const int size = static_cast<int>(path.size());
  const int wide = MultiByteToWideChar(CP_ACP, 0, path.data(), size, nullptr, 0);
  if (wide <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.data(), size, text.data(), wide);
  const int narrow = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) return std::nullopt;
  std::string utf8(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, utf8.data(), narrow, nullptr, nullptr);
  return utf8;
}

}  // namespace platform
