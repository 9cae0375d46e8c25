#pragma once

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

namespace testsupport {

// Binds `fd` to a port of the system's choosing on the loopback; gives the port.
inline int BindLoopback(int fd) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  return ntohs(a.sin_port);
}

// A free port on the loopback, for a server about to start.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  const int port = BindLoopback(fd);
  close(fd);
  return port;
}

// A paysim process on its own ports and database file, given `options` besides.
class PaySimProcess {
 public:
  PaySimProcess(const std::string& database, int port, int httpPort, const std::vector<std::string>& options = {})
      : port_(port), httpPort_(httpPort) {
    Start(database, httpPort, options);
  }
  ~PaySimProcess() { Stop(SIGTERM); }
  PaySimProcess(const PaySimProcess&) = delete;
  PaySimProcess& operator=(const PaySimProcess&) = delete;

  // Ends the process with `signal` and returns its exit status.
  int Stop(int signal) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
  }
  void Signal(int signal) const { kill(pid_, signal); }
  int Port() const { return port_; }
  int HttpPort() const { return httpPort_; }

 private:
  void Start(const std::string& database, int httpPort, const std::vector<std::string>& options) {
    const std::string port = std::to_string(port_), http = std::to_string(httpPort);
    std::vector<const char*> argv{"paysim",      "--db",        database.c_str(), "--port",
                                  port.c_str(), "--http-port", http.c_str()};
    for (const std::string& option : options) argv.push_back(option.c_str());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      execv(PAYSIM_PATH, const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    // Ready when it accepts connections.
    for (int i = 0; i < 200; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(port_));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      close(fd);
      if (up) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("paysim did not start");
  }

  int port_;
  int httpPort_;
  pid_t pid_ = -1;
};

// The stand-in module, loaded as the program loads it.
class Module {
 public:
  Module() : handle_(dlopen(VEKDLL_PATH, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) throw std::runtime_error(dlerror());
    entry_ = reinterpret_cast<Entry>(dlsym(handle_, "VEKDataProcPos"));
  }
  ~Module() { dlclose(handle_); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // One exchange: the result and the reply buffer's text.
  std::pair<bool, std::string> Call(const std::string& request, int port) const {
    char in[1025] = {};
    char out[1025] = {};
    request.copy(in, 1024);
    const unsigned char result = entry_("127.0.0.1", port, in, out);
    return {result != 0, std::string(out)};
  }

 private:
  using Entry = unsigned char (*)(const char*, int, char*, char*);
  void* handle_;
  Entry entry_;
};

}  // namespace testsupport
