#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"
#include "platform/text/Cp949.h"

namespace platform {

namespace {

// A file made by an older version, or copied in, may be open to others: made private
// when it is ours (another owner's file keeps the mode its owner chose), its group
// reading it or not as asked. An errno.
int MakePrivate(int fd, bool groupReads) {
  struct stat s {};
  if (::fstat(fd, &s) != 0 || s.st_uid != ::geteuid()) return 0;
  const mode_t mode = (s.st_mode & 0700) | (groupReads ? 0040 : 0);
  if ((s.st_mode & 0777) != mode && ::fchmod(fd, mode) != 0) return errno;
  return 0;
}

}  // namespace

std::optional<std::string> CreatePrivateFile(const std::string& path, bool create, bool groupReads) {
  // Opened without following a link (a link's target would be made private, or
  // made), and without waiting on a FIFO; what was opened is then looked at.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0),
                        groupReads ? 0640 : 0600);
  if (fd < 0) {
    const int openError = errno;
    struct stat s {};
    if (::lstat(path.c_str(), &s) == 0 && S_ISLNK(s.st_mode)) return Utf8ToCp949("링크입니다, 파일이어야 합니다");
    if (openError == ENOENT && !create) return Utf8ToCp949("파일이 없습니다");
    return SystemErrorText(openError);
  }
  struct stat s {};
  std::optional<std::string> refusal;
  if (::fstat(fd, &s) != 0)
    refusal = SystemErrorText(errno);
  else if (!S_ISREG(s.st_mode))
    refusal = Utf8ToCp949("파일이 아닙니다");
  else if (s.st_uid != ::geteuid())
    refusal = Utf8ToCp949("다른 사용자의 파일입니다");
  int error = refusal ? 0 : MakePrivate(fd, groupReads);
  ::close(fd);
  if (refusal) return refusal;
  // SQLite's log files keep the mode they were made with, and hold what the main
  // file holds: those an older version left behind are made private as well.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (error != 0) break;
    const int log = ::open((path + suffix).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (log < 0) continue;  // none there (or not this user's to open)
    error = MakePrivate(log, groupReads);
    ::close(log);
  }
  if (error != 0) return SystemErrorText(error);
  return std::nullopt;
}

std::optional<std::string> Utf8FileName(const std::string& path) { return path; }

}  // namespace platform
