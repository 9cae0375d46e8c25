#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// Who may read and change what the terminal keeps and loads on Windows (Windows
// only): the accounts trusted with it and the private rules of its state.
namespace platform {

// The local group of the counter's operators, which the installer makes: with
// SYSTEM and the administrators, the only ones who may read or write the terminal's
// state.
inline constexpr const wchar_t* kOperatorsGroup = L"VEK Operators";

// SYSTEM, Administrators, TrustedInstaller, and this program's own user while it
// runs as an administrator.
bool IsAdministrative(PSID sid);

// This program's own user (its token's), as a SID that lives as long as the program.
PSID ProgramUser();

// The operators group's SID, when the group exists.
std::optional<std::vector<BYTE>> OperatorsGroup();

// The SID's text form (S-1-5-...), for messages.
std::string SidText(PSID sid);

// The terminal's private access rules for a folder (inherited by what is made in
// it) or a file: protected from the parent's, SYSTEM and Administrators full control,
// the operators group (when it exists) and this program's user Modify, nobody else
// anything. The system's text when it can't be made.
class PrivateRules {
 public:
  explicit PrivateRules(bool folder);
  PrivateRules(const PrivateRules&) = delete;
  PrivateRules& operator=(const PrivateRules&) = delete;
  ~PrivateRules();
  const std::optional<std::string>& Error() const { return error_; }
  PACL List() const { return list_; }
  // For CreateFile and CreateDirectory.
  SECURITY_ATTRIBUTES* Attributes() { return error_ ? nullptr : &attributes_; }

 private:
  PACL list_ = nullptr;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  std::optional<std::string> error_;
};

// Gives `path` (a folder when `folder`) the private rules. The system's text when it can't.
std::optional<std::string> ApplyPrivateRules(const std::string& path, bool folder);

// The reason when `path` (a file or folder that exists) is a link or other reparse
// point, or is owned by neither an administrative account nor this program's user:
// rules set there could reach somewhere else, or be undone by its owner.
std::optional<std::string> RedirectedOrForeign(const std::string& path);

}  // namespace platform
