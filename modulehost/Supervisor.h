#pragma once

#include <chrono>
#include <deque>
#include <list>
#include <optional>
#include <string>

#include "HostProcess.h"
#include "modulehost/HostChannel.h"
#include "platform/system/LocalSocket.h"

namespace modulehost {

struct SupervisorOptions {
  std::string SocketPath;
  std::string HostExe;
  std::chrono::seconds CallTimeLimit{kCallTimeLimitSeconds};
};

// vek-module-host: keeps the module host running under Wine and serves the
// terminal's calls on a socket that only this user (and root) can open. One call
// at a time, in the order the calls arrive; each caller gets one answer:
//   - the host's answer, or that the library could not be loaded or has no entry
//     point;
//   - no host took the call within kHostWaitLimitSeconds (it was starting, or
//     busy with other calls): nothing sent;
//   - the host ended during the call, or gave no answer within the time limit (it
//     is stopped then): the outcome is unknown.
// A caller that hangs up before its call is made is never called. A host that ends
// is started again: at once after it has been ready, after a growing pause when it
// ends before it gets ready (the calls waiting for it then end at once). Linux only.
class Supervisor {
 public:
  // Listens on the socket; throws std::system_error when it can't.
  explicit Supervisor(SupervisorOptions options);
  Supervisor(const Supervisor&) = delete;
  Supervisor& operator=(const Supervisor&) = delete;
  ~Supervisor();

  // Serves until SIGTERM, SIGINT or SIGHUP, then stops the host.
  void Run();

 private:
  using Clock = std::chrono::steady_clock;
  struct Client {
    platform::LocalStream Stream;
    std::string Received;
    Clock::time_point ReadBy;                // a whole request by then
    std::optional<CallRequest> Call;         // complete: in line, or being called
    Clock::time_point WaitBy;                // in line: a host ready by then (max once called)
  };
  using ClientRef = std::list<Client>::iterator;
  enum class HostState { Down, Starting, Ready, Busy };

  void StartHost();
  void NotifyReadyOnce();
  void HostInput();
  void HostEnded(int waitStatus);
  void StopHost(const std::string& why);
  void Accept();
  void ClientInput(ClientRef client);
  void Answer(ClientRef client, const CallAnswer& answer);
  void Drop(ClientRef client);
  void Dispatch();
  void Timers();
  std::optional<Clock::time_point> NextTimer() const;

  SupervisorOptions options_;
  platform::LocalListener listener_;
  int signals_ = -1;

  std::optional<HostProcess> host_;
  HostState state_ = HostState::Down;
  bool wasReady_ = false;  // the host now running, or the last one, got ready
  std::string hostReceived_;
  Clock::time_point startedAt_;
  Clock::time_point answerBy_;
  Clock::time_point restartAt_;
  std::chrono::seconds pause_{0};
  bool notified_ = false;

  std::list<Client> clients_;
  std::deque<ClientRef> line_;
  std::optional<ClientRef> calling_;  // its client, while it is still connected
};

}  // namespace modulehost
