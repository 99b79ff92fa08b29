#pragma once
// dnet's output for programs: one JSON object per record, on one line. A command's object has its
// name, what it found, and its status ("ok", "error-response" or "failure"), exit status and
// error text.

#include "tools/dnet/Results.h"

#include <string>

namespace orv::dnet {

std::string JsonLine(const Record& record);

} // namespace orv::dnet
