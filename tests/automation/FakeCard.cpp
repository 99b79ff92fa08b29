#include "FakeCard.h"

#include "driver/automation/CardConfig.h"
#include "driver/automation/DriverSettings.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace orv::automation::testing {

namespace {

std::string Args(std::initializer_list<long> values)
{
    std::string text = "(";
    bool first = true;
    for (long value : values) {
        if (!first) {
            text += ", ";
        }
        text += std::to_string(value);
        first = false;
    }
    return text + ")";
}

std::vector<std::uint8_t> Bytes(const std::uint8_t* data, int length)
{
    if (data == nullptr || length <= 0) {
        return {};
    }
    return std::vector<std::uint8_t>(data, data + length);
}

} // namespace

void CardScript::Answer(const std::string& op, std::int32_t result)
{
    std::lock_guard lock(mutex_);
    results_[op].push_back(result);
}

void CardScript::Reply(int classId, int instance, int attribute, std::vector<std::uint8_t> reply)
{
    std::lock_guard lock(mutex_);
    replies_[{classId, instance, attribute}] = std::move(reply);
}

void CardScript::Throw(const std::string& op)
{
    std::lock_guard lock(mutex_);
    throwing_.insert(op);
}

std::vector<std::string> CardScript::Texts() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& call : calls_) {
        texts.push_back(call.text);
    }
    return texts;
}

std::vector<CardCall> CardScript::Calls() const
{
    std::lock_guard lock(mutex_);
    return calls_;
}

CardCall CardScript::Call(std::size_t index) const
{
    std::lock_guard lock(mutex_);
    return index < calls_.size() ? calls_[index] : CardCall{"<no call>", {}, nullptr};
}

std::vector<int> CardScript::CreatedTypes() const
{
    std::lock_guard lock(mutex_);
    return createdTypes_;
}

int CardScript::CardsAlive() const
{
    std::lock_guard lock(mutex_);
    return cardsAlive_;
}

std::int32_t CardScript::Record(const std::string& op, std::string text, std::vector<std::uint8_t> bytes,
                                const void* buffer)
{
    std::int32_t result = 0;
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(mutex_);
        calls_.push_back({op + text, std::move(bytes), buffer});
        auto& queue = results_[op];
        if (!queue.empty()) {
            result = queue.front();
            queue.pop_front();
        }
        hook = onCall;
    }
    if (hook) {
        hook(op);
    }
    if (Throws(op)) {
        throw std::runtime_error(op + " failed in the fake card");
    }
    return result;
}

const std::vector<std::uint8_t>* CardScript::ReplyFor(int classId, int instance, int attribute) const
{
    std::lock_guard lock(mutex_);
    auto it = replies_.find({classId, instance, attribute});
    return it != replies_.end() ? &it->second : nullptr;
}

void CardScript::CardCreated(int driverType)
{
    std::lock_guard lock(mutex_);
    createdTypes_.push_back(driverType);
    ++cardsAlive_;
}

void CardScript::CardDestroyed()
{
    std::lock_guard lock(mutex_);
    calls_.push_back({"~Card", {}, nullptr});
    --cardsAlive_;
}

bool CardScript::Throws(const std::string& op) const
{
    std::lock_guard lock(mutex_);
    return throwing_.count(op) != 0;
}

FakeCard::FakeCard(std::shared_ptr<CardScript> script)
    : script_(std::move(script))
{
}

FakeCard::~FakeCard()
{
    script_->CardDestroyed();
}

std::int32_t FakeCard::LoadVXD(int portAddress, int irq, std::uint8_t* config)
{
    return script_->Record("LoadVXD", Args({portAddress, irq}), Bytes(config, CardConfig::kSize), config);
}

std::int32_t FakeCard::UnloadVXD()
{
    return script_->Record("UnloadVXD", "()", {}, nullptr);
}

std::int32_t FakeCard::DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer)
{
    return script_->Record("DNAllocate", Args({nodeAddress, connectionType}), {}, buffer);
}

