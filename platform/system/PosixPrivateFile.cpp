#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/ErrorText.h"
#include "platform/system/PrivateFile.h"

namespace platform {

std::optional<std::string> CreatePrivateFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return SystemErrorText(errno);
  ::close(fd);
  return std::nullopt;
}

std::optional<std::string> Utf8FileName(const std::string& path) { return path; }

}  // namespace platform
