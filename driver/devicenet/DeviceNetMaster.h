#pragma once
// The driver's own DeviceNet master over a raw CAN port: explicit messaging with fragmentation
// (ExplicitMessaging.cpp), the predefined master/slave connection set (ConnectionSet.cpp) and
// polled I/O with I/O fragmentation (PolledIo.cpp). It keeps no connection state; it talks to one
// slave at a time on an otherwise quiet network and takes the first frame after a request as the
// answer. Results: 0 success, -1 failure. A slave's error response is a success; the caller finds
// 0x94 at reply byte 7.

#include "driver/devicenet/CanPort.h"
#include "driver/devicenet/ReplyBuffer.h"

#include <cstddef>
#include <cstdint>

namespace orv::devicenet {

class DeviceNetMaster {
public:
    static constexpr std::uint16_t kMaxRequestLength = 128;
    // Reassembled answer bodies are bounded so that the reply never passes the caller's buffer:
    // Get_Attribute_Single by the 152-byte buffers of its callers, any other service by 250 bytes.
    static constexpr std::size_t kGetBodyLimit = ReplyBuffer::kCallerSize - ReplyBuffer::kServiceOffset;
    static constexpr std::size_t kServiceBodyLimit = 250;
    // I/O fragment counts have six bits: at most 64 fragments of 7 bytes.
    static constexpr std::uint16_t kMaxIoLength = 448;

    DeviceNetMaster(CanLibrary& library, Clock& clock, MasterPolicy policy);

    CanPort& Port() { return port_; }

    // Explicit messaging. The reply buffer must hold kCallerSize bytes for DNGetAttribute, 14 for
    // DNSetAttribute, and 7 + kServiceBodyLimit for DNService.
    int DNGetAttribute(int nodeAddress, int classId, int instance, int attribute, std::uint8_t* buffer);
    int DNSetAttribute(int nodeAddress, int classId, int instance, int attribute, int length,
                       std::uint8_t* buffer);
    int DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                  std::uint8_t* buffer);

    // Predefined master/slave connection set: 0 when any frame answered in time. The answer is not
    // examined here; a caller that wants to can have it in `answer`.
    int DNAllocate(int nodeAddress, int connectionType, CanFrame* answer = nullptr);
    int DNFree(int nodeAddress, int connectionType, CanFrame* answer = nullptr);

    // One polled I/O exchange. `rxLength` goes in as the number of response bytes expected and comes
    // back as the number received. The buffer holds the command on entry and the response on return
    // (at least 8 bytes, or `rxLength` bytes for a fragmented response).
    int DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
               std::uint8_t* buffer);
    bool SetPollCommandSize(std::uint16_t size);
    std::uint16_t PollCommandSize() const { return pollCommandSize_; }
    int NetworkWho() const { return -1; }

    std::uint8_t TransactionBit() const { return transactionBit_; }

private:
    std::uint8_t RequestHeader(bool flip);
    std::uint8_t FragmentHeader() const;
    bool BeginRequest(int nodeAddress, int length, const std::uint8_t* buffer, std::uint16_t& dataLength);
    int SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength, bool alternates);
    int SendRequestFragments(std::uint16_t identifier, const std::uint8_t* body, std::size_t bodyLength,
                             bool flipEachFragment);
    int ReceiveAnswer(int nodeAddress, std::size_t bodyLimit, std::uint8_t* buffer);
    int Reassemble(CanFrame frame, int nodeAddress, std::size_t bodyLimit, std::uint8_t* buffer);
    int SendConnectionRequest(int nodeAddress, std::uint8_t service, int choice, CanFrame* answer);
    int SendPollCommand(std::uint16_t identifier, std::uint16_t txLength, const std::uint8_t* buffer);
    int ReceivePollResponse(std::uint16_t expected, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
                            std::uint8_t* buffer);

    CanPort port_;
    std::uint8_t transactionBit_ = 0;
    std::uint16_t pollCommandSize_ = 0;
};

} // namespace orv::devicenet
