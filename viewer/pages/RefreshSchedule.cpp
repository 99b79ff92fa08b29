#include "viewer/pages/RefreshSchedule.h"

#include <map>

namespace orv::viewer {

int& TickCounter(int pageCode)
{
    static std::map<int, int> counters;
    return counters[pageCode];
}

} // namespace orv::viewer
