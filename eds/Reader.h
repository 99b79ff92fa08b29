#pragma once
// The EDS reader: the text of a file in, its model out (Model.h), or the error that says at which
// line and column the file goes wrong and what was expected there. It trusts nothing in the file:
// every count and size is checked against what is really written, nothing is allocated beyond what
// the text holds, and the time taken grows with the length of the text alone. Sections and keywords
// it does not know are kept in the model and listed, never an error.

#include "eds/Model.h"

#include <string_view>

namespace orv::eds {

bool ReadEds(std::string_view text, Eds& eds, Error& error);

// Only the [Device] section is interpreted (the syntax of the whole file is still checked): what
// the EDS library needs to index a file.
bool ReadDevice(std::string_view text, Device& device, Error& error);

} // namespace orv::eds