std::int32_t FakeCard::DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer)
{
    return script_->Record("DNFree", Args({nodeAddress, connectionType}), {}, buffer);
}

std::int32_t FakeCard::DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                      std::uint8_t* buffer)
{
    const std::int32_t result =
        script_->Record("DNGetAttribute", Args({nodeAddress, classId, instance, attribute}), {}, buffer);
    if (const auto* reply = script_->ReplyFor(classId, instance, attribute)) {
        std::copy(reply->begin(), reply->end(), buffer + 4);
    }
    return result;
}

std::int32_t FakeCard::DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                      std::uint8_t* buffer)
{
    return script_->Record("DNSetAttribute", Args({nodeAddress, classId, instance, attribute, length}),
                           Bytes(buffer, length), buffer);
}

std::int32_t FakeCard::CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data)
{
    const std::int32_t result = script_->Record("CANRcv", "()", {}, data);
    *identifier = script_->rcvIdentifier;
    *length = static_cast<std::uint16_t>(script_->rcvData.size());
    std::copy(script_->rcvData.begin(), script_->rcvData.end(), data);
    return result;
}

std::int32_t FakeCard::CANXmit(int identifier, int length, const std::uint8_t* data)
{
    return script_->Record("CANXmit", Args({identifier, length}), Bytes(data, length), data);
}

std::int32_t FakeCard::DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                              std::uint8_t* buffer)
{
    const std::int32_t result =
        script_->Record("DNPoll", Args({txIdentifier, txLength, *rxLength}), Bytes(buffer, txLength), buffer);
    *rxIdentifier = script_->pollRxIdentifier;
    *rxLength = script_->pollRxLength;
    std::copy(script_->pollRxData.begin(), script_->pollRxData.end(), buffer);
    return result;
}

std::int32_t FakeCard::NetworkWho(int nodeAddress, std::uint8_t* buffer)
{
    return script_->Record("NetworkWho", Args({nodeAddress}), {}, buffer);
}

std::int32_t FakeCard::SetTimeout(int milliseconds)
{
    return script_->Record("SetTimeout", Args({milliseconds}), {}, nullptr);
}

std::int32_t FakeCard::GetCANMessage(char* text)
{
    const std::int32_t result = script_->Record("GetCANMessage", "()", {}, text);
    std::memcpy(text, script_->traceText.c_str(), script_->traceText.size() + 1);
    return result;
}

std::int32_t FakeCard::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                                 std::uint8_t* buffer)
{
    return script_->Record("DNService", Args({nodeAddress, classId, instance, serviceCode, length}),
                           Bytes(buffer, length), buffer);
}

bool FakeCard::SetPollCommandSize(std::uint16_t size)
{
    script_->Record("SetPollCommandSize", Args({size}), {}, nullptr);
    return true;
}

ScopedFakeCards::ScopedFakeCards(std::shared_ptr<CardScript> script)
    : previous_(SetCardFactory([script](int driverType) -> std::unique_ptr<CardInterface> {
          if (script->Throws("Create")) {
              throw std::runtime_error("card creation failed in the fake factory");
          }
          if (script->refuseCreation) {
              return nullptr;
          }
          script->CardCreated(driverType);
          return std::make_unique<FakeCard>(script);
      }))
{
}

ScopedFakeCards::~ScopedFakeCards()
{
    SetCardFactory(std::move(previous_));
}

std::vector<std::uint8_t> SettingsBytes(int scnId, int dataRate, int port, int interrupt, int driverType,
                                        const std::string& name)
{
    DriverSettings settings;
    settings.SetScnId(scnId);
    settings.SetDataRate(dataRate);
    settings.SetPort(port);
    settings.SetInterrupt(interrupt);
    settings.SetDriverType(driverType);
    settings.SetDriverName(name);
    return std::vector<std::uint8_t>(settings.Data(), settings.Data() + DriverSettings::kSize);
}

} // namespace orv::automation::testing
