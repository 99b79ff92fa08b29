#pragma once
// The object pages read their cheap, fast-changing values on every tick and everything else on a
// full refresh: eleven partial ticks, then one full, counted on a process-wide counter of the page
// kind that a new page of that kind does not reset.

namespace orv::viewer {

// Ticks of a cycle that come before its full refresh, counted from 0.
inline constexpr int kPartialTicksPerCycle = 11;

// Advances `counter` by one tick and says whether this tick is the full refresh.
inline bool NextTickIsFull(int& counter)
{
    if (counter >= kPartialTicksPerCycle) {
        counter = 0;
        return true;
    }
    ++counter;
    return false;
}

} // namespace orv::viewer
