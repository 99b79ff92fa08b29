// The request lock: message requests from two threads reach the card one after the other, the
// owning thread may re-enter, and the direct card operations do not wait for it.

#include "FakeCard.h"

#include "driver/automation/DriverObject.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <string>
#include <thread>

namespace orv::automation {
namespace {

using testing::CardScript;
using testing::ScopedFakeCards;
using testing::SettingsBytes;
using ::testing::ElementsAre;

// A card whose first DNGetAttribute blocks until released, and which counts the requests inside it.
class BlockingCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script->onCall = [this](const std::string& op) {
            if (op != "DNGetAttribute" && op != "DNSetAttribute") {
                return;
            }
            const int now = ++inside;
            int seen = maxInside.load();
            while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
            }
            if (!blockedOnce.exchange(true)) {
                firstEntered.count_down();
                release.wait();
            }
            --inside;
        };
        const auto settings = SettingsBytes(0, 0, 760, 3, 1);
        std::int32_t rval = -1;
        methods::Init(rval, settings.data());
        ASSERT_EQ(rval, 0);
    }

    void TearDown() override
    {
        std::int32_t rval = 0;
        methods::Close(rval);
    }

    std::shared_ptr<CardScript> script = std::make_shared<CardScript>();
    ScopedFakeCards cards{script};
    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<bool> blockedOnce{false};
    std::latch firstEntered{1};
    std::latch release{1};
};

TEST_F(BlockingCardTest, SecondRequestWaitsForTheFirst)
{
    std::int32_t firstResult = 0;
    std::int32_t secondResult = 0;
    std::thread first([&] {
        std::array<std::uint8_t, 152> buffer{};
        methods::DNGetAttribute(firstResult, 10, 1, 1, 7, buffer.data());
    });
    firstEntered.wait();

    std::latch secondStarted{1};
    std::atomic<bool> secondDone{false};
    std::thread second([&] {
        std::array<std::uint8_t, 152> buffer{};
        secondStarted.count_down();
        methods::DNSetAttribute(secondResult, 10, 1, 1, 7, 1, buffer.data());
        secondDone = true;
    });
    secondStarted.wait();
    // Give the second thread ample chances to run; without the lock it would reach the card now.
    for (int i = 0; i < 20000 && inside.load() < 2; ++i) {
        std::this_thread::yield();
    }
    EXPECT_EQ(inside.load(), 1);
    EXPECT_FALSE(secondDone.load());
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "DNGetAttribute(10, 1, 1, 7)"));

    release.count_down();
    first.join();
    second.join();
    EXPECT_EQ(maxInside.load(), 1);
    EXPECT_EQ(firstResult, 0);
    EXPECT_EQ(secondResult, 0);
    EXPECT_THAT(script->Texts(), ElementsAre("LoadVXD(760, 3)", "DNGetAttribute(10, 1, 1, 7)",
                                             "DNSetAttribute(10, 1, 1, 7, 1)"));
}

TEST_F(BlockingCardTest, DirectOperationsDoNotWaitForTheRequestLock)
{
    std::thread first([&] {
        std::int32_t rval = 0;
        std::array<std::uint8_t, 152> buffer{};
        methods::DNGetAttribute(rval, 10, 1, 1, 7, buffer.data());
    });
    firstEntered.wait();

    auto direct = std::async(std::launch::async, [] {
        const std::uint8_t frame[] = {0x00, 0x0E, 0x01, 0x01, 0x07};
        std::int32_t xmit = -1;
        methods::CANXmit(xmit, 0x454, 5, frame);
        std::int32_t closeModule = -1;
        methods::CloseModule(closeModule, 10);
        return xmit == 0 && closeModule == 0;
    });
    // Returns at once when the operations pass the held lock; the limit only ends a failing run.
    const bool finished = direct.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    release.count_down();
    first.join();
    ASSERT_TRUE(finished);
    EXPECT_TRUE(direct.get());
}

TEST(RequestLockTest, OwningThreadMayReenter)
{
    auto script = std::make_shared<CardScript>();
    ScopedFakeCards cards(script);
    const auto settings = SettingsBytes(0, 0, 760, 3, 2);
    std::int32_t rval = -1;
    methods::Init(rval, settings.data());
    ASSERT_EQ(rval, 0);

    std::int32_t nested = -1;
    script->onCall = [&](const std::string& op) {
        if (op == "DNGetAttribute") {
            std::array<std::uint8_t, 152> buffer{};
            methods::DNService(nested, 10, 1, 1, 5, 0, buffer.data());
        }
    };
    std::array<std::uint8_t, 152> buffer{};
    methods::DNGetAttribute(rval, 10, 1, 1, 7, buffer.data());
    script->onCall = nullptr;
    EXPECT_EQ(rval, 0);
    EXPECT_EQ(nested, 0);
    EXPECT_THAT(script->Texts(),
                ElementsAre("LoadVXD(760, 3)", "DNGetAttribute(10, 1, 1, 7)", "DNService(10, 1, 1, 5, 0)"));
    methods::Close(rval);
}

} // namespace
} // namespace orv::automation
