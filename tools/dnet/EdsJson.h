#pragma once
// An EDS parameter's value as dnet's JSON writes it, for the EDS commands and the monitor alike.

#include "eds/Model.h"

#include <string>

namespace orv::dnet {

// A number, a string (raw bytes as hexadecimal digits), or null.
std::string ValueJson(const eds::Param& param, const eds::Value& value);

} // namespace orv::dnet
