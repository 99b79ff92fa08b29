#include "driver/cards/VoraCard.h"

#include "driver/devicenet/ByteOrder.h"
#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/Identifiers.h"
#include "platform/Tick.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orv::cards {
namespace {

using namespace orv::devicenet;

VoraCard::Wait& DefaultWait()
{
    static VoraCard::Wait wait = platform::Sleep;
    return wait;
}

constexpr std::size_t kReceiveBufferSize = drv712::kReceiveDataOffset + kMaxDataLength;
constexpr std::size_t kReassemblyLimit = 245; // a fragment is kept while fewer bytes are held
constexpr std::size_t kReassemblySize = 256;

} // namespace

// One frame as the library's CANRcv hands it: data bytes at offset 6 of its buffer.
struct VoraCard::Frame {
    std::uint16_t identifier = 0;
    std::uint16_t length = 0;
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};

    const std::uint8_t* Data() const { return buffer.data() + drv712::kReceiveDataOffset; }
    // The library's length, never more than the frame can carry.
    std::uint8_t DataLength() const { return static_cast<std::uint8_t>(std::min<std::uint16_t>(length, kMaxDataLength)); }
};

VoraCard::Wait VoraCard::SetDefaultWait(Wait wait)
{
    Wait previous = std::move(DefaultWait());
    DefaultWait() = wait ? std::move(wait) : Wait(platform::Sleep);
    return previous;
}

VoraCard::VoraCard() : library_(LoadVoraLibrary()), wait_(DefaultWait()) {}

VoraCard::~VoraCard()
{
    UnloadVXD();
    library_ = VoraLibrary{};
}

template <typename Function, typename... Args>
std::int32_t VoraCard::Call(Function function, Args... args)
{
    platform::Lock lock(lock_);
    if (function == nullptr) {
        return kEntryPointMissing;
    }
    if (!open_) {
        return kNotOpen;
    }
    return function(args...);
}

std::int32_t VoraCard::LoadVXD(int portAddress, int irq, std::uint8_t* config)
{
    platform::Lock lock(lock_);
    if (library_.functions.LoadVXD == nullptr) {
        return kEntryPointMissing;
    }
    if (open_) {
        return kAlreadyOpen;
    }
    const std::int32_t rc = library_.functions.LoadVXD(portAddress, irq, config);
    if (rc == 0) {
        open_ = true;
    }
    return rc;
}

std::int32_t VoraCard::UnloadVXD()
{
    platform::Lock lock(lock_);
    const std::int32_t rc = Call(library_.functions.UnloadVXD);
    if (rc == 0) {
        open_ = false;
    }
    return rc;
}

std::int32_t VoraCard::DNAllocate(int nodeAddress, int connectionType, std::uint8_t* buffer)
{
    return Call(library_.functions.DNAllocate, nodeAddress, connectionType, buffer);
}

std::int32_t VoraCard::DNFree(int nodeAddress, int connectionType, std::uint8_t* buffer)
{
    return Call(library_.functions.DNFree, nodeAddress, connectionType, buffer);
}

std::int32_t VoraCard::DNGetAttribute(int nodeAddress, int classId, int instance, int attribute, std::uint8_t* buffer)
{
    return Call(library_.functions.DNGetAttribute, nodeAddress, classId, instance, attribute, buffer);
}

std::int32_t VoraCard::DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                      std::uint8_t* buffer)
{
    return Call(library_.functions.DNSetAttribute, nodeAddress, classId, instance, attribute, length, buffer);
}

std::int32_t VoraCard::CANRcv(std::uint16_t* identifier, std::uint16_t* length, std::uint8_t* data)
{
    return Call(library_.functions.CANRcv, identifier, length, data);
}

std::int32_t VoraCard::CANXmit(int identifier, int length, const std::uint8_t* data)
{
    return Call(library_.functions.CANXmit, identifier, length, data);
}

std::int32_t VoraCard::DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                              std::uint8_t* buffer)
{
    return Call(library_.functions.DNPoll, txIdentifier, txLength, rxIdentifier, rxLength, buffer);
}

std::int32_t VoraCard::NetworkWho(int, std::uint8_t*)
{
    return -1;
}

std::int32_t VoraCard::SetTimeout(int)
{
    return -1; // the library keeps its own time-outs
}

std::int32_t VoraCard::GetCANMessage(char* text)
{
    if (text != nullptr) {
        text[0] = '\0'; // this card keeps no trace
    }
    return -1;
}

bool VoraCard::SetPollCommandSize(std::uint16_t)
{
    return false;
}

std::int32_t VoraCard::Receive(Frame& frame)
{
    frame = Frame{};
    return CANRcv(&frame.identifier, &frame.length, frame.buffer.data());
}

std::int32_t VoraCard::Acknowledge(std::uint16_t identifier, std::uint8_t fragmentByte)
{
    const std::uint8_t ack[kMaxDataLength] = {kHeaderFragment, static_cast<std::uint8_t>(fragmentByte | kFragmentAck),
                                               0x00};
    return CANXmit(identifier, 3, ack);
}

