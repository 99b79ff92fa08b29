#pragma once
// The results of the VORA stand-in library besides 0, which the VORA card passes on unchanged to
// its callers (0xFFFC, nothing received, is in driver/cards/Drv712Api.h).

#include <cstdint>

namespace orv::cardlibs::drv712 {

inline constexpr std::int32_t kNotOpen = 1;
inline constexpr std::int32_t kAlreadyOpen = 2;
inline constexpr std::int32_t kBusUnavailable = 3;   // also: the bus refused a frame, a poll command among them
inline constexpr std::int32_t kNoAnswer = 4;         // the node did not answer in time
inline constexpr std::int32_t kRefusedBySlave = 5;   // Allocate or Release answered with an error
inline constexpr std::int32_t kMalformedResponse = 6; // a poll response fragment out of sequence or of a wrong length

} // namespace orv::cardlibs::drv712
