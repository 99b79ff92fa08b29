#include "viewer/model/ModuleBase.h"

namespace orv::viewer {

bool ModuleBase::SetAddress(int address)
{
    address_ = address;
    name_ = "Module " + std::to_string(address);
    return true;
}

bool ModuleBase::Open(int)
{
    return false;
}

bool ModuleBase::Close()
{
    return false;
}

bool ModuleBase::RemoveAll()
{
    return false;
}

DriverClient* ModuleBase::GetDriver()
{
    return nullptr;
}

void ModuleBase::SetDriver(DriverClient*) {}

} // namespace orv::viewer