// Any explicit service over the library's raw frame functions. Every frame call takes the card
// lock on its own; the operation as a whole is serialised by the driver object's request lock.
std::int32_t VoraCard::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                                 std::uint8_t* buffer)
{
    if (!open_ || buffer == nullptr) {
        return -1;
    }
    // Drain: a frame taken within each wait is stale and thrown away.
    Frame frame;
    do {
        wait_(kDrainWait);
    } while (Receive(frame) == 0);

    const auto dataLength = static_cast<std::uint16_t>(length);
    if (dataLength > 128 || nodeAddress < 0 || nodeAddress > kMaxMacId) {
        return -1;
    }
    const std::uint16_t identifier = Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);
    const auto service = static_cast<std::uint8_t>(serviceCode);
    const auto cls = static_cast<std::uint8_t>(classId);
    const auto inst = static_cast<std::uint8_t>(instance);

    if (dataLength <= 4) {
        // Header 0x00: source MAC ID 0, no fragment and no transaction bit.
        std::uint8_t request[kMaxDataLength] = {0x00, service, cls, inst};
        std::memcpy(request + 4, buffer, dataLength);
        if (const std::int32_t rc = CANXmit(identifier, dataLength + 4, request); rc != 0) {
            return rc;
        }
    } else {
        std::uint8_t count = 0;
        std::size_t offset = 0;
        std::size_t remaining = dataLength;
        while (remaining > 0) {
            std::uint8_t fragment[kMaxDataLength] = {kHeaderFragment};
            std::size_t chunk = 0;
            std::size_t frameLength = kMaxDataLength;
            if (count == 0) {
                fragment[1] = static_cast<std::uint8_t>(kFragmentFirst | count);
                fragment[2] = service;
                fragment[3] = cls;
                fragment[4] = inst;
                chunk = 3;
                std::memcpy(fragment + 5, buffer, chunk);
            } else if (remaining > 6) {
                fragment[1] = static_cast<std::uint8_t>(kFragmentMiddle | count);
                chunk = 6;
                std::memcpy(fragment + 2, buffer + offset, chunk);
            } else {
                fragment[1] = static_cast<std::uint8_t>(kFragmentLast | count);
                chunk = remaining;
                frameLength = remaining + 2;
                std::memcpy(fragment + 2, buffer + offset, chunk);
            }
            if (const std::int32_t rc = CANXmit(identifier, static_cast<int>(frameLength), fragment); rc != 0) {
                return rc;
            }
            wait_(kFragmentAckWait);
            if (Receive(frame) != 0) {
                return -1; // no acknowledgement from the node
            }
            offset += chunk;
            remaining -= chunk;
            ++count;
        }
    }

    wait_(kResponseWait);
    if (const std::int32_t rc = Receive(frame); rc != 0) {
        return rc;
    }
    if ((frame.Data()[0] & kHeaderFragment) == 0 || !IsExplicitResponse(frame.identifier)) {
        PutLe16(buffer + 4, frame.DataLength());
        std::memcpy(buffer + 6, frame.Data(), frame.DataLength());
        return 0;
    }

    // Fragmented response.
    std::array<std::uint8_t, kReassemblySize> body{};
    std::size_t held = 0;
    auto append = [&](const Frame& fragment) {
        const std::size_t n = fragment.DataLength() > 2 ? fragment.DataLength() - 2u : 0u;
        if (held < kReassemblyLimit) {
            std::memcpy(body.data() + held, fragment.Data() + 2, n);
            held += n;
        }
    };
    auto typeOf = [](const Frame& fragment) { return static_cast<std::uint8_t>(fragment.Data()[1] & kFragmentTypeMask); };

    const std::uint8_t firstType = typeOf(frame);
    if (firstType == kFragmentAck) {
        return -1; // an acknowledgement is no answer
    }
    if (firstType == kFragmentFirst) {
        append(frame);
        if (const std::int32_t rc = Acknowledge(identifier, frame.Data()[1]); rc != 0) {
            return rc;
        }
        wait_(kResponseWait);
        if (const std::int32_t rc = Receive(frame); rc != 0) {
            return rc;
        }
    }
    if (firstType != kFragmentLast) {
        for (;;) {
            append(frame);
            if (typeOf(frame) == kFragmentLast) {
                break;
            }
            if (const std::int32_t rc = Acknowledge(identifier, frame.Data()[1]); rc != 0) {
                return rc;
            }
            wait_(kResponseWait);
            if (const std::int32_t rc = Receive(frame); rc != 0) {
                return rc;
            }
        }
    }
    if (const std::int32_t rc = Acknowledge(identifier, frame.Data()[1]); rc != 0) {
        return rc;
    }
    PutLe16(buffer + 4, static_cast<std::uint16_t>(held + 1));
    buffer[6] = static_cast<std::uint8_t>(frame.Data()[0] & ~kHeaderFragment);
    std::memcpy(buffer + 7, body.data(), held);
    return 0;
}

} // namespace orv::cards
