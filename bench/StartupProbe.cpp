// Starts one program on the X display and measures, for bench/startup.sh, the time
// from its exec to its first window mapped, and its resident memory once it has
// settled. The display is watched before the program starts (no polling), so the
// time is the program's own and not the probe's.
//   startup-probe [--settle-ms N] [--size WxH] PROGRAM [ARGUMENTS...]
// Prints "MICROSECONDS RESIDENT_KB", the memory of the process that showed the
// window (the program, or a process it started when it is a wrapper). Fails when the first window the program maps
// is not of the given size (a message box before the window, say) or nothing is
// mapped within 20 s.
//   startup-probe --hold
// Stays connected to the display until it is ended: a server started without
// -noreset resets whenever its last client leaves, and would refuse the next run's
// connections for a moment and start it on a display just reset.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Thrown, so that the program started is ended on the way out.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
[[noreturn]] void Fail(const std::string& why) { throw Failure(why); }

struct Free {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

// The program's process, ended with SIGTERM when the probe is done with it.
class Child {
 public:
  explicit Child(char** argv) : pid_(fork()) {
    if (pid_ < 0) Fail("fork failed");
    if (pid_ == 0) {
      execvp(argv[0], argv);
      std::perror(argv[0]);
      _exit(127);
    }
  }
  ~Child() {
    if (!Alive()) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 300 && Alive(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!Alive()) return;
    kill(pid_, SIGKILL);  // a program that doesn't end on SIGTERM
    waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  pid_t Pid() const { return pid_; }
  // Reaps the process once it has ended.
  bool Alive() {
    if (!ended_ && waitpid(pid_, nullptr, WNOHANG) != 0) ended_ = true;
    return !ended_;
  }

 private:
  pid_t pid_;
  bool ended_ = false;
};

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
  const Reply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The process that says it owns the window (Qt sets _NET_WM_PID on its windows).
std::optional<pid_t> WindowPid(xcb_connection_t* x, xcb_window_t window, xcb_atom_t netWmPid) {
  const Reply<xcb_get_property_reply_t> reply(
      xcb_get_property_reply(x, xcb_get_property(x, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
  if (!reply || xcb_get_property_value_length(reply.get()) != 4) return std::nullopt;
  return static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply.get())));
}

// The process's parent, from /proc; 0 once it can't be read.
pid_t ParentOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const auto end = line.rfind(')');  // the command name may hold blanks and parentheses
  if (end == std::string::npos) return 0;
  char state = 0;
  int parent = 0;
  return std::sscanf(line.c_str() + end + 1, " %c %d", &state, &parent) == 2 ? parent : 0;
}

// The program itself or a process it started: a program run through a wrapper
// (strace, perf, valgrind) is measured in the process that shows the window.
bool StartedBy(pid_t pid, pid_t ancestor) {
  for (int depth = 0; pid > 1 && depth < 16; ++depth, pid = ParentOf(pid))
    if (pid == ancestor) return true;
  return false;
}

struct Disconnect {
  void operator()(xcb_connection_t* x) const { xcb_disconnect(x); }
};

int Probe(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--hold") == 0) {
    const std::unique_ptr<xcb_connection_t, Disconnect> display(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(display.get())) Fail("can't open the display");
    pause();
    return 0;
  }
  int settleMs = 1000;
  int width = 1024, height = 768;
  int first = 1;
  for (; first < argc && argv[first][0] == '-'; first += 2) {
    if (first + 1 >= argc) Fail("missing value after " + std::string(argv[first]));
    if (std::strcmp(argv[first], "--settle-ms") == 0)
      settleMs = std::atoi(argv[first + 1]);
    else if (std::strcmp(argv[first], "--size") != 0 || std::sscanf(argv[first + 1], "%dx%d", &width, &height) != 2)
      Fail("usage: startup-probe [--settle-ms N] [--size WxH] PROGRAM [ARGUMENTS...]");
  }
  if (first >= argc) Fail("no program given");

  const std::unique_ptr<xcb_connection_t, Disconnect> display(xcb_connect(nullptr, nullptr));
  xcb_connection_t* x = display.get();
  if (xcb_connection_has_error(x)) Fail("can't open the display");
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const xcb_atom_t netWmPid = Atom(x, "_NET_WM_PID");
  // Without a window manager every top-level window is a child of the root: its
  // mapping is reported here. Checked, so the watch stands before the program runs.
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  if (const Reply<xcb_generic_error_t> error(
          xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask)));
      error)
    Fail("can't watch the root window");

  const auto start = Clock::now();
  Child child(argv + first);
  const auto deadline = start + std::chrono::seconds(20);
  std::optional<Clock::time_point> mapped;
  pid_t shown = 0;  // the process whose window was mapped
  pollfd connection{xcb_get_file_descriptor(x), POLLIN, 0};
  while (!mapped) {
    while (const Reply<xcb_generic_event_t> event{xcb_poll_for_event(x)}) {
      if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY) continue;
      const auto now = Clock::now();
      const xcb_window_t window = reinterpret_cast<const xcb_map_notify_event_t*>(event.get())->window;
      const std::optional<pid_t> owner = WindowPid(x, window, netWmPid);
      if (!owner || !StartedBy(*owner, child.Pid())) continue;  // another client's window
      const Reply<xcb_get_geometry_reply_t> geometry(
          xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr));
      if (!geometry || geometry->width != width || geometry->height != height)
        Fail("the first window shown is not " + std::to_string(width) + "x" + std::to_string(height) +
             " (a message box?)");
      mapped = now;
      shown = *owner;
      break;
    }
    if (mapped) break;
    if (xcb_connection_has_error(x)) Fail("the display connection broke");
    if (!child.Alive()) Fail(std::string(argv[first]) + " ended before its window was shown");
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) Fail(std::string(argv[first]) + " showed no window within 20 s");
    poll(&connection, 1, static_cast<int>(std::min<long long>(left, 100)));
  }
  // What the program still does once it is on the screen (painting, what it
  // prepares afterwards) counts in its memory: read once it has settled.
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  if (!child.Alive()) Fail(std::string(argv[first]) + " ended after its window was shown");
  const long residentKb = ResidentKb(shown);
  std::printf("%lld %ld\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(*mapped - start).count()),
              residentKb);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Probe(argc, argv);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "startup-probe: %s\n", failure.what());
    return 1;
  }
}
