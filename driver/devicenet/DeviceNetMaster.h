#pragma once
// The driver's own DeviceNet master over a raw CAN port: explicit messaging with fragmentation
// (ExplicitMessaging.cpp), the predefined master/slave connection set (ConnectionSet.cpp) and
// polled I/O with I/O fragmentation (PolledIo.cpp). It keeps no connection state and talks to one
// slave at a time. Results: 0 success, -1 failure (DNPoll tells its failures apart). A slave's
// error response is a success; the caller finds 0x94 at reply byte 7.
//
// What it takes as an answer: only a frame from the slave it asked, and of an explicit request
// only an answer that fits it (AnswerFit.h): the request's reply code (request | 0x80) or the
// error response (0x94) as its service code, on the SYSTEC card the XID bit the request carried,
// and for a fragmented answer a series that starts with a first fragment of count 0. Any other
// frame (other traffic, a late answer of an earlier request, a stray fragment) is traced but is
// neither data nor the end of a wait. A poll response is any frame of the polled node's poll
// response identifier. Request fragment acknowledgements are not examined beyond their identifier.
//
// Every call ends within twice the receive time-out T of its start, whatever the slave sends: the
// call fixes one deadline when it starts (Deadline.h), and every wait of the call, for a request
// fragment's acknowledgement, the answer, an answer fragment or a poll response fragment, ends at
// it. Each wait also ends after T on its own, so a silent slave costs one T. A call whose deadline
// passes ends with -1 (DNPoll: kPollNoResponse) and leaves the caller's reply area unwritten. Only
// the library call under way at the deadline and the drain at the start (at most
// CanPort::kDrainLimit pending frames read, without waiting) come on top. So DNGetAttribute,
// DNSetAttribute, DNService, DNAllocate, DNFree and DNPoll each end within 2 T; a series of
// fragments that the slave drips just before each time-out no longer holds a call for 64 T.

#include "driver/devicenet/AnswerFit.h"
#include "driver/devicenet/CanPort.h"
#include "driver/devicenet/ReplyBuffer.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace orv::devicenet {

class DeviceNetMaster {
public:
    static constexpr std::uint16_t kMaxRequestLength = 128;
    // Reassembled answer bodies are bounded so that the reply never passes the caller's buffer:
    // Get_Attribute_Single by the 152-byte buffers of its callers, any other service by 250 bytes.
    static constexpr std::size_t kGetBodyLimit = ReplyBuffer::kCallerSize - ReplyBuffer::kServiceOffset;
    static constexpr std::size_t kServiceBodyLimit = 250;
    static_assert(kGetBodyLimit <= kServiceBodyLimit);
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

    // Predefined master/slave connection set: 0 when the node's answer (success or error response)
    // came in time; a caller that wants to tell them apart can have it in `answer`.
    int DNAllocate(int nodeAddress, int connectionType, CanFrame* answer = nullptr);
    int DNFree(int nodeAddress, int connectionType, CanFrame* answer = nullptr);

    // Failures of DNPoll that the caller may tell apart.
    static constexpr int kPollNoResponse = -1;       // nothing from the node in time (or not open)
    static constexpr int kPollCommandRefused = -2;   // the library refused a command frame
    static constexpr int kPollMalformedResponse = -3; // a response fragment out of sequence or of a wrong length

    // One polled I/O exchange. `rxLength` goes in as the number of response bytes expected and, on
    // success only, comes back as the number received. The buffer holds the command on entry and
    // the response on return (at least 8 bytes, or `rxLength` bytes for a fragmented response); a
    // failed exchange leaves there the bytes of the fragments accepted so far. A command on a
    // Group 2 poll command identifier is answered by that node's poll response identifier only;
    // on any other identifier, any frame is the answer.
    int DNPoll(int txIdentifier, int txLength, std::uint16_t* rxIdentifier, std::uint16_t* rxLength,
               std::uint8_t* buffer);
    bool SetPollCommandSize(std::uint16_t size);
    std::uint16_t PollCommandSize() const { return pollCommandSize_; }
    int NetworkWho() const { return -1; }

    std::uint8_t TransactionBit() const { return transactionBit_; }

private:
    std::uint8_t RequestHeader(bool flip);
    std::uint8_t FragmentHeader() const;
    // The XID bit an answer must carry to a request sent with `header`, where the card alternates it.
    std::optional<std::uint8_t> AnswerXid(std::uint8_t header) const;
    bool BeginRequest(int nodeAddress, int length, std::uint16_t& dataLength);
    int SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength, bool alternates,
                    const Deadline& deadline, std::uint8_t& header);
    int ReceiveAnswer(int nodeAddress, const AnswerFit& fit, std::size_t bodyLimit, std::uint8_t* buffer,
                      const Deadline& deadline);
    int SendConnectionRequest(int nodeAddress, std::uint8_t service, int choice, CanFrame* answer);
    int SendPollCommand(std::uint16_t identifier, std::uint16_t txLength, const std::uint8_t* buffer);
    int ReceivePollResponse(const FrameFilter& from, const Deadline& deadline, std::uint16_t expected,
                            std::uint16_t* rxIdentifier, std::uint16_t* rxLength, std::uint8_t* buffer);

    CanPort port_;
    std::uint8_t transactionBit_ = 0;
    std::uint16_t pollCommandSize_ = 0;
};

} // namespace orv::devicenet
