#pragma once

#include <optional>
#include <string>

// A run-time loaded library, released when the object goes.
namespace platform {

class DynamicLibrary {
 public:
  // nullopt when the library can't be loaded. A path with a "/" is taken as is
  // (relative paths from the current working directory).
  static std::optional<DynamicLibrary> Open(const std::string& path);

  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  // The exported symbol's address, or nullptr.
  void* Symbol(const char* name) const;

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace platform
