// The CAN port under the DeviceNet master: CANXmit, CANRcv, SetTimeout and the drain; CANRcv on a
// library that cannot wait (the scripted peer: asked again and again) and on one that can.

#include "MasterFixture.h"

#include <functional>
#include <optional>

namespace orv::test {
namespace {

using devicenet::CanFrame;
using devicenet::CanPort;

// Receives one frame through CANRcv into a guarded buffer.
struct Received {
    int result = 0;
    std::uint16_t identifier = 0xBEEF;
    std::uint16_t length = 0xBEEF;
    GuardedBuffer data{16};
};

Received Receive(CanPort& port)
{
    Received r;
    r.result = port.CANRcv(&r.identifier, &r.length, r.data.data());
    return r;
}

// ---- CANXmit --------------------------------------------------------------------------------

using PortXmit = EitherMaster;

TEST_P(PortXmit, SendsTheFrameAndAnswersZero)
{
    peer.Expect("454: 00 0E 01 01 07");
    peer.Expect("7FF: 01 02 03 04 05 06 07 08");
    const std::vector<std::uint8_t> five{0x00, 0x0E, 0x01, 0x01, 0x07};
    const std::vector<std::uint8_t> eight = Counting(8, 0x01);
    EXPECT_EQ(port().CANXmit(0x454, 5, five.data()), 0);
    EXPECT_EQ(port().CANXmit(0x7FF, 8, eight.data()), 0);
}

TEST_P(PortXmit, LengthZeroSendsAFrameWithoutData)
{
    peer.Expect("123:");
    const std::uint8_t none[8] = {};
    EXPECT_EQ(port().CANXmit(0x123, 0, none), 0);
}

TEST_P(PortXmit, IdentifierIsTakenAsItsLow16BitsAndMustFit11Bits)
{
    const std::uint8_t data[8] = {0x5A};
    peer.Expect("464: 5A");
    EXPECT_EQ(port().CANXmit(0x10464, 1, data), 0);
    EXPECT_EQ(port().CANXmit(0x800, 1, data), -1);
    EXPECT_EQ(port().CANXmit(0xFFFF, 1, data), -1);
    EXPECT_EQ(peer.SentFrames(), std::vector<std::string>{"464: 5A"});
}

TEST_P(PortXmit, RefusedByTheLibraryAnswersMinusOne)
{
    peer.Expect("464: 01").Refuse();
    const std::uint8_t data[8] = {0x01};
    EXPECT_EQ(port().CANXmit(0x464, 1, data), -1);
}

TEST_P(PortXmit, ClosedCardSendsNothing)
{
    port().Close();
    const std::uint8_t data[8] = {0x01};
    EXPECT_EQ(port().CANXmit(0x464, 1, data), -1);
    EXPECT_TRUE(peer.Log().empty());
}

INSTANTIATE_TEST_SUITE_P(Carriers, PortXmit, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// A length above 8: the Sst carrier refuses the frame, the Systec carrier cuts it to 8.
struct LongXmit {
    Carrier carrier;
    int length;
};

class PortLongXmit : public testing::TestWithParam<LongXmit>, protected MasterFixture {
protected:
    PortLongXmit() : MasterFixture(GetParam().carrier) {}
};

TEST_P(PortLongXmit, RefusedBySstCutTo8BySystec)
{
    const std::vector<std::uint8_t> data = Counting(16, 0x01);
    if (GetParam().carrier == Carrier::Sst) {
        EXPECT_EQ(port().CANXmit(0x464, GetParam().length, data.data()), -1);
        EXPECT_TRUE(port().Trace().Text().empty());
    } else {
        peer.Expect("464: 01 02 03 04 05 06 07 08");
        EXPECT_EQ(port().CANXmit(0x464, GetParam().length, data.data()), 0);
        EXPECT_EQ(port().Trace().Text(), "[464] 01 02 03 04 05 06 07 08 \r\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, PortLongXmit,
                         testing::Values(LongXmit{Carrier::Sst, 9}, LongXmit{Carrier::Sst, 12},
                                         LongXmit{Carrier::Sst, 0x108}, LongXmit{Carrier::Systec, 9},
                                         LongXmit{Carrier::Systec, 12}, LongXmit{Carrier::Systec, 0x108}),
                         [](const testing::TestParamInfo<LongXmit>& info) {
                             return std::string(info.param.carrier == Carrier::Sst ? "Sst" : "Systec") +
                                    "Length" + std::to_string(info.param.length);
                         });

// ---- CANRcv ---------------------------------------------------------------------------------

using PortRcv = EitherMaster;

TEST_P(PortRcv, DeliversIdentifierLengthAndData)
{
    peer.Deliver("463: 01 8E 2C 01");
    const Received r = Receive(port());
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.identifier, 0x463);
    EXPECT_EQ(r.length, 4);
    EXPECT_EQ(r.data.Hex(0, 4), "01 8E 2C 01");
    EXPECT_EQ(r.data.WrittenFrom(8), "");
}

TEST_P(PortRcv, TimesOutAfterExactlyTheReceiveTimeout)
{
    EXPECT_EQ(port().ReceiveTimeout(), CanPort::kDefaultReceiveTimeout);
    EXPECT_EQ(CanPort::kDefaultReceiveTimeout, 1000u);
    const Received r = Receive(port());
    EXPECT_EQ(r.result, -1);
    EXPECT_EQ(peer.Elapsed(), 1000u);
    EXPECT_EQ(r.data.WrittenFrom(0), "");

    EXPECT_EQ(port().SetTimeout(250), 0);
    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.Elapsed(), 1250u);
}

TEST_P(PortRcv, FrameDueAtTheLastMillisecondIsTakenOneLaterIsNot)
{
    peer.Deliver("463: 01", 999);
    EXPECT_EQ(Receive(port()).result, 0);

    const std::uint32_t before = peer.Elapsed();
    peer.Deliver("463: 02", 1000);
    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.Elapsed() - before, 1000u);
    // The late frame is still in the library; the next receive takes it at once.
    const Received late = Receive(port());
    EXPECT_EQ(late.result, 0);
    EXPECT_EQ(late.data.Hex(0, 1), "02");
}

TEST_P(PortRcv, ClosedCardDoesNotAskTheLibrary)
{
    peer.Deliver("463: 01");
    port().Close();
    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    EXPECT_EQ(peer.PendingFrames(), 1u);
    port().Open(kMasterMac);
    EXPECT_EQ(Receive(port()).result, 0);
}

TEST_P(PortRcv, TimeoutZeroFailsBeforeTheLibraryIsAsked)
{
    EXPECT_EQ(port().SetTimeout(0), 0);
    peer.Deliver("463: 01");
    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.ReceiveCalls(), 0u);
    EXPECT_EQ(peer.Elapsed(), 0u);

