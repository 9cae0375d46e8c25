#include <iconv.h>

#include <stdexcept>

#include "Cp949Codec.h"

namespace platform::codec {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(handle_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool Convert(std::string_view character, std::string& out) {
    char buffer[8];
    char* in = const_cast<char*>(character.data());
    size_t inLeft = character.size();
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
    if (rc == static_cast<size_t>(-1) || inLeft != 0 || outPtr == buffer) return false;
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return true;
  }

 private:
  iconv_t handle_;
};

}  // namespace

bool ToUtf8(std::string_view cp949Character, std::string& out) {
  thread_local Iconv cd("UTF-8", "CP949");
  return cd.Convert(cp949Character, out);
}

bool FromUtf8(std::string_view utf8Character, std::string& out) {
  thread_local Iconv cd("CP949", "UTF-8");
  return cd.Convert(utf8Character, out);
}

}  // namespace platform::codec
