// vek-setup.exe: what the installer asks of the system that NSIS can't say plainly,
// run from the installer's temporary folder (it is not installed). Each command
// ends 0 when done, 2 with a message when not.
//   vek-setup.exe operators [USER...]   the operators group, with the installing
//                                       user and USERs in it
//   vek-setup.exe state-folder FOLDER   the journal's folder, private to the counter
//   vek-setup.exe program-folder FOLDER the program folder, changed by administrators only
#include <windows.h>
#include <aclapi.h>
#include <lm.h>
#include <sddl.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/system/ErrorText.h"
#include "platform/system/Win32AccessRules.h"

namespace {

int Fail(const std::string& what) {
  std::fprintf(stderr, "vek-setup.exe: %s\n", what.c_str());
  return 2;
}

// Wine keeps no local groups: it reports one made, and then knows no such name.
bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// The administrators own the folder, so no other account keeps the right to rewrite
// its list that an owner has.
std::optional<std::string> OwnedByAdministrators(const std::string& folder) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof sid;
  if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size))
    return platform::SystemErrorText(static_cast<int>(GetLastError()));
  std::string name = folder;
  const DWORD error =
      SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, sid, nullptr, nullptr, nullptr);
  if (error != ERROR_SUCCESS) return platform::SystemErrorText(static_cast<int>(error));
  return std::nullopt;
}

int Operators(const std::vector<std::wstring>& extra) {
  std::wstring comment = L"VEK Terminal operators";
  LOCALGROUP_INFO_1 group{const_cast<LPWSTR>(platform::kOperatorsGroup), comment.data()};
  const NET_API_STATUS made = NetLocalGroupAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&group), nullptr);
  if (made != NERR_Success && made != NERR_GroupExists && made != ERROR_ALIAS_EXISTS)
    return Fail("the operators group could not be made: " + platform::SystemErrorText(static_cast<int>(made)));
  if (!platform::OperatorsGroup()) {
    if (!UnderWine()) return Fail("the operators group was made but can't be found");
    std::fprintf(stderr, "vek-setup.exe: Wine keeps no local groups; the journal's folder names none\n");
    return 0;
  }
  std::vector<std::wstring> members = extra;
  std::vector<wchar_t> user(UNLEN + 1);
  DWORD size = static_cast<DWORD>(user.size());
  if (GetUserNameW(user.data(), &size)) members.emplace_back(user.data());
  for (const std::wstring& member : members) {
    LOCALGROUP_MEMBERS_INFO_3 info{const_cast<LPWSTR>(member.c_str())};
    const NET_API_STATUS added =
        NetLocalGroupAddMembers(nullptr, platform::kOperatorsGroup, 3, reinterpret_cast<LPBYTE>(&info), 1);
    if (added != NERR_Success && added != ERROR_MEMBER_IN_ALIAS)
      return Fail("an operator could not be added to the group: " + platform::SystemErrorText(static_cast<int>(added)));
  }
  return 0;
}

int StateFolder(const std::string& folder) {
  // A folder made beforehand by someone else, or a link to another folder (the
  // program folder, say): the rules would be set where its maker wants them.
  if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
    platform::PrivateRules rules(true);
    if (rules.Error()) return Fail(*rules.Error());
    if (!CreateDirectoryA(folder.c_str(), rules.Attributes()))
      return Fail(platform::SystemErrorText(static_cast<int>(GetLastError())) + ": " + folder);
  } else {
    if (auto why = platform::RedirectedOrForeign(folder)) return Fail(*why + ": " + folder);
    // One an earlier version made open to the machine's users.
    if (auto error = platform::ApplyPrivateRules(folder, true)) return Fail(*error + ": " + folder);
  }
  if (auto error = OwnedByAdministrators(folder)) return Fail(*error + ": " + folder);
  return 0;
}

int ProgramFolder(const std::string& folder) {
  if (auto why = platform::RedirectedOrForeign(folder)) return Fail(*why + ": " + folder);
  // As Program Files has it, also where the merchant chose another folder: the
  // payment module is loaded only from a folder administrators alone can change.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
          "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"
          "(A;OICI;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;OICI;0x1200a9;;;BU)",
          SDDL_REVISION_1, &descriptor, nullptr))
    return Fail(platform::SystemErrorText(static_cast<int>(GetLastError())));
  const std::unique_ptr<void, decltype(&LocalFree)> held(descriptor, &LocalFree);
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  std::string name = folder;
  const DWORD error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, list, nullptr);
  if (error != ERROR_SUCCESS) return Fail(platform::SystemErrorText(static_cast<int>(error)) + ": " + folder);
  if (auto failure = OwnedByAdministrators(folder)) return Fail(*failure + ": " + folder);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "operators") {
    // Account names as given, beyond the system's code page too.
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                             &LocalFree);
    std::vector<std::wstring> extra;
    for (int i = 2; wide && i < count; ++i) extra.emplace_back(wide.get()[i]);
    return Operators(extra);
  }
  if (command == "state-folder" && argc == 3) return StateFolder(argv[2]);
  if (command == "program-folder" && argc == 3) return ProgramFolder(argv[2]);
  return Fail("usage: vek-setup.exe operators [USER...] | state-folder FOLDER | program-folder FOLDER");
}
