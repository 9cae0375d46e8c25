#include <windows.h>

#include "platform/system/ThreadPriority.h"

namespace platform {

void SetCurrentThreadPriority(int relative) { SetThreadPriority(GetCurrentThread(), relative); }

}  // namespace platform
