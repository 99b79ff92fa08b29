// The device's next timer: whoever drives it may sleep that long when no frame comes. At that
// moment the timer runs, and not a millisecond earlier.

#include "DeviceFixture.h"

#include <functional>
#include <optional>

namespace devsim::test {
namespace {

class DeviceTimers;

struct TimerCase {
    const char* name;
    std::function<void(BrelinDevice::Options&)> configure;
    std::function<void(DeviceTimers&)> setup;
    std::optional<std::uint32_t> next; // NextTimer once set up
    Frames atExpiry;                   // what the device sends when it runs
    std::optional<std::uint32_t> after; // NextTimer right after
};

void PrintTo(const TimerCase& c, std::ostream* os)
{
    *os << c.name;
}

class DeviceTimers : public DeviceTest, public ::testing::WithParamInterface<TimerCase> {
public:
    void SetUp() override
    {
        Options options;
        if (GetParam().configure) {
            GetParam().configure(options);
        }
        Make(options);
    }

    using DeviceTest::Allocate;
    using DeviceTest::OpenPoll;
    using DeviceTest::Send;
    using DeviceTest::now;
    using DeviceTest::device;
};

TEST_P(DeviceTimers, RunsWhenItsNextTimerSays)
{
    const TimerCase& c = GetParam();
    if (c.setup) {
        c.setup(*this);
    }
    ASSERT_EQ(device->NextTimer(now), c.next);
    if (!c.next) {
        return;
    }
    EXPECT_TRUE(Wait(*c.next - 1, 1).empty());
    EXPECT_EQ(device->NextTimer(now), 1u) << "counts down as time passes";
    EXPECT_EQ(Wait(1), c.atExpiry);
    EXPECT_EQ(device->NextTimer(now), c.after);
}

void TypeWithoutDelimiter(DeviceTimers& t)
{
    const std::string text = "hi";
    t.device->SerialInput(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), t.now);
}

INSTANTIATE_TEST_SUITE_P(
    Timers, DeviceTimers,
    ::testing::Values(
        TimerCase{"NothingRuns", nullptr, nullptr, std::nullopt, {}, std::nullopt},
        TimerCase{"RestartDelay", [](auto& o) { o.restartMs = 500; }, nullptr, 500, {}, std::nullopt},
        TimerCase{"DuplicateMacIdCheck", [](auto& o) { o.duplicateMacCheck = true; }, nullptr, 1000,
                  {"5FF: 00 B7 04 C5 E1 B7 00"}, 1000},
        TimerCase{"ExplicitWatchdog", nullptr, [](DeviceTimers& t) { t.Allocate(0x01); }, 10000, {}, std::nullopt},
        TimerCase{"PollWatchdogBeforeExplicit", nullptr, [](DeviceTimers& t) { t.OpenPoll(100); }, 400, {}, 9600},
        TimerCase{"HeldAnswer", [](auto& o) { o.faults.delayMs = 50; },
                  [](DeviceTimers& t) { t.Send("5FE: 00 4B 03 01 01 00"); }, 50, {"5FB: 00 CB 00"}, 9950},
        TimerCase{"UnacknowledgedFragment", nullptr,
                  [](DeviceTimers& t) {
                      t.Allocate(0x01);
                      t.Send("5FC: 00 0E 01 01 07");
                  },
                  1000, {"5FB: 80 00 8E 09 42 72 65 6C"}, 1000},
        TimerCase{"RequestReassembly", nullptr,
                  [](DeviceTimers& t) {
                      t.Allocate(0x01);
                      t.Send("5FC: 80 00 10 41 01 03 41 42");
                  },
                  1000, {}, 9000},
        TimerCase{"SerialPauseDelimiter", nullptr, TypeWithoutDelimiter, 500, {}, std::nullopt}),
    [](const ::testing::TestParamInfo<TimerCase>& info) { return std::string(info.param.name); });

TEST(DeviceTimersPowerUp, ADeviceNeverPolledWantsItsFirstMomentAtOnce)
{
    const BrelinDevice device(BrelinDevice::Options{});
    EXPECT_EQ(device.NextTimer(1234), 0u);
}

} // namespace
} // namespace devsim::test
