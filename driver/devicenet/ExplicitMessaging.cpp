// Explicit messaging over the slave's predefined explicit connection (Group 2 message 4 out,
// message 3 back): Get_Attribute_Single, Set_Attribute_Single and any other service, with request
// fragmentation and the reassembly and acknowledgement of fragmented answers.

#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/Identifiers.h"

#include <array>
#include <cstring>

namespace orv::devicenet {
namespace {

constexpr std::size_t kFragmentBodyBytes = 6; // bytes 2..7 of an explicit fragment

bool IsMacId(int nodeAddress)
{
    return nodeAddress >= 0 && nodeAddress <= kMaxMacId;
}

CanFrame MakeFrame(std::uint16_t identifier, std::initializer_list<std::uint8_t> head, const std::uint8_t* tail,
                   std::size_t tailLength)
{
    CanFrame frame;
    frame.identifier = identifier;
    std::size_t n = 0;
    for (std::uint8_t byte : head) {
        frame.data[n++] = byte;
    }
    if (tailLength > 0) {
        std::memcpy(frame.data.data() + n, tail, tailLength);
    }
    frame.length = static_cast<std::uint8_t>(n + tailLength);
    return frame;
}

} // namespace

int DeviceNetMaster::DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                    std::uint8_t* buffer)
{
    if (!port_.IsOpen() || buffer == nullptr) {
        return -1;
    }
    port_.DrainReceive();
    const std::uint8_t header = RequestHeader(true);
    const CanFrame request =
        MakeFrame(Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest),
                  {header, kServiceGetAttributeSingle, static_cast<std::uint8_t>(classId),
                   static_cast<std::uint8_t>(instance), static_cast<std::uint8_t>(attribute)},
                  nullptr, 0);
    if (port_.SendFrame(request) != 0) {
        return -1;
    }
    return ReceiveAnswer(nodeAddress, kGetBodyLimit, buffer);
}

int DeviceNetMaster::DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                    std::uint8_t* buffer)
{
    std::uint16_t dataLength = 0;
    if (!BeginRequest(nodeAddress, length, buffer, dataLength)) {
        return -1;
    }
    std::array<std::uint8_t, 4 + kMaxRequestLength> body{kServiceSetAttributeSingle, static_cast<std::uint8_t>(classId),
                                                         static_cast<std::uint8_t>(instance),
                                                         static_cast<std::uint8_t>(attribute)};
    std::memcpy(body.data() + 4, buffer, dataLength);
    if (SendRequest(nodeAddress, body.data(), 4u + dataLength, true) != 0) {
        return -1;
    }
    // A Set answer is stored as one frame, whatever its fragment bit says.
    CanFrame answer;
    if (port_.ReceiveFrame(answer) != 0) {
        return -1;
    }
    ReplyBuffer::StoreFrame(buffer, answer);
    return 0;
}

int DeviceNetMaster::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                               std::uint8_t* buffer)
{
    std::uint16_t dataLength = 0;
    if (!BeginRequest(nodeAddress, length, buffer, dataLength)) {
        return -1;
    }
    std::array<std::uint8_t, 3 + kMaxRequestLength> body{static_cast<std::uint8_t>(serviceCode),
                                                         static_cast<std::uint8_t>(classId),
                                                         static_cast<std::uint8_t>(instance)};
    std::memcpy(body.data() + 3, buffer, dataLength);
    // Service requests carry XID 0 and leave the transaction bit alone.
    if (SendRequest(nodeAddress, body.data(), 3u + dataLength, false) != 0) {
        return -1;
    }
    return ReceiveAnswer(nodeAddress, kServiceBodyLimit, buffer);
}

bool DeviceNetMaster::BeginRequest(int nodeAddress, int length, const std::uint8_t* buffer, std::uint16_t& dataLength)
{
    if (!port_.IsOpen() || buffer == nullptr) {
        return false;
    }
    port_.DrainReceive();
    dataLength = static_cast<std::uint16_t>(length);
    return dataLength <= kMaxRequestLength && IsMacId(nodeAddress);
}

int DeviceNetMaster::SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength, bool alternates)
{
    const std::uint16_t identifier =
        Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);
    if (bodyLength + 1 > kMaxDataLength) {
        return SendRequestFragments(identifier, body, bodyLength, alternates);
    }
    const std::uint8_t header =
        alternates ? RequestHeader(true) : static_cast<std::uint8_t>(port_.MasterMacId() & kHeaderMacMask);
    return port_.SendFrame(MakeFrame(identifier, {header}, body, bodyLength));
}

