// Who may change the payment module the terminal loads, and who may read the
// journal it keeps: checked against what the system reports back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/system/CodeLocation.h"
#include "platform/system/PrivateFile.h"
#include "tests/support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/system/Win32AccessRules.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using testsupport::TempDir;

void Touch(const std::filesystem::path& file) { std::ofstream(file) << "module"; }

#ifdef _WIN32
// A folder whose list lets everyone change it, as a shared downloads folder does.
void MakeEveryonesFolder(const std::filesystem::path& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)",
                                                                    SDDL_REVISION_1, &descriptor, nullptr));
  ASSERT_TRUE(CreateDirectoryA(folder.string().c_str(), nullptr));
  // Set afterwards: what a folder is made with passes through the process's umask
  // under Wine.
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  std::string name = folder.string();
  ASSERT_EQ(SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, list,
                                  nullptr),
            static_cast<DWORD>(ERROR_SUCCESS));
  LocalFree(descriptor);
}

// The list read back as the system keeps it.
std::string Rules(const std::filesystem::path& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoA(path.string().c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  LPSTR text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                       nullptr);
  std::string rules = text != nullptr ? text : "";
  LocalFree(text);
  LocalFree(descriptor);
  return rules;
}
#else
void MakeEveryonesFolder(const std::filesystem::path& folder) {
  std::filesystem::create_directory(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::all);
}
#endif

TEST(CodeLocation, AModuleIsLoadedOnlyWhereNobodyButAdministratorsCanChangeIt) {
  TempDir dir;
  const std::filesystem::path own = dir.path() / "own";
  std::filesystem::create_directory(own);
  Touch(own / "VEKDLL.dll");
  EXPECT_EQ(platform::UnsafeCodeLocation((own / "VEKDLL.dll").string()), std::nullopt);

  const std::filesystem::path shared = dir.path() / "shared";
  MakeEveryonesFolder(shared);
  Touch(shared / "VEKDLL.dll");
  const auto why = platform::UnsafeCodeLocation((shared / "VEKDLL.dll").string());
  ASSERT_TRUE(why);
  EXPECT_NE(why->find(shared.string()), std::string::npos) << *why;
  // Also as the terminal names it: from the current folder.
  testsupport::WorkingDirectory working(shared);
#ifdef _WIN32
  EXPECT_TRUE(platform::UnsafeCodeLocation(".\\VEKDLL.dll"));
#else
  EXPECT_TRUE(platform::UnsafeCodeLocation("./VEKDLL.so"));
#endif
}

#ifndef _WIN32
TEST(CodeLocation, AWritableFileOrALinkIntoAWritableFolderIsRefusedToo) {
  TempDir dir;
  const std::filesystem::path module = dir.path() / "VEKDLL.so";
  Touch(module);
  std::filesystem::permissions(module, std::filesystem::perms::others_write, std::filesystem::perm_options::add);
  EXPECT_TRUE(platform::UnsafeCodeLocation(module.string()));

  const std::filesystem::path shared = dir.path() / "shared";
  MakeEveryonesFolder(shared);
  Touch(shared / "real.so");
  const std::filesystem::path safe = dir.path() / "safe";
  std::filesystem::create_directory(safe);
  std::filesystem::create_symlink(shared / "real.so", safe / "VEKDLL.so");
  EXPECT_TRUE(platform::UnsafeCodeLocation((safe / "VEKDLL.so").string()));
}
#endif

#ifdef _WIN32
TEST(PrivateFile, TheJournalIsMadeForTheCounterAlone) {
  TempDir dir;
  // The folder as the installer makes it, then the file as the program does.
  const std::filesystem::path state = dir.path() / "state";
  const std::filesystem::path journal = state / "VEK_Journal.db";
  platform::PrivateRules rules(true);
  ASSERT_TRUE(CreateDirectoryA(state.string().c_str(), rules.Attributes()));
  ASSERT_EQ(platform::CreatePrivateFile(journal.string()), std::nullopt);
  for (const auto& path : {state, journal}) {
    const std::string rules = Rules(path);
    // Neither everyone, nor the machine's users, nor the authenticated ones.
    for (const char* other : {";WD)", ";BU)", ";AU)"}) EXPECT_EQ(rules.find(other), std::string::npos) << path << ": " << rules;
    EXPECT_NE(rules.find(";SY)"), std::string::npos) << rules;
    EXPECT_NE(rules.find(platform::SidText(platform::ProgramUser())), std::string::npos) << rules;
  }
}
#endif

}  // namespace
