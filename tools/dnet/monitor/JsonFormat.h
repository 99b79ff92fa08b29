#pragma once
// The monitor's JSON: one object per DeviceNet message, on one line. Fields that do not apply to
// the message are left out; "text" holds what the text line says it means.

#include "tools/dnet/monitor/Message.h"

#include <string>

namespace orv::dnet::monitor {

// The object, without the line end; "time" in seconds of the frames' own clock.
std::string JsonLine(const Message& message);

} // namespace orv::dnet::monitor
