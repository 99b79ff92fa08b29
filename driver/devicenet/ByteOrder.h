#pragma once
// Little-endian reads and writes at explicit offsets: every byte layout of the driver goes
// through these, never through host structs.

#include "platform/LittleEndian.h"

namespace orv::devicenet {

using platform::GetLe16;
using platform::GetLe32;
using platform::PutLe16;
using platform::PutLe32;

} // namespace orv::devicenet
