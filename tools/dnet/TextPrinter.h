#pragma once
// dnet's output for people: the lines a record shows on standard output. A failed command shows
// nothing here (its one-line message goes to standard error) except what it found before it
// stopped.

#include "tools/dnet/Results.h"

#include <string>
#include <vector>

namespace orv::dnet {

std::vector<std::string> TextLines(const Record& record);

// A raw frame: "5FC  [5]  00 0E 01 01 01".
std::string FrameText(int identifier, const Bytes& data);

} // namespace orv::dnet
