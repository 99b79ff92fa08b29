#include "canbus/SystemError.h"

#include <cstring>

namespace canbus {

std::string ErrnoText(int error) { return std::strerror(error); }

std::string NamedErrnoText(int error)
{
    const char* name = ::strerrorname_np(error);
    return (name != nullptr ? std::string(name) : "error " + std::to_string(error)) + ": " + ErrnoText(error);
}

} // namespace canbus