    port().SetTimeout(1);
    EXPECT_EQ(Receive(port()).result, 0);
}

TEST_P(PortRcv, NegativeTimeoutIsAnUnsignedCount)
{
    EXPECT_EQ(port().SetTimeout(-1), 0);
    EXPECT_EQ(port().ReceiveTimeout(), 0xFFFFFFFFu);
    // Far past the default time-out, and past anything a signed reading would allow.
    peer.Deliver("463: 01", 5000);
    EXPECT_EQ(Receive(port()).result, 0);
    EXPECT_EQ(peer.Elapsed(), 5000u);

    EXPECT_EQ(port().SetTimeout(-2000), 0);
    EXPECT_EQ(port().ReceiveTimeout(), 0xFFFFF830u);
}

TEST_P(PortRcv, ReceiveFrameLeavesTheFrameAsItWasOnTimeout)
{
    CanFrame frame = ParseFrame("123: 01 02 03");
    EXPECT_EQ(port().ReceiveFrame(frame), -1);
    EXPECT_EQ(FormatFrame(frame), "123: 01 02 03");
    peer.Deliver("463: 04");
    EXPECT_EQ(port().ReceiveFrame(frame), 0);
    EXPECT_EQ(FormatFrame(frame), "463: 04");
}

TEST_P(PortRcv, DrainThrowsAwayEveryPendingFrameWithoutTracing)
{
    peer.Stale("463: 01");
    peer.Stale("463: 02");
    peer.Stale("7FF:");
    port().DrainReceive();
    EXPECT_EQ(peer.PendingFrames(), 0u);
    EXPECT_EQ(peer.ReceiveCalls(), 4u); // three frames and the empty answer that ends the drain
    EXPECT_TRUE(port().Trace().Text().empty());
    EXPECT_EQ(Receive(port()).result, -1);
}

INSTANTIATE_TEST_SUITE_P(Carriers, PortRcv, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// The tick counter wraps during the wait.
class PortWrap : public testing::TestWithParam<Carrier>, protected MasterFixture {
protected:
    PortWrap() : MasterFixture(GetParam(), 0xFFFFFF00) {}
};

TEST_P(PortWrap, WaitRunsItsFullTimeAcrossTheWrap)
{
    peer.Deliver("463: 01", 600);
    EXPECT_EQ(Receive(port()).result, 0);
    EXPECT_EQ(peer.Now(), 0x158u);

    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.Elapsed(), 1600u);
}

TEST_P(PortWrap, TimeoutEndsAtTheRightTickAfterTheWrap)
{
    EXPECT_EQ(Receive(port()).result, -1);
    EXPECT_EQ(peer.Now(), 0x2E8u); // 0xFFFFFF00 + 1000
}

INSTANTIATE_TEST_SUITE_P(Carriers, PortWrap, testing::Values(Carrier::Sst, Carrier::Systec), CarrierName);

// ---- a library that can wait -----------------------------------------------------------------

// A library with a wait, and the clock: a wait lets fake time pass until the next frame is due or
// the time asked for has passed, never more than `step` at once (a library may wake early).
class WaitingLibrary final : public devicenet::CanLibrary, public devicenet::Clock {
public:
    explicit WaitingLibrary(std::uint32_t startTick) : now_(startTick) {}

