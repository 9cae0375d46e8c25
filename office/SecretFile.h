#pragma once

#include <string>
#include <variant>

// A secret kept in a file (the counter's password at the head office): its first
// line, read only from a regular file of this user's that no one else may read or
// write. Otherwise why not (UTF-8).
namespace office {

struct Refusal {
  std::string Why;
};

std::variant<std::string, Refusal> ReadSecretFile(const std::string& path);

}  // namespace office
