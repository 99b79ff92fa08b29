// Explicit messaging over the slave's predefined explicit connection (Group 2 message 4 out,
// message 3 back): Get_Attribute_Single, Set_Attribute_Single and any other service, with request
// fragmentation and the reassembly and acknowledgement of fragmented answers. Only frames on the
// asked node's message 3 identifier count as acknowledgements and answers.

#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/Fragmentation.h"
#include "driver/devicenet/Identifiers.h"

#include <array>
#include <cstring>

namespace orv::devicenet {
namespace {

bool IsMacId(int nodeAddress)
{
    return nodeAddress >= 0 && nodeAddress <= kMaxMacId;
}

std::uint16_t RequestIdentifier(int nodeAddress)
{
    return Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);
}

std::uint16_t ResponseIdentifier(int nodeAddress)
{
    return ExplicitResponseIdentifier(static_cast<unsigned>(nodeAddress));
}

} // namespace

int DeviceNetMaster::DNGetAttribute(int nodeAddress, int classId, int instance, int attribute,
                                    std::uint8_t* buffer)
{
    if (!port_.IsOpen() || buffer == nullptr) {
        return -1;
    }
    port_.DrainReceive();
    const std::uint8_t body[] = {kServiceGetAttributeSingle, static_cast<std::uint8_t>(classId),
                                 static_cast<std::uint8_t>(instance), static_cast<std::uint8_t>(attribute)};
    if (port_.SendFrame(ExplicitFrame(RequestIdentifier(nodeAddress), RequestHeader(true), body, sizeof body)) != 0) {
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
    if (port_.ReceiveFrom(ResponseIdentifier(nodeAddress), answer) != 0) {
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
    const std::uint16_t identifier = RequestIdentifier(nodeAddress);
    if (bodyLength + 1 <= kMaxDataLength) {
        const std::uint8_t header =
            alternates ? RequestHeader(true) : static_cast<std::uint8_t>(port_.MasterMacId() & kHeaderMacMask);
        return port_.SendFrame(ExplicitFrame(identifier, header, body, bodyLength));
    }
    RequestFragments fragments(identifier, FragmentHeader(), body, bodyLength);
    CanFrame fragment;
    while (fragments.Next(fragment)) {
        if (alternates) {
            RequestHeader(true); // flipped before each fragment; the fragments themselves carry XID 0
        }
        if (port_.SendFrame(fragment) != 0) {
            return -1;
        }
        // The slave's acknowledgement; its content is not examined.
        CanFrame ack;
        if (port_.ReceiveFrom(ResponseIdentifier(nodeAddress), ack) != 0) {
            return -1;
        }
    }
    return 0;
}

int DeviceNetMaster::ReceiveAnswer(int nodeAddress, std::size_t bodyLimit, std::uint8_t* buffer)
{
    const std::uint16_t from = ResponseIdentifier(nodeAddress);
    CanFrame frame;
    if (port_.ReceiveFrom(from, frame) != 0) {
        return -1;
    }
    if ((frame.data[0] & kHeaderFragment) == 0) {
        ReplyBuffer::StoreFrame(buffer, frame);
        return 0;
    }
    // A fragmented answer: each fragment is acknowledged before the next one is awaited. The
    // series has at most 64 fragments, so the call ends within 64 receive time-outs from here.
    AnswerAssembly assembly(bodyLimit);
    for (;;) {
        const AnswerAssembly::Step step = assembly.Take(frame);
        if (step == AnswerAssembly::Step::Fail ||
            port_.SendFrame(FragmentAcknowledgement(RequestIdentifier(nodeAddress), FragmentHeader(), frame.data[1])) != 0) {
            return -1;
        }
        if (step == AnswerAssembly::Step::Done) {
            assembly.Store(buffer);
            return 0;
        }
        if (port_.ReceiveFrom(from, frame) != 0) {
            return -1;
        }
    }
}

} // namespace orv::devicenet
