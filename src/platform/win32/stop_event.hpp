#pragma once

#include <windows.h>

namespace dl250t {

// Set, and left set, when SignalCleanup remembers a stop (OnStop::RaiseFlag),
// so that a program waiting on Windows objects wakes for it at once.
HANDLE stopRequestedEvent();

}  // namespace dl250t
