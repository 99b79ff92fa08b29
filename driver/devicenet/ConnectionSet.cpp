// Allocate and Release of the predefined master/slave connection set, sent on the slave's
// unconnected port (Group 2 message 6) to the DeviceNet object, class 3 instance 1. The slave
// answers on its Group 2 message 3 identifier; only an answer that fits the request counts.

#include "driver/devicenet/DeviceNetMaster.h"

#include "driver/devicenet/AnswerFit.h"
#include "driver/devicenet/Identifiers.h"

namespace orv::devicenet {

int DeviceNetMaster::DNAllocate(int nodeAddress, int connectionType, CanFrame* answer)
{
    return SendConnectionRequest(nodeAddress, kServiceAllocate, connectionType, answer);
}

int DeviceNetMaster::DNFree(int nodeAddress, int connectionType, CanFrame* answer)
{
    return SendConnectionRequest(nodeAddress, kServiceRelease, connectionType, answer);
}

int DeviceNetMaster::SendConnectionRequest(int nodeAddress, std::uint8_t service, int choice, CanFrame* answer)
{
    if (!port_.IsOpen()) {
        return -1;
    }
    const Deadline deadline = port_.CallDeadline();
    port_.DrainReceive();
    CanFrame request;
    request.identifier = Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::UnconnectedRequest);
    request.data[0] = RequestHeader(true);
    request.data[1] = service;
    request.data[2] = kDeviceNetClass;
    request.data[3] = 0x01;
    request.data[4] = static_cast<std::uint8_t>(choice);
    request.length = 5;
    if (service == kServiceAllocate) {
        request.data[5] = static_cast<std::uint8_t>(port_.MasterMacId() & kHeaderMacMask); // allocator's MAC ID
        request.length = 6;
    }
    if (port_.SendFrame(request) != 0) {
        return -1;
    }
    // Success and error responses alike count: what the node answered is the caller's to read.
    const AnswerFit fit(ExplicitResponseIdentifier(static_cast<unsigned>(nodeAddress)), service,
                        AnswerFit::Shape::OneFrame, AnswerXid(request.data[0]));
    CanFrame received;
    if (port_.Receive(fit, deadline, received) != 0) {
        return -1;
    }
    if (answer != nullptr) {
        *answer = received;
    }
    return 0;
}

bool DeviceNetMaster::SetPollCommandSize(std::uint16_t size)
{
    pollCommandSize_ = size;
    return true;
}

} // namespace orv::devicenet