    void Deliver(std::string_view frame, std::uint32_t atTick) { frames_.push_back({ParseFrame(frame), atTick}); }

    bool SendFrame(const CanFrame&) override { return true; }
    bool ReceiveFrame(CanFrame& frame) override
    {
        if (++receiveCalls == kRunaway) {
            ADD_FAILURE() << "the port asks again and again instead of waiting";
        }
        if (receiveCalls >= kRunaway) {
            now_ += 1u << 20; // so that the wait ends after all
        }
        if (frames_.empty() || static_cast<std::int32_t>(now_ - frames_.front().due) < 0) {
            return false;
        }
        frame = frames_.front().frame;
        frames_.erase(frames_.begin());
        return true;
    }
    void WaitForFrame(std::uint32_t milliseconds) override
    {
        waits.push_back(milliseconds);
        std::uint32_t passes = std::min(milliseconds, step);
        if (!frames_.empty()) {
            passes = std::min(passes, frames_.front().due - now_);
        }
        now_ += passes;
        if (onWait) {
            onWait();
        }
    }
    std::uint32_t TickCount() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }

    static constexpr std::size_t kRunaway = 1000;
    std::uint32_t step = 0xFFFFFFFF;
    std::function<void()> onWait;
    std::vector<std::uint32_t> waits; // what each wait asked for
    std::size_t receiveCalls = 0;

private:
    struct Due {
        CanFrame frame;
        std::uint32_t due;
    };
    std::uint32_t now_;
    std::vector<Due> frames_;
};

struct WaitCase {
    const char* name;
    std::uint32_t startTick;
    std::uint32_t step;              // the longest the library sleeps at once
    std::optional<std::uint32_t> in; // when a frame comes, from the start
    int result;
    std::uint32_t endTick;
    std::vector<std::uint32_t> waits;
};

void PrintTo(const WaitCase& c, std::ostream* os)
{
    *os << c.name;
}

class PortWaits : public testing::TestWithParam<WaitCase> {};

