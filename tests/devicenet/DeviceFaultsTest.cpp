// The master engine against the simulated Brelin on the in-process bus, with the device
// committing faults: every operation ends with the result the engine promises, in bounded time,
// and never writes past the caller's buffer.

#include "canbus/SimBus.h"
#include "cardlibs/BusCanLibrary.h"
#include "devsim/BrelinDevice.h"
#include "devsim/FaultInjection.h"
#include "platform/LittleEndian.h"
#include "driver/devicenet/DeviceNetMaster.h"
#include "driver/devicenet/Identifiers.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace orv::devicenet;
using orv::platform::GetLe16;

constexpr int kNode = 63;
constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kCallerBuffer = ReplyBuffer::kCallerSize;

class DeviceFaults : public ::testing::Test {
protected:
    void Start(const std::string& faults)
    {
        devsim::BrelinDevice::Options options;
        std::string error;
        ASSERT_TRUE(devsim::ParseFaults(faults, options.faults, error)) << error;
        auto device = std::make_unique<devsim::BrelinDevice>(options);
        device_ = device.get();
        bus_ = canbus::SimBus::Create(std::move(device), {});
        endpoint_ = bus_->Attach();
        library_ = std::make_unique<orv::cardlibs::BusCanLibrary>(*endpoint_);
        master_ = std::make_unique<DeviceNetMaster>(*library_, clock_, MasterPolicy::Sst());
        master_->Port().Open(0);
        master_->Port().SetTimeout(100);
        buffer_.fill(kGuard);
    }

    // Allocates the explicit connection with the device's faults switched off for the moment.
    void AllocateCleanly()
    {
        const devsim::Faults faults = device_->GetFaults();
        device_->SetFaults({});
        ASSERT_EQ(master_->DNAllocate(kNode, 1), 0);
        device_->SetFaults(faults);
    }

    int Timed(const std::function<int()>& operation)
    {
        const auto start = std::chrono::steady_clock::now();
        const int result = operation();
        elapsed_ = std::chrono::steady_clock::now() - start;
        return result;
    }

    void ExpectGuardIntact() const
    {
        for (std::size_t i = kCallerBuffer; i < buffer_.size(); ++i) {
            ASSERT_EQ(buffer_[i], kGuard) << "written past the caller's buffer at byte " << i;
        }
    }

    int GetProductName()
    {
        return Timed([this] { return master_->DNGetAttribute(kNode, 1, 1, 7, buffer_.data()); });
    }

    std::string ProductName() const { return std::string(reinterpret_cast<const char*>(&buffer_[9]), buffer_[8]); }

    SystemClock clock_;
    std::shared_ptr<canbus::SimBus> bus_;
    devsim::BrelinDevice* device_ = nullptr;
    std::unique_ptr<canbus::Bus> endpoint_;
    std::unique_ptr<orv::cardlibs::BusCanLibrary> library_;
    std::unique_ptr<DeviceNetMaster> master_;
    std::array<std::uint8_t, 512> buffer_{};
    std::chrono::steady_clock::duration elapsed_{};
};

TEST_F(DeviceFaults, WithoutFaultsAFragmentedAnswerComesWhole)
{
    Start("none");
    AllocateCleanly();
    ASSERT_EQ(GetProductName(), 0);
    EXPECT_EQ(buffer_[7], 0x8E);
    EXPECT_EQ(ProductName(), "Brelin GW");
    EXPECT_EQ(GetLe16(&buffer_[4]), 12) << "header, service, length byte and nine characters";
    ExpectGuardIntact();
}

TEST_F(DeviceFaults, LostAnswersEndInATimeOut)
{
    Start("drop=1");
    EXPECT_EQ(Timed([this] { return master_->DNAllocate(kNode, 1); }), -1);
    EXPECT_LT(elapsed_, std::chrono::seconds(1));
    AllocateCleanly();
    EXPECT_EQ(GetProductName(), -1);
    EXPECT_EQ(Timed([this] { return master_->DNSetAttribute(kNode, 5, 1, 9, 2, buffer_.data()); }), -1);
    EXPECT_LT(elapsed_, std::chrono::seconds(1));
    ExpectGuardIntact();
}

