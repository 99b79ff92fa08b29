#pragma once
// What the card tests share: a fresh driver profile in a temporary folder, the concrete cards in
// the driver object's factory on a clock that records their pauses instead of sleeping, and
// driver-object calls in a few words.

#include "driver/automation/CardFactory.h"
#include "driver/automation/DriverObject.h"
#include "driver/cards/CardTypes.h"
#include "platform/LittleEndian.h"
#include "platform/UserPrompt.h"
#include "tests/support/RecordingClock.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orv::cardtest {

inline constexpr int kNode = 63;

// Answers prompts from a script and records what it was asked.
class ScriptedPrompts final : public platform::PromptHandler {
public:
    std::vector<std::string> messages;
    std::vector<std::string> filters;
    std::vector<std::optional<std::string>> answers; // taken in order; cancel when used up

    void MessageBox(const std::string& text) override { messages.push_back(text); }
    std::optional<std::string> OpenFile(const platform::OpenFileRequest& request) override
    {
        filters.push_back(request.filter);
        if (next_ >= answers.size()) {
            return std::nullopt;
        }
        return answers[next_++];
    }

private:
    std::size_t next_ = 0;
};

class CardEnvironment {
public:
    CardEnvironment()
    {
        char pattern[] = "/tmp/orv-cards-XXXXXX";
        configDir_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", configDir_.c_str(), 1);
        unsetenv("ORV_CANBUS");
        unsetenv("ORV_CARDLIB_REFUSE");
        previousFactory_ = automation::SetCardFactory(
            [this](int driverType) { return cards::CreateCardWithClock(driverType, clock); });
    }
    ~CardEnvironment()
    {
        std::int32_t rval = 0;
        automation::methods::Close(rval);
        automation::SetCardFactory(previousFactory_);
        unsetenv("ORV_CARDLIB_REFUSE");
        std::filesystem::remove_all(configDir_);
    }

    const std::string& ConfigDir() const { return configDir_; }
    std::string ProfilePath() const { return configDir_ + "/OrvDeviceNetDriver.ini"; }

    test::RecordingClock clock;
    ScriptedPrompts prompts;

private:
    std::string configDir_;
    automation::CardFactory previousFactory_;
    platform::ScopedPromptHandler promptScope_{prompts};
};

inline automation::DriverSettings Settings(int driverType, int dataRate = 0, int masterMac = 0)
{
    automation::DriverSettings settings;
    settings.SetDriverType(driverType);
    settings.SetDataRate(dataRate);
    settings.SetScnId(masterMac);
    return settings;
}

inline std::int32_t Init(const automation::DriverSettings& settings)
{
    std::int32_t rval = 0;
    automation::methods::Init(rval, settings.Data());
    return rval;
}

inline std::int32_t OpenModule(int node, bool poll)
{
    automation::ModuleConfig config;
    config.SetExplicitEnabled(1);
    config.SetPollEnabled(poll ? 1 : 0);
    config.SetExplicitPacketRate(2500);
    config.SetPollPacketRate(1000);
    std::int32_t rval = 0;
    automation::methods::OpenModule(rval, node, config.Data());
    return rval;
}

struct Reply {
    std::int32_t rval = 0;
    std::array<std::uint8_t, 300> buffer{};
    int Length() const { return platform::GetLe16(buffer.data() + 4); }
    std::uint8_t Service() const { return buffer[7]; }
    const std::uint8_t* Value() const { return buffer.data() + 8; }
    int ValueLength() const { return Length() - 2; }
    std::uint16_t Value16() const { return platform::GetLe16(Value()); }
};

inline Reply Get(int node, int cls, int inst, int attr)
{
    Reply reply;
    automation::methods::DNGetAttribute(reply.rval, static_cast<std::int16_t>(node), static_cast<std::int16_t>(cls),
                                        static_cast<std::int16_t>(inst), static_cast<std::int16_t>(attr),
                                        reply.buffer.data());
    return reply;
}

inline Reply Set(int node, int cls, int inst, int attr, std::vector<std::uint8_t> value)
{
    Reply reply;
    std::copy(value.begin(), value.end(), reply.buffer.begin());
    automation::methods::DNSetAttribute(reply.rval, static_cast<std::int16_t>(node), static_cast<std::int16_t>(cls),
                                        static_cast<std::int16_t>(inst), static_cast<std::int16_t>(attr),
                                        static_cast<std::int16_t>(value.size()), reply.buffer.data());
    return reply;
}

inline Reply Service(int node, int cls, int inst, int service, std::vector<std::uint8_t> data)
{
    Reply reply;
    std::copy(data.begin(), data.end(), reply.buffer.begin());
    automation::methods::DNService(reply.rval, static_cast<std::int16_t>(node), static_cast<std::int16_t>(cls),
                                   static_cast<std::int16_t>(inst), static_cast<std::int16_t>(service),
                                   static_cast<std::int16_t>(data.size()), reply.buffer.data());
    return reply;
}

} // namespace orv::cardtest
