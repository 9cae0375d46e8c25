#pragma once

namespace platform {

// Gives the calling thread a priority relative to normal, in the Windows steps:
// -15 idle, -2 lowest, -1 below normal, 0 normal, 1 above normal, 2 highest,
// 15 time critical. Raising it may need privileges; without them the thread
// keeps its priority.
void SetCurrentThreadPriority(int relative);

}  // namespace platform
