#include "platform/system/Win32AccessRules.h"

#include <aclapi.h>
#include <sddl.h>

#include <array>
#include <memory>

#include "platform/system/ErrorText.h"
#include "platform/text/Cp949.h"

namespace platform {
namespace {

// Modify: read, write, run and delete, but not rewrite the rules or take ownership.
constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

struct WellKnown {
  WELL_KNOWN_SID_TYPE Type;
  std::array<BYTE, SECURITY_MAX_SID_SIZE> Sid{};
};

PSID Sid(WELL_KNOWN_SID_TYPE type) {
  static std::array<WellKnown, 2> known{{{WinLocalSystemSid}, {WinBuiltinAdministratorsSid}}};
  for (WellKnown& k : known) {
    if (k.Type != type) continue;
    if (!IsValidSid(k.Sid.data())) {
      DWORD size = static_cast<DWORD>(k.Sid.size());
      CreateWellKnownSid(type, nullptr, k.Sid.data(), &size);
    }
    return k.Sid.data();
  }
  return nullptr;
}

// NT SERVICE\TrustedInstaller, which owns the system's own files.
PSID TrustedInstaller() {
  static const std::unique_ptr<void, decltype(&LocalFree)> sid = [] {
    PSID made = nullptr;
    ConvertStringSidToSidA("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &made);
    return std::unique_ptr<void, decltype(&LocalFree)>(made, &LocalFree);
  }();
  return sid.get();
}

bool RunsAsAdministrator() {
  BOOL member = FALSE;
  return CheckTokenMembership(nullptr, Sid(WinBuiltinAdministratorsSid), &member) && member;
}

}  // namespace

PSID ProgramUser() {
  static const std::vector<BYTE> user = [] {
    std::vector<BYTE> buffer;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return buffer;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size != 0 && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
      const PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
      buffer.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
    }
    CloseHandle(token);
    return buffer;
  }();
  return user.empty() ? nullptr : const_cast<BYTE*>(user.data());
}

bool IsAdministrative(PSID sid) {
  if (sid == nullptr || !IsValidSid(sid)) return false;
  if (EqualSid(sid, Sid(WinLocalSystemSid)) || EqualSid(sid, Sid(WinBuiltinAdministratorsSid))) return true;
  if (TrustedInstaller() != nullptr && EqualSid(sid, TrustedInstaller())) return true;
  return ProgramUser() != nullptr && EqualSid(sid, ProgramUser()) && RunsAsAdministrator();
}

std::optional<std::vector<BYTE>> OperatorsGroup() {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  std::array<wchar_t, 256> domain{};
  DWORD domainSize = static_cast<DWORD>(domain.size());
  SID_NAME_USE use{};
  if (!LookupAccountNameW(nullptr, kOperatorsGroup, sid.data(), &size, domain.data(), &domainSize, &use) ||
      (use != SidTypeAlias && use != SidTypeGroup))
    return std::nullopt;
  sid.resize(size);
  return sid;
}

std::string SidText(PSID sid) {
  LPSTR text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "?";
  std::string result(text);
  LocalFree(text);
  return result;
}

PrivateRules::PrivateRules(bool folder) {
  const DWORD inherit = folder ? OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE : 0;
  const std::optional<std::vector<BYTE>> operators = OperatorsGroup();
  std::vector<EXPLICIT_ACCESSW> entries;
  auto grant = [&](PSID sid, DWORD rights) {
    EXPLICIT_ACCESSW entry{};
    entry.grfAccessPermissions = rights;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = inherit;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    entries.push_back(entry);
  };
  grant(Sid(WinLocalSystemSid), FILE_ALL_ACCESS);
  grant(Sid(WinBuiltinAdministratorsSid), FILE_ALL_ACCESS);
  if (operators) grant(const_cast<BYTE*>(operators->data()), kModify);
  // Its maker keeps access also where its administrator rights are held back (an
  // administrator's token without elevation) or no operators group was made.
  if (ProgramUser() != nullptr) grant(ProgramUser(), kModify);
  const DWORD error = SetEntriesInAclW(static_cast<ULONG>(entries.size()), entries.data(), nullptr, &list_);
  if (error != ERROR_SUCCESS) {
    error_ = SystemErrorText(static_cast<int>(error));
    return;
  }
  if (!InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, list_, FALSE) ||
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    error_ = SystemErrorText(static_cast<int>(GetLastError()));
    return;
  }
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
}

PrivateRules::~PrivateRules() {
  if (list_ != nullptr) LocalFree(list_);
}

std::optional<std::string> ApplyPrivateRules(const std::string& path, bool folder) {
  const PrivateRules rules(folder);
  if (rules.Error()) return rules.Error();
  std::string name = path;
  const DWORD error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, rules.List(), nullptr);
  if (error != ERROR_SUCCESS) return SystemErrorText(static_cast<int>(error));
  return std::nullopt;
}

std::optional<std::string> RedirectedOrForeign(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return SystemErrorText(static_cast<int>(GetLastError()));
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Utf8ToCp949("링크(재분석 지점)입니다");
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                            nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return SystemErrorText(static_cast<int>(error));
  const std::unique_ptr<void, decltype(&LocalFree)> held(descriptor, &LocalFree);
  if (!IsAdministrative(owner) && !(ProgramUser() != nullptr && EqualSid(owner, ProgramUser())))
    return Utf8ToCp949("다른 사용자의 것입니다 (") + SidText(owner) + ")";
  return std::nullopt;
}

}  // namespace platform
