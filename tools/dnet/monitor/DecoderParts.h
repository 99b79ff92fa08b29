#pragma once
// What the two halves of the decoder (explicit messages, I/O) share: the fragment types, which
// are the same in both fragmentation protocols, and how a series notes what is wrong with it.

#include <cstddef>
#include <string>

namespace orv::dnet::monitor::parts {

// Fragment types, bits 7..6 of the fragmentation byte.
inline constexpr int kFirst = 0;
inline constexpr int kMiddle = 1;
inline constexpr int kLast = 2;
inline constexpr int kAck = 3; // explicit messages only

inline constexpr std::size_t kFrameData = 8;

// "fragment 2 where 1 was due"
inline std::string CountText(const char* what, int count, int due)
{
    return std::string(what) + " " + std::to_string(count) + " where " + std::to_string(due) + " was due";
}

// The first problem of a series is the one reported.
inline void NoteProblem(std::string& problem, const std::string& text)
{
    if (problem.empty()) {
        problem = text;
    }
}

} // namespace orv::dnet::monitor::parts
