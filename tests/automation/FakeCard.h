#pragma once
// A card back-end for tests: records every call with its arguments and the buffer bytes it was
// handed, answers with scripted results and replies, and can block or throw on request. The
// script outlives the card, so a test can still read it after the driver destroyed the card.

#include "driver/automation/CardFactory.h"
#include "driver/automation/CardInterface.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace orv::automation::testing {

struct CardCall {
    std::string text;                 // operation and integer arguments, e.g. "DNFree(63, 1)"
    std::vector<std::uint8_t> bytes;  // the buffer bytes the operation reads, as they were at the call
    const void* buffer = nullptr;     // the buffer's address
};

class CardScript {
public:
    // Results per operation name, used up in order; an operation with none left answers 0.
    void Answer(const std::string& op, std::int32_t result);
    // DNGetAttribute of (class, instance, attribute) writes `reply` from buffer byte 4 on.
    void Reply(int classId, int instance, int attribute, std::vector<std::uint8_t> reply);
    // Operations (or "Create" for the factory) that throw.
    void Throw(const std::string& op);

    std::vector<std::string> Texts() const;
    std::vector<CardCall> Calls() const;
    CardCall Call(std::size_t index) const;
    std::vector<int> CreatedTypes() const;
    int CardsAlive() const;

    // Raw frame answered by CANRcv (data at offset 0), poll answer of DNPoll, text of GetCANMessage.
    std::uint16_t rcvIdentifier = 0;
    std::vector<std::uint8_t> rcvData;
    std::uint16_t pollRxIdentifier = 0;
    std::uint16_t pollRxLength = 0;
    std::vector<std::uint8_t> pollRxData;
    std::string traceText;
    // Factory refuses to create a card.
    bool refuseCreation = false;
    // Runs inside each operation after it has been recorded (may block or call back).
    std::function<void(const std::string& op)> onCall;

    // Used by the fake card and factory.
    std::int32_t Record(const std::string& op, std::string text, std::vector<std::uint8_t> bytes,
                        const void* buffer);
    const std::vector<std::uint8_t>* ReplyFor(int classId, int instance, int attribute) const;
    void CardCreated(int driverType);
    void CardDestroyed();
    bool Throws(const std::string& op) const;

private:
    mutable std::mutex mutex_;
    std::vector<CardCall> calls_;
    std::map<std::string, std::deque<std::int32_t>> results_;
    std::map<std::tuple<int, int, int>, std::vector<std::uint8_t>> replies_;
    std::set<std::string> throwing_;
    std::vector<int> createdTypes_;
    int cardsAlive_ = 0;
};

class FakeCard : public CardInterface {
public:
    explicit FakeCard(std::shared_ptr<CardScript> script);
    ~FakeCard() override;

    std::int32_t LoadVXD(int portAddress, int irq, std::uint8_t* config) override;
    std::int32_t UnloadVXD() override;
    std::int32_t DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer) override;
    std::int32_t DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                std::uint8_t* buffer) override;
    std::int32_t DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                std::uint8_t* buffer) override;
    std::int32_t CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data) override;
    std::int32_t CANXmit(int identifier, int length, const std::uint8_t* data) override;
    std::int32_t DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                        std::uint8_t* buffer) override;
    std::int32_t NetworkWho(int nodeAddress, std::uint8_t* buffer) override;
    std::int32_t SetTimeout(int milliseconds) override;
    std::int32_t GetCANMessage(char* text) override;
    std::int32_t DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                           std::uint8_t* buffer) override;
    bool SetPollCommandSize(std::uint16_t size) override;

private:
    std::shared_ptr<CardScript> script_;
};

// Installs a card factory that creates FakeCards on `script` for the life of this object, then puts
// the previous factory back.
class ScopedFakeCards {
public:
    explicit ScopedFakeCards(std::shared_ptr<CardScript> script);
    ~ScopedFakeCards();
    ScopedFakeCards(const ScopedFakeCards&) = delete;
    ScopedFakeCards& operator=(const ScopedFakeCards&) = delete;

private:
    CardFactory previous_;
};

// An 88-byte DriverSettings image with the given fields and name.
std::vector<std::uint8_t> SettingsBytes(int scnId, int dataRate, int port, int interrupt, int driverType,
                                        const std::string& name = "");

} // namespace orv::automation::testing
