#pragma once
// When the pages read what. Each page kind counts its ticks on a process-wide counter that a new
// page of that kind does not reset (TickCounter, by page code). The object pages read their cheap,
// fast-changing values on every tick and everything else on a full refresh: eleven partial ticks,
// then one full. The serial interface page reads one of its three sections on some ticks: the
// stream section at count 5, the receive section at 10, the transmit section at 15, counting from
// 16 back to 1, so that each section comes every 16 ticks and never two in one tick.

namespace orv::viewer {

class Module;

// The tick counter of the pages of `pageCode`, 0 at program start.
int& TickCounter(int pageCode);

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

// The schedule of an object page: its kind's cycle of partial and full refreshes, with a full
// refresh also at the first tick after the node was opened again (a silent node found again) and at
// the next tick after the page asked for one, so that the page shows the node whole at once; the
// cycle goes on as it was.
class CycleSchedule {
public:
    CycleSchedule(int pageCode, const Module* module);

    // Advances the counter by one tick and says whether this tick is a full refresh.
    bool NextIsFull();
    void RequestFull() { requested_ = true; }

private:
    int& counter_;
    const Module* module_;
    int openings_;
    bool requested_ = false;
};

// Advances `counter` by one tick and gives the section this tick reads: 1 (stream), 2 (receive),
// 4 (transmit), or 0.
inline int NextSerialSection(int& counter)
{
    int section = 0;
    switch (counter) {
    case 5: section = 1; break;
    case 10: section = 2; break;
    case 15: section = 4; break;
    default: break;
    }
    counter = section == 0 && counter > 15 ? 1 : counter + 1;
    return section;
}

} // namespace orv::viewer
