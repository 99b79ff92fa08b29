#pragma once
// Frames and byte strings as hex text, the way the tests write the conversation on the bus:
//   "464: 01 0E 01 01 07"      identifier 0x464, length 5, those data bytes
//   "454:"                     a frame without data bytes
//   "463/15: 01 8E 01 02 03"   an explicit length field (decimal), here a hostile 15
// Data bytes that the text does not list hold kFiller, as leftovers in a library's record would.

#include "driver/devicenet/CanFrame.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orv::test {

inline constexpr std::uint8_t kFiller = 0xEE;

// Malformed text is reported as a test failure and yields what could be read.
devicenet::CanFrame ParseFrame(std::string_view text);
std::vector<std::uint8_t> ParseBytes(std::string_view hex);

// "464: 01 0E 01 01 07"; a length field above 8 is shown as "464/12: " with the 8 data bytes.
std::string FormatFrame(const devicenet::CanFrame& frame);
// "01 0E 01" (upper case, single spaces, no trailing space).
std::string FormatBytes(const std::uint8_t* bytes, std::size_t count);
std::string FormatBytes(const std::vector<std::uint8_t>& bytes);

// Same identifier, same length field and the same data bytes within that length (at most 8).
bool SameFrame(const devicenet::CanFrame& a, const devicenet::CanFrame& b);

} // namespace orv::test
