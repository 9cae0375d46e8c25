#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SecretFile.h"

namespace office {

std::variant<std::string, Refusal> ReadSecretFile(const std::string& path) {
  // Looked at as opened (no link followed), so what was checked is what is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Refusal{path + ": " + std::strerror(errno)};
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat s {};
  if (::fstat(fd, &s) != 0) return Refusal{path + ": " + std::strerror(errno)};
  if (!S_ISREG(s.st_mode)) return Refusal{path + ": not a regular file"};
  if (s.st_uid != ::geteuid()) return Refusal{path + ": not this user's file"};
  if ((s.st_mode & 077) != 0) return Refusal{path + ": others may read or write it (chmod 600 it)"};
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0) return Refusal{path + ": " + std::strerror(errno)};
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > 4096) return Refusal{path + ": too long for a password"};
  }
  text = text.substr(0, text.find_first_of("\r\n"));
  if (text.empty()) return Refusal{path + ": empty"};
  return text;
}

}  // namespace office
