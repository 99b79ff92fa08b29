// Explicit messaging over the slave's predefined explicit connection (Group 2 message 4 out,
// message 3 back): Get_Attribute_Single, Set_Attribute_Single and any other service, with request
// fragmentation and the reassembly and acknowledgement of fragmented answers. Only frames on the
// asked node's message 3 identifier count as acknowledgements and answer fragments, and only an
// answer that fits the request (AnswerFit) as its answer; every wait ends at the call's deadline.

#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/AnswerFit.h"
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
    const Deadline deadline = port_.CallDeadline();
    port_.DrainReceive();
    const std::uint8_t body[] = {kServiceGetAttributeSingle, static_cast<std::uint8_t>(classId),
                                 static_cast<std::uint8_t>(instance), static_cast<std::uint8_t>(attribute)};
    const std::uint8_t header = RequestHeader(true);
    if (port_.SendFrame(ExplicitFrame(RequestIdentifier(nodeAddress), header, body, sizeof body)) != 0) {
        return -1;
    }
    const AnswerFit fit(ResponseIdentifier(nodeAddress), kServiceGetAttributeSingle, AnswerFit::Shape::MayBeFragmented,
                        AnswerXid(header));
    return ReceiveAnswer(nodeAddress, fit, kGetBodyLimit, buffer, deadline);
}

int DeviceNetMaster::DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                                    std::uint8_t* buffer)
{
    if (!port_.IsOpen() || buffer == nullptr) {
        return -1;
    }
    const Deadline deadline = port_.CallDeadline();
    std::uint16_t dataLength = 0;
    if (!BeginRequest(nodeAddress, length, dataLength)) {
        return -1;
    }
    std::array<std::uint8_t, 4 + kMaxRequestLength> body{kServiceSetAttributeSingle, static_cast<std::uint8_t>(classId),
                                                         static_cast<std::uint8_t>(instance),
                                                         static_cast<std::uint8_t>(attribute)};
    std::memcpy(body.data() + 4, buffer, dataLength);
    std::uint8_t header = 0;
    if (SendRequest(nodeAddress, body.data(), 4u + dataLength, true, deadline, header) != 0) {
        return -1;
    }
    // A Set answer is stored as one frame, whatever its fragment bit says.
    const AnswerFit fit(ResponseIdentifier(nodeAddress), kServiceSetAttributeSingle, AnswerFit::Shape::OneFrame,
                        AnswerXid(header));
    CanFrame answer;
    if (port_.Receive(fit, deadline, answer) != 0) {
        return -1;
    }
    ReplyBuffer::StoreFrame(buffer, answer);
    return 0;
}

int DeviceNetMaster::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                               std::uint8_t* buffer)
{
    if (!port_.IsOpen() || buffer == nullptr) {
        return -1;
    }
    const Deadline deadline = port_.CallDeadline();
    std::uint16_t dataLength = 0;
    if (!BeginRequest(nodeAddress, length, dataLength)) {
        return -1;
    }
    const auto service = static_cast<std::uint8_t>(serviceCode);
    std::array<std::uint8_t, 3 + kMaxRequestLength> body{service, static_cast<std::uint8_t>(classId),
                                                         static_cast<std::uint8_t>(instance)};
    std::memcpy(body.data() + 3, buffer, dataLength);
    // Service requests carry XID 0 and leave the transaction bit alone.
    std::uint8_t header = 0;
    if (SendRequest(nodeAddress, body.data(), 3u + dataLength, false, deadline, header) != 0) {
        return -1;
    }
    const AnswerFit fit(ResponseIdentifier(nodeAddress), service, AnswerFit::Shape::MayBeFragmented, AnswerXid(header));
    return ReceiveAnswer(nodeAddress, fit, kServiceBodyLimit, buffer, deadline);
}

bool DeviceNetMaster::BeginRequest(int nodeAddress, int length, std::uint16_t& dataLength)
{
    port_.DrainReceive();
    dataLength = static_cast<std::uint16_t>(length);
    return dataLength <= kMaxRequestLength && IsMacId(nodeAddress);
}

int DeviceNetMaster::SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength, bool alternates,
                                 const Deadline& deadline, std::uint8_t& header)
{
    const std::uint16_t identifier = RequestIdentifier(nodeAddress);
    if (bodyLength + 1 <= kMaxDataLength) {
        header = alternates ? RequestHeader(true) : static_cast<std::uint8_t>(port_.MasterMacId() & kHeaderMacMask);
        return port_.SendFrame(ExplicitFrame(identifier, header, body, bodyLength));
    }
    header = FragmentHeader();
    RequestFragments fragments(identifier, header, body, bodyLength);
    const FromIdentifier fromNode(ResponseIdentifier(nodeAddress));
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
        if (port_.Receive(fromNode, deadline, ack) != 0) {
            return -1;
        }
    }
    return 0;
}

int DeviceNetMaster::ReceiveAnswer(int nodeAddress, const AnswerFit& fit, std::size_t bodyLimit, std::uint8_t* buffer,
                                   const Deadline& deadline)
{
    CanFrame frame;
    if (port_.Receive(fit, deadline, frame) != 0) {
        return -1;
    }
    if ((frame.data[0] & kHeaderFragment) == 0) {
        ReplyBuffer::StoreFrame(buffer, frame);
        return 0;
    }
    // A fragmented answer: each fragment is acknowledged before the next one is awaited.
    const FromIdentifier fromNode(ResponseIdentifier(nodeAddress));
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
        if (port_.Receive(fromNode, deadline, frame) != 0) {
            return -1;
        }
    }
}

} // namespace orv::devicenet
