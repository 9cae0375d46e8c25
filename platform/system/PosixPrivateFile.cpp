#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"

namespace platform {

std::optional<std::string> CreatePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return SystemErrorText(errno);
  // A file made by an older version, or copied in, may be open to others: made
  // private when it is ours (another owner's file keeps the mode its owner chose).
  struct stat s {};
  int error = 0;
  if (::fstat(fd, &s) == 0 && s.st_uid == ::geteuid() && (s.st_mode & 077) != 0 &&
      ::fchmod(fd, s.st_mode & 0700) != 0)
    error = errno;
  ::close(fd);
  if (error != 0) return SystemErrorText(error);
  return std::nullopt;
}

std::optional<std::string> Utf8FileName(const std::string& path) { return path; }

}  // namespace platform
