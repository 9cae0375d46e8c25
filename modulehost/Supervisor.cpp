#include "Supervisor.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace modulehost {
namespace {

using namespace std::chrono_literals;
constexpr auto kRequestTime = 10s;     // a caller sends its whole request within this
constexpr auto kSendTime = 2s;         // a message to a caller or the host goes out within this
constexpr auto kLongestPause = 60s;    // between starts of a host that ends before it is ready
constexpr std::size_t kLongestRequest = 2 * 8192;
constexpr std::size_t kMostCallers = 64;

void Log(const std::string& line) { std::fprintf(stderr, "vek-module-host: %s\n", line.c_str()); }

// Tells systemd that the service is ready (a unit of Type=notify), when systemd
// started it: the kiosk session starts after the host is up.
void NotifyReady() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || (path[0] != '/' && path[0] != '@')) return;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // an abstract socket
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  static constexpr char kReady[] = "READY=1";
  sendto(fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&address),
         static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length));
  close(fd);
}

// The signals the supervisor stops on, and SIGCHLD, read from a descriptor.
int SignalDescriptor() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, s);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) throw std::system_error(errno, std::generic_category(), "sigprocmask");
  const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  signal(SIGPIPE, SIG_IGN);
  return fd;
}

// True when a stopping signal came; SIGCHLD only wakes the loop.
bool StopSignalled(int fd) {
  bool stop = false;
  signalfd_siginfo info{};
  while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    if (info.ssi_signo != SIGCHLD) stop = true;
  return stop;
}

}  // namespace

Supervisor::Supervisor(SupervisorOptions options)
    : options_(std::move(options)),
      listener_(platform::LocalListener::Listen(options_.SocketPath)),
      signals_(SignalDescriptor()) {}

Supervisor::~Supervisor() {
  host_.reset();  // stopped and waited for before the descriptors go
  close(signals_);
}

void Supervisor::Run() {
  Log("serving " + options_.SocketPath + "; calls end after " + std::to_string(options_.CallTimeLimit.count()) + " s");
  StartHost();
  for (;;) {
    std::vector<pollfd> fds{{signals_, POLLIN, 0}, {listener_.Descriptor(), POLLIN, 0}};
    // A host being stopped has nothing more to say: only its end is awaited.
    const bool hostPolled = host_ && state_ != HostState::Down;
    if (hostPolled) fds.push_back({host_->Channel().Descriptor(), POLLIN, 0});
    const std::size_t firstCaller = fds.size();
    std::vector<ClientRef> polled;
    for (auto c = clients_.begin(); c != clients_.end(); ++c) {
      fds.push_back({c->Stream.Descriptor(), POLLIN, 0});
      polled.push_back(c);
    }
    int timeout = -1;
    if (const auto next = NextTimer()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
      timeout = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "poll");

    if (fds[0].revents != 0 && StopSignalled(signals_)) {
      Log("stopping");
      return;
    }
    // Callers first: a caller that has hung up is never called, and only its own
    // step removes a caller while `polled` is in use.
    for (std::size_t i = 0; i < polled.size(); ++i)
      if (fds[firstCaller + i].revents != 0) ClientInput(polled[i]);
    if (fds[1].revents != 0) Accept();
    if (hostPolled && fds[2].revents != 0) HostInput();
    if (host_)
      if (const auto status = host_->Ended()) HostEnded(*status);
    Timers();
    Dispatch();
  }
}

void Supervisor::StartHost() {
  try {
    host_.emplace(options_.HostExe);
  } catch (const std::system_error& error) {
    Log(std::string("can't start the host: ") + error.what());
    pause_ = std::clamp<std::chrono::seconds>(pause_ * 2, 1s, kLongestPause);
    restartAt_ = Clock::now() + pause_;
    // Without Wine no call will be made for a while: those waiting hear it now.
    while (!line_.empty()) Answer(line_.front(), {CallStatus::HostUnavailable, 0, {}});
    NotifyReadyOnce();
    return;
  }
  state_ = HostState::Starting;
  wasReady_ = false;
  startedAt_ = Clock::now();
  hostReceived_.clear();
  Log("started " + options_.HostExe + " under Wine (process " + std::to_string(host_->Pid()) + ")");
}

void Supervisor::HostInput() {
  const auto got = host_->Channel().ReceiveSome(hostReceived_, Clock::now());
  if (got == platform::LocalStream::Received::TimedOut) return;
  if (got != platform::LocalStream::Received::Data) return StopHost("the host closed its channel");
  for (;;) {
    auto decoded = Decode(hostReceived_);
    if (decoded.Is == Decoded::State::NeedMore) return;
    if (decoded.Is == Decoded::State::Malformed) return StopHost("the host sent a malformed message");
    hostReceived_.erase(0, decoded.Consumed);
    if (std::holds_alternative<HostReady>(decoded.Value) && state_ == HostState::Starting) {
      state_ = HostState::Ready;
      wasReady_ = true;
      pause_ = 0s;
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - startedAt_).count();
      Log("the host is ready after " + std::to_string(ms) + " ms");
      NotifyReadyOnce();
    } else if (const auto* answer = std::get_if<CallAnswer>(&decoded.Value); answer && state_ == HostState::Busy) {
      state_ = HostState::Ready;
      if (calling_) Answer(*calling_, *answer);
      calling_.reset();
    } else {
      return StopHost("the host sent a message out of turn");
    }
  }
}

void Supervisor::StopHost(const std::string& why) {
  Log(why + "; stopping it");
  state_ = HostState::Down;  // no more calls for it; its end is awaited
  host_->Kill();
}

