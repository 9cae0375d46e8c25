#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"

namespace platform {

namespace {

// A file made by an older version, or copied in, may be open to others: made private
// when it is ours (another owner's file keeps the mode its owner chose). An errno.
int MakePrivate(int fd) {
  struct stat s {};
  if (::fstat(fd, &s) == 0 && s.st_uid == ::geteuid() && (s.st_mode & 077) != 0 &&
      ::fchmod(fd, s.st_mode & 0700) != 0)
    return errno;
  return 0;
}

}  // namespace

std::optional<std::string> CreatePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return SystemErrorText(errno);
  int error = MakePrivate(fd);
  ::close(fd);
  // SQLite's log files keep the mode they were made with, and hold what the main
  // file holds: those an older version left behind are made private as well.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (error != 0) break;
    const int log = ::open((path + suffix).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (log < 0) continue;  // none there (or not this user's to open)
    error = MakePrivate(log);
    ::close(log);
  }
  if (error != 0) return SystemErrorText(error);
  return std::nullopt;
}

std::optional<std::string> Utf8FileName(const std::string& path) { return path; }

}  // namespace platform
