// The stand-in payment module: carries one request to the payment server over TCP
// and hands back its reply. It keeps no state between calls (the program loads and
// releases it for each exchange), so nothing here is static or global.
//
//   extern "C" unsigned char VEKDataProcPos(const char* server, int port,
//                                           char* request, char* reply);
//
// Returns 1 with the server's reply (STX ... ETX) in `reply`, or 0 with a short
// text for the operator. Never writes more than 1024 bytes and a terminating zero.
// Once any of the request has gone out, a failure means the server may have carried
// it out: the text then says the outcome is unknown and to check before trying
// again.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "ReplyReader.h"

#ifdef _WIN32
// No static thread-local storage: loading a library that has some makes Windows
// (and Wine) give it a block in every running thread, the program's serial wait
// threads included, and Wine run by an i386 emulator faults doing so. This
// module has no thread-local data and keeps no state, so the runtime's TLS
// directory is left out (defining its callback keeps the runtime's TLS support
// from being linked).
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
#endif

namespace {

// The two systems' sockets, as far as this module uses them.
#ifdef _WIN32
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
constexpr int kSendFlags = 0;
int LastSocketError() { return WSAGetLastError(); }
bool ConnectPending(int error) { return error == WSAEWOULDBLOCK; }
bool TryAgain(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR; }
int PollOne(pollfd* p, int timeoutMs) { return WSAPoll(p, 1, timeoutMs); }
long long NowMs() { return static_cast<long long>(GetTickCount64()); }
SocketHandle OpenSocket() {
  const SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  u_long nonBlocking = 1;
  if (s != kNoSocket) ioctlsocket(s, FIONBIO, &nonBlocking);
  return s;
}
void CloseSocket(SocketHandle s) { closesocket(s); }

// Winsock is started and ended within each call: the module keeps no state.
class SocketLibrary {
 public:
  SocketLibrary() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~SocketLibrary() {
    if (started_) WSACleanup();
  }
  bool Started() const { return started_; }

 private:
  bool started_ = false;
};
#define VEK_ENTRY extern "C" __declspec(dllexport) unsigned char __stdcall
#else
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
constexpr int kSendFlags = MSG_NOSIGNAL;
int LastSocketError() { return errno; }
bool ConnectPending(int error) { return error == EINPROGRESS; }
bool TryAgain(int error) { return error == EAGAIN || error == EINTR; }
int PollOne(pollfd* p, int timeoutMs) { return poll(p, 1, timeoutMs); }
long long NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}
SocketHandle OpenSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }
void CloseSocket(SocketHandle s) { close(s); }
struct SocketLibrary {
  bool Started() const { return true; }
};
#define VEK_ENTRY extern "C" __attribute__((visibility("default"))) unsigned char
#endif

constexpr int kReplyLimit = 1024;
constexpr int kConnectMs = 3000;
constexpr int kExchangeMs = 10000;

// Operator texts in code page 949. Nothing was sent:
constexpr const char kNoServer[] = "\xBC\xAD\xB9\xF6\xBF\xAC\xB0\xE1\xBD\xC7\xC6\xD0";            // 서버연결실패
constexpr const char kBadAddress[] = "\xBC\xAD\xB9\xF6\xC1\xD6\xBC\xD2\xBF\xC0\xB7\xF9";          // 서버주소오류
// The request went out, the outcome is unknown:
// 응답시간초과: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오.
constexpr const char kTimedOut[] =
    "\xC0\xC0\xB4\xE4\xBD\xC3\xB0\xA3\xC3\xCA\xB0\xFA: \xB0\xE1\xB0\xFA\xB8\xA6 \xBE\xCB \xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. \xC1\xB6\xC8\xB8\xB7\xCE \xC8\xAE\xC0\xCE\xC7\xD1 \xB5\xDA "
    "\xB4\xD9\xBD\xC3 \xC7\xCF\xBD\xCA\xBD\xC3\xBF\xC0.";