TEST_P(PortWaits, SleepsInTheLibraryUntilAFrameOrTheTimeOut)
{
    const WaitCase& c = GetParam();
    WaitingLibrary library(c.startTick);
    library.step = c.step;
    CanPort port(library, library, devicenet::MasterPolicy::Sst());
    port.Open(kMasterMac);
    if (c.in) {
        library.Deliver("463: 01 8E 2C 01", c.startTick + *c.in);
    }
    const Received r = Receive(port);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(library.TickCount(), c.endTick);
    EXPECT_EQ(library.waits, c.waits) << "each wait asks for the rest of the time-out";
    EXPECT_EQ(library.receiveCalls, c.waits.size() + (c.result == 0 ? 1 : 0)) << "one question per wake-up";
    EXPECT_EQ(port.Trace().Text(), c.result == 0 ? "[463] 01 8E 2C 01 \r\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortWaits,
    testing::Values(WaitCase{"FrameArrivesMidWait", 0x10000, 0xFFFFFFFF, 300, 0, 0x10000 + 300, {1000}},
                    WaitCase{"FrameIsThereAtOnce", 0x10000, 0xFFFFFFFF, 0, 0, 0x10000, {}},
                    WaitCase{"NothingComes", 0x10000, 0xFFFFFFFF, std::nullopt, -1, 0x10000 + 1000, {1000}},
                    WaitCase{"FrameOneTickTooLate", 0x10000, 0xFFFFFFFF, 1000, -1, 0x10000 + 1000, {1000}},
                    WaitCase{"WakesEarlyAndWaitsTheRest", 0x10000, 400, std::nullopt, -1, 0x10000 + 1000,
                             {1000, 600, 200}},
                    WaitCase{"AcrossTheWrap", 0xFFFFFF00, 0xFFFFFFFF, std::nullopt, -1, 0x2E8, {1000}},
                    WaitCase{"FrameAfterTheWrap", 0xFFFFFF00, 0xFFFFFFFF, 600, 0, 0x158, {1000}}),
    [](const testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.name); });

TEST(PortWaitsClosed, CloseDuringTheWaitEndsItWithoutAskingAgain)
{
    WaitingLibrary library(0x10000);
    library.step = 100;
    CanPort port(library, library, devicenet::MasterPolicy::Systec());
    port.Open(kMasterMac);
    library.Deliver("463: 01", 0x10000 + 500);
    library.onWait = [&] { port.Close(); }; // another thread closes the card meanwhile
    EXPECT_EQ(Receive(port).result, -1);
    EXPECT_EQ(library.waits, std::vector<std::uint32_t>{1000});
    EXPECT_EQ(library.receiveCalls, 1u);
    EXPECT_EQ(port.Trace().Text(), "");
}

TEST(PortWaitsClosed, TimeoutZeroNeitherAsksNorWaits)
{
    WaitingLibrary library(0x10000);
    CanPort port(library, library, devicenet::MasterPolicy::Sst());
    port.Open(kMasterMac);
    port.SetTimeout(0);
    library.Deliver("463: 01", 0x10000);
    EXPECT_EQ(Receive(port).result, -1);
    EXPECT_EQ(library.receiveCalls, 0u);
    EXPECT_TRUE(library.waits.empty());
}

// ---- hostile length fields ------------------------------------------------------------------

struct HostileLength {
    Carrier carrier;
    std::uint8_t field;    // the length field the library reports
    std::uint16_t length;  // what CANRcv reports and copies
};

class PortHostileLength : public testing::TestWithParam<HostileLength>, protected MasterFixture {
protected:
    PortHostileLength() : MasterFixture(GetParam().carrier) {}
};

TEST_P(PortHostileLength, NeverMoreThanEightBytesCopied)
{
    CanFrame frame = ParseFrame("463: 11 22 33 44 55 66 77 88");
    frame.length = GetParam().field;
    peer.Deliver(FormatFrame(frame));

    const Received r = Receive(port());
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.length, GetParam().length);
    EXPECT_EQ(r.data.Hex(0, r.length), FormatBytes(frame.data.data(), GetParam().length));
    EXPECT_EQ(r.data.WrittenFrom(8), "");
    std::string line = "[463] ";
    for (std::size_t i = 0; i < GetParam().length; ++i) {
        line += FormatBytes(&frame.data[i], 1) + " ";
    }
    EXPECT_EQ(port().Trace().Text(), line + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PortHostileLength,
    testing::Values(HostileLength{Carrier::Sst, 9, 8}, HostileLength{Carrier::Sst, 15, 8},
                    HostileLength{Carrier::Sst, 0x13, 8}, HostileLength{Carrier::Sst, 0x10, 8},
                    HostileLength{Carrier::Sst, 0xFF, 8}, HostileLength{Carrier::Systec, 9, 8},
                    HostileLength{Carrier::Systec, 15, 8}, HostileLength{Carrier::Systec, 0x13, 3},
                    HostileLength{Carrier::Systec, 0x10, 0}, HostileLength{Carrier::Systec, 0xFF, 8}),
    [](const testing::TestParamInfo<HostileLength>& info) {
        return std::string(info.param.carrier == Carrier::Sst ? "Sst" : "Systec") + "Field" +
               std::to_string(info.param.field);
    });

} // namespace
} // namespace orv::test
