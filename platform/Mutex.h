#pragma once
// Unnamed mutexes of the platform layer: re-entrant for the owning thread, taken without time-out.

#include <mutex>

namespace orv::platform {

using RecursiveMutex = std::recursive_mutex;
using Lock = std::lock_guard<RecursiveMutex>;

} // namespace orv::platform
