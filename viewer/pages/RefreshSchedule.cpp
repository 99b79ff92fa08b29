#include "viewer/pages/RefreshSchedule.h"

#include "viewer/model/Module.h"

#include <map>

namespace orv::viewer {

int& TickCounter(int pageCode)
{
    static std::map<int, int> counters;
    return counters[pageCode];
}

CycleSchedule::CycleSchedule(int pageCode, const Module* module)
    : counter_(TickCounter(pageCode)), module_(module), openings_(module != nullptr ? module->Openings() : 0)
{
}

bool CycleSchedule::NextIsFull()
{
    bool full = NextTickIsFull(counter_);
    if (module_ != nullptr && module_->Openings() != openings_) {
        openings_ = module_->Openings();
        full = true;
    }
    full = full || requested_;
    requested_ = false;
    return full;
}

} // namespace orv::viewer