// 연결끊김: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오.
constexpr const char kConnectionLost[] =
    "\xBF\xAC\xB0\xE1\xB2\xF7\xB1\xE8: \xB0\xE1\xB0\xFA\xB8\xA6 \xBE\xCB \xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. \xC1\xB6\xC8\xB8\xB7\xCE \xC8\xAE\xC0\xCE\xC7\xD1 \xB5\xDA "
    "\xB4\xD9\xBD\xC3 \xC7\xCF\xBD\xCA\xBD\xC3\xBF\xC0.";
// 응답전문오류: 결과를 알 수 없습니다. 조회로 확인한 뒤 다시 하십시오.
constexpr const char kBadReply[] =
    "\xC0\xC0\xB4\xE4\xC0\xFC\xB9\xAE\xBF\xC0\xB7\xF9: \xB0\xE1\xB0\xFA\xB8\xA6 \xBE\xCB \xBC\xF6 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. \xC1\xB6\xC8\xB8\xB7\xCE \xC8\xAE\xC0\xCE\xC7\xD1 \xB5\xDA "
    "\xB4\xD9\xBD\xC3 \xC7\xCF\xBD\xCA\xBD\xC3\xBF\xC0.";

unsigned char Fail(char* reply, const char* text) {
  std::memset(reply, 0, kReplyLimit + 1);
  std::strncpy(reply, text, kReplyLimit);
  return 0;
}

// Waits for `events` on `fd` until `deadline`; false on time-out or error.
bool Wait(SocketHandle fd, short events, long long deadline) {
  for (;;) {
    const long long left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int rc = PollOne(&p, static_cast<int>(left));
    if (rc > 0) return true;
    if (rc == 0 || LastSocketError() != EINTR) return false;
  }
}

class Socket {
 public:
  Socket() : fd_(OpenSocket()) {}
  ~Socket() {
    if (fd_ != kNoSocket) CloseSocket(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  SocketHandle fd() const { return fd_; }

 private:
  SocketHandle fd_;
};

}  // namespace

VEK_ENTRY VEKDataProcPos(const char* server, int port, char* request, char* reply) {
  if (reply == nullptr) return 0;
  const SocketLibrary sockets;
  if (!sockets.Started()) return Fail(reply, kNoServer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (server == nullptr || request == nullptr || port <= 0 || port > 65535 ||
      inet_pton(AF_INET, server, &address.sin_addr) != 1)
    return Fail(reply, kBadAddress);

  Socket socket;
  if (socket.fd() == kNoSocket) return Fail(reply, kNoServer);
  const long long start = NowMs();
  if (connect(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (!ConnectPending(LastSocketError())) return Fail(reply, kNoServer);
    if (!Wait(socket.fd(), POLLOUT, start + kConnectMs)) return Fail(reply, kNoServer);
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0)
      return Fail(reply, kNoServer);
  }
  const long long deadline = start + kExchangeMs;

  const size_t length = strnlen(request, kReplyLimit);
  for (size_t sent = 0; sent < length;) {
    const auto n = send(socket.fd(), request + sent, static_cast<int>(length - sent), kSendFlags);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && TryAgain(LastSocketError())) {
      if (!Wait(socket.fd(), POLLOUT, deadline)) return Fail(reply, sent == 0 ? kNoServer : kTimedOut);
    } else {
      return Fail(reply, sent == 0 ? kNoServer : kConnectionLost);
    }
  }

  vekdll::ReplyReader reader;
  for (;;) {
    if (!Wait(socket.fd(), POLLIN, deadline)) return Fail(reply, kTimedOut);
    char got[vekdll::ReplyReader::kLimit];
    const auto n = recv(socket.fd(), got, static_cast<int>(sizeof got), 0);
    if (n < 0 && TryAgain(LastSocketError())) continue;
    if (n <= 0) return Fail(reply, kConnectionLost);  // closed before the ETX
    switch (reader.Take(got, static_cast<size_t>(n))) {
      case vekdll::ReplyState::Incomplete: break;
      case vekdll::ReplyState::Malformed: return Fail(reply, kBadReply);
      case vekdll::ReplyState::Complete:
        std::memset(reply, 0, kReplyLimit + 1);
        std::memcpy(reply, reader.Message(), reader.Size());
        return 1;
    }
  }
}
