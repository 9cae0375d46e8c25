#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "platform/system/CodeLocation.h"
#include "platform/system/ErrorText.h"
#include "platform/text/Cp949.h"

namespace platform {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The reason when `path` (followed if it is a link) is another user's or writable
// by group or others.
std::optional<std::string> OthersMayWrite(const std::string& path) {
  struct stat s {};
  if (::stat(path.c_str(), &s) != 0) return SystemErrorText(errno) + ": " + path;
  if (s.st_uid != 0 && s.st_uid != ::geteuid())
    return Utf8ToCp949("다른 사용자의 것입니다: ") + path;
  if ((s.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return Utf8ToCp949("다른 사용자도 쓸 수 있습니다: ") + path;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> UnsafeCodeLocation(const std::string& file) {
  // The name is looked up in its folder, and a link there may lead elsewhere: the
  // folder, and the file and folder it leads to; named in full for the operator.
  std::error_code error;
  const std::string full = std::filesystem::absolute(file, error).lexically_normal().string();
  if (auto why = OthersMayWrite(FolderOf(error ? file : full))) return why;
  struct stat link {};
  if (::lstat(file.c_str(), &link) != 0 && errno == ENOENT) return std::nullopt;
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(file.c_str(), nullptr), &std::free);
  if (!real) return SystemErrorText(errno) + ": " + file;
  if (auto why = OthersMayWrite(FolderOf(real.get()))) return why;
  return OthersMayWrite(real.get());
}

void RestrictLibrarySearch() {}

}  // namespace platform
