#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/system/ThreadPriority.h"

namespace platform {

// Idle is the idle scheduling class; the other steps are nice offsets.
void SetCurrentThreadPriority(int relative) {
  if (relative == 0) return;
  if (relative <= -15) {
    sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
    return;
  }
  const int nice = relative >= 15 ? -20 : -5 * relative;
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
}

}  // namespace platform