void Supervisor::HostEnded(int waitStatus) {
  const bool neverReady = !wasReady_;
  Log(std::string("the host ended") + (calling_ ? " during a call" : "") + ": " + DescribeEnd(waitStatus));
  if (calling_) Answer(*calling_, {CallStatus::HostEnded, 0, {}});
  calling_.reset();
  host_.reset();
  state_ = HostState::Down;
  // Started again at once, unless it ends before it is ready: then after a pause
  // that grows with each such end, so a broken Wine doesn't keep the machine busy.
  pause_ = neverReady ? std::clamp<std::chrono::seconds>(pause_ * 2, 1s, kLongestPause) : 0s;
  restartAt_ = Clock::now() + pause_;
  if (!neverReady) return;
  // A host that can't get ready won't take the calls waiting now either.
  while (!line_.empty()) Answer(line_.front(), {CallStatus::HostUnavailable, 0, {}});
  NotifyReadyOnce();
}

// Ready for systemd once the host is, or once it turns out that Wine can't run it:
// the kiosk session waits for this and shouldn't wait for a broken Wine; calls
// then end in the module box until a host starts.
void Supervisor::NotifyReadyOnce() {
  if (!notified_) NotifyReady();
  notified_ = true;
}

void Supervisor::Accept() {
  while (auto stream = listener_.Accept()) {
    // The socket file lets only this user and root in; the caller's user is checked
    // all the same, should the file's mode have been changed.
    const auto user = stream->PeerUser();
    if (!user || (*user != geteuid() && *user != 0)) {
      Log("refused a caller running as user " + (user ? std::to_string(*user) : std::string("?")));
      stream->SendAll(Encode(CallAnswer{CallStatus::NotPermitted, 0, {}}), Clock::now() + kSendTime);
      continue;
    }
    if (clients_.size() >= kMostCallers) {
      stream->SendAll(Encode(CallAnswer{CallStatus::HostUnavailable, 0, {}}), Clock::now() + kSendTime);
      continue;
    }
    clients_.push_back(Client{std::move(*stream), {}, Clock::now() + kRequestTime, std::nullopt, {}});
  }
}

void Supervisor::ClientInput(ClientRef client) {
  const auto got = client->Stream.ReceiveSome(client->Received, Clock::now());
  if (got == platform::LocalStream::Received::TimedOut) return;
  if (got != platform::LocalStream::Received::Data) return Drop(client);  // hung up: never called, or not waited for
  if (client->Call) return client->Received.clear();                      // bytes after its request: nothing to do
  const auto decoded = Decode(client->Received);
  if (decoded.Is == Decoded::State::NeedMore && client->Received.size() <= kLongestRequest) return;
  const auto* call = std::get_if<CallRequest>(&decoded.Value);
  if (decoded.Is != Decoded::State::Complete || call == nullptr)
    return Answer(client, {CallStatus::BadRequest, 0, {}});
  client->Call = *call;
  client->Received.clear();
  client->WaitBy = Clock::now() + std::chrono::seconds(kHostWaitLimitSeconds);
  line_.push_back(client);
  if (!host_) restartAt_ = Clock::now();  // a caller waits: no pause
}

void Supervisor::Answer(ClientRef client, const CallAnswer& answer) {
  client->Stream.SendAll(Encode(answer), Clock::now() + kSendTime);
  Drop(client);
}

void Supervisor::Drop(ClientRef client) {
  std::erase(line_, client);
  if (calling_ == client) calling_.reset();  // its call goes on; the answer has nobody to go to
  clients_.erase(client);
}

void Supervisor::Dispatch() {
  while (state_ == HostState::Ready && !line_.empty()) {
    const ClientRef client = line_.front();
    line_.pop_front();
    if (!host_->Channel().SendAll(Encode(*client->Call), Clock::now() + kSendTime)) {
      Answer(client, {CallStatus::HostUnavailable, 0, {}});  // no whole call reached the host
      return StopHost("the host takes no calls");
    }
    state_ = HostState::Busy;
    client->WaitBy = Clock::time_point::max();  // out of the line
    calling_ = client;
    answerBy_ = Clock::now() + options_.CallTimeLimit;
  }
}

void Supervisor::Timers() {
  const auto now = Clock::now();
  if (state_ == HostState::Busy && now >= answerBy_) {
    if (calling_) Answer(*calling_, {CallStatus::TimedOut, 0, {}});
    calling_.reset();
    StopHost("no answer within " + std::to_string(options_.CallTimeLimit.count()) + " s");
  }
  for (auto c = clients_.begin(); c != clients_.end();) {
    const auto next = std::next(c);
    if (!c->Call && now >= c->ReadBy) {
      Drop(c);
    } else if (c->Call && now >= c->WaitBy) {
      Log("no host took a call within " + std::to_string(kHostWaitLimitSeconds) + " s");
      Answer(c, {CallStatus::HostUnavailable, 0, {}});
    }
    c = next;
  }
  if (!host_ && now >= restartAt_) StartHost();
}

std::optional<Supervisor::Clock::time_point> Supervisor::NextTimer() const {
  std::optional<Clock::time_point> next;
  const auto consider = [&next](Clock::time_point t) { next = next ? std::min(*next, t) : t; };
  if (state_ == HostState::Busy) consider(answerBy_);
  if (!host_) consider(restartAt_);
  for (const Client& c : clients_) consider(c.Call ? c.WaitBy : c.ReadBy);
  return next;
}

}  // namespace modulehost