TEST_F(DeviceFaults, DuplicatedAnswersAreDrainedBeforeTheNextRequest)
{
    Start("dup");
    AllocateCleanly();
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Timed([this] { return master_->DNGetAttribute(kNode, 1, 1, 1, buffer_.data()); }), 0);
        EXPECT_EQ(buffer_[7], 0x8E);
        EXPECT_EQ(GetLe16(&buffer_[8]), 1207) << "each request gets its own answer, not the last one's copy";
    }
    // A doubled fragment series is taken as it comes; the reply stays within its buffer.
    const int result = GetProductName();
    EXPECT_TRUE(result == 0 || result == -1);
    EXPECT_LT(elapsed_, std::chrono::seconds(2));
    EXPECT_LE(GetLe16(&buffer_[4]), DeviceNetMaster::kGetBodyLimit + 1);
    ExpectGuardIntact();
}

TEST_F(DeviceFaults, LateAnswersWithinAndBeyondTheTimeOut)
{
    Start("delay=30");
    AllocateCleanly();
    EXPECT_EQ(Timed([this] { return master_->DNGetAttribute(kNode, 1, 1, 1, buffer_.data()); }), 0);
    EXPECT_EQ(GetLe16(&buffer_[8]), 1207);

    device_->SetFaults({0, false, 250, -1, {}});
    EXPECT_EQ(Timed([this] { return master_->DNGetAttribute(kNode, 1, 1, 2, buffer_.data()); }), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    device_->SetFaults({});
    ASSERT_EQ(master_->DNGetAttribute(kNode, 1, 1, 3, buffer_.data()), 0);
    EXPECT_EQ(GetLe16(&buffer_[8]), 4201) << "the late answer was drained, not taken for this one";
}

TEST_F(DeviceFaults, CopiesOfTheAnswersFromAnotherNodeAreNotTaken)
{
    Start("second-mac=5");
    AllocateCleanly();
    ASSERT_EQ(master_->DNGetAttribute(kNode, 1, 1, 1, buffer_.data()), 0);
    EXPECT_EQ(buffer_[7], 0x8E);
    ASSERT_EQ(GetProductName(), 0) << "the fragments of MAC ID 5 do not mix with the node's own";
    EXPECT_EQ(ProductName(), "Brelin GW");
    EXPECT_LT(elapsed_, std::chrono::seconds(2));
    ExpectGuardIntact();
}

class MalformedFragments : public DeviceFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(MalformedFragments, EndWithinBoundsAndInTime)
{
    Start(GetParam());
    AllocateCleanly();
    const int result = GetProductName();
    EXPECT_TRUE(result == 0 || result == -1) << result;
    EXPECT_LT(elapsed_, std::chrono::seconds(2));
    if (result == 0) {
        EXPECT_LE(GetLe16(&buffer_[4]), DeviceNetMaster::kGetBodyLimit + 1);
    }
    ExpectGuardIntact();
    // The next exchange is a clean one: nothing of the broken series is left to be taken for it.
    device_->SetFaults({});
    ASSERT_EQ(master_->DNGetAttribute(kNode, 1, 1, 1, buffer_.data()), 0);
    EXPECT_EQ(GetLe16(&buffer_[8]), 1207);
}

// A count that skips cannot belong to the answer; a series that starts with a middle fragment
// has lost its start and is no answer at all.
class BrokenSeries : public DeviceFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(BrokenSeries, IsNoValue)
{
    Start(GetParam());
    AllocateCleanly();
    EXPECT_EQ(GetProductName(), -1);
    for (std::size_t i = 0; i < kCallerBuffer; ++i) {
        ASSERT_EQ(buffer_[i], kGuard) << "nothing handed on as the value, byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, BrokenSeries,
                         ::testing::Values("bad-fragments=skip-count", "bad-fragments=missing-first"));

INSTANTIATE_TEST_SUITE_P(Kinds, MalformedFragments,
                         ::testing::Values("bad-fragments=skip-count", "bad-fragments=missing-first",
                                           "bad-fragments=truncate"));

} // namespace
