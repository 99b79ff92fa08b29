#pragma once
// The text of a system error number, as the buses put it into their messages.

#include <string>

namespace canbus {

// strerror's text: "No such device".
std::string ErrnoText(int error);

// The error's name and text, "ENODEV: No such device", for a message a user may look up.
std::string NamedErrnoText(int error);

} // namespace canbus
