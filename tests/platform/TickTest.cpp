#include "platform/Tick.h"

#include <gtest/gtest.h>

namespace orv::platform {
namespace {

TEST(Tick, TicksBetweenIsRightAcrossTheWrap)
{
    EXPECT_EQ(TicksBetween(100, 350), 250u);
    EXPECT_EQ(TicksBetween(0xFFFFFFF0u, 0x10u), 0x20u);
    EXPECT_EQ(TicksBetween(0xFFFFFFFFu, 0u), 1u);
    EXPECT_EQ(TicksBetween(5, 5), 0u);
    // A time-out test of the form "elapsed >= limit" stays right across the wrap.
    EXPECT_LT(TicksBetween(0xFFFFFF00u, 0x000000F0u), 1000u);
    static_assert(TicksBetween(0xFFFFFFFEu, 3u) == 5u);
}

TEST(Tick, CountAdvancesWithSleep)
{
    const std::uint32_t start = GetTickCount();
    Sleep(20);
    const std::uint32_t elapsed = TicksBetween(start, GetTickCount());
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 5000u);
}

} // namespace
} // namespace orv::platform
