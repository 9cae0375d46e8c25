#include <windows.h>

#include "platform/ThreadPriority.h"

namespace platform {

void SetCurrentThreadPriority(int relative) { SetThreadPriority(GetCurrentThread(), relative); }

}  // namespace platform