int DeviceNetMaster::SendRequestFragments(std::uint16_t identifier, const std::uint8_t* body,
                                          std::size_t bodyLength, bool flipEachFragment)
{
    std::size_t offset = 0;
    std::uint8_t count = 0;
    std::uint8_t type = kFragmentFirst;
    while (offset < bodyLength) {
        const std::size_t remaining = bodyLength - offset;
        std::size_t chunk = kFragmentBodyBytes;
        if (offset > 0) {
            if (remaining > kFragmentBodyBytes) {
                type = kFragmentMiddle;
            } else {
                type = kFragmentLast;
                chunk = remaining;
            }
        }
        if (flipEachFragment) {
            RequestHeader(true); // the fragments themselves carry XID 0
        }
        const auto fragmentByte = static_cast<std::uint8_t>(type | (count & kFragmentCountMask));
        if (port_.SendFrame(MakeFrame(identifier, {FragmentHeader(), fragmentByte}, body + offset, chunk)) != 0) {
            return -1;
        }
        // The slave's acknowledgement; its content is not examined.
        CanFrame ack;
        if (port_.ReceiveFrame(ack) != 0) {
            return -1;
        }
        offset += chunk;
        ++count;
    }
    return 0;
}

int DeviceNetMaster::ReceiveAnswer(int nodeAddress, std::size_t bodyLimit, std::uint8_t* buffer)
{
    CanFrame answer;
    if (port_.ReceiveFrame(answer) != 0) {
        return -1;
    }
    if ((answer.data[0] & kHeaderFragment) != 0 && IsExplicitResponse(answer.identifier)) {
        return Reassemble(answer, nodeAddress, bodyLimit, buffer);
    }
    ReplyBuffer::StoreFrame(buffer, answer);
    return 0;
}

int DeviceNetMaster::Reassemble(CanFrame frame, int nodeAddress, std::size_t bodyLimit, std::uint8_t* buffer)
{
    std::array<std::uint8_t, kServiceBodyLimit> body{};
    std::size_t held = 0;
    const std::size_t limit = bodyLimit < body.size() ? bodyLimit : body.size();
    const std::uint16_t ackIdentifier =
        Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);

    // A fragment's bytes are kept whole, and only while a whole fragment still fits: past that the
    // fragments are acknowledged and their bytes dropped, so a long answer never passes the buffer.
    auto append = [&](const CanFrame& fragment) {
        const std::size_t n = fragment.dataLength() > 2 ? fragment.dataLength() - 2u : 0u;
        if (held + kFragmentBodyBytes <= limit) {
            std::memcpy(body.data() + held, fragment.data.data() + 2, n);
            held += n;
        }
    };
    auto acknowledge = [&](const CanFrame& fragment) {
        const auto countByte = static_cast<std::uint8_t>(kFragmentAck | (fragment.data[1] & kFragmentCountMask));
        return port_.SendFrame(MakeFrame(ackIdentifier, {FragmentHeader(), countByte, 0x00}, nullptr, 0));
    };
    auto typeOf = [](const CanFrame& fragment) { return static_cast<std::uint8_t>(fragment.data[1] & kFragmentTypeMask); };

    switch (typeOf(frame)) {
    case kFragmentAck:
        return -1;
    case kFragmentLast:
        // A lone last fragment: acknowledged, and the answer is its header alone.
        if (acknowledge(frame) != 0) {
            return -1;
        }
        ReplyBuffer::StoreReassembled(buffer, frame.data[0] & static_cast<std::uint8_t>(~kHeaderFragment), nullptr, 0);
        return 0;
    case kFragmentFirst:
        append(frame);
        if (acknowledge(frame) != 0 || port_.ReceiveFrame(frame) != 0) {
            return -1;
        }
        break;
    default:
        break; // a middle fragment first: taken as it comes
    }

    // Every type but last counts as a middle fragment here; counts and identifiers are not checked.
    for (;;) {
        append(frame);
        if (typeOf(frame) == kFragmentLast) {
            break;
        }
        if (acknowledge(frame) != 0 || port_.ReceiveFrame(frame) != 0) {
            return -1;
        }
    }
    if (acknowledge(frame) != 0) {
        return -1;
    }
    ReplyBuffer::StoreReassembled(buffer, frame.data[0] & static_cast<std::uint8_t>(~kHeaderFragment), body.data(),
                                  held);
    return 0;
}

} // namespace orv::devicenet
