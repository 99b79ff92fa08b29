#include "driver/cards/VoraCard.h"

#include "driver/devicenet/AnswerFit.h"
#include "driver/devicenet/CanFrame.h"
#include "driver/devicenet/CanPort.h"
#include "driver/devicenet/Fragmentation.h"
#include "driver/devicenet/Identifiers.h"
#include "driver/devicenet/ReplyBuffer.h"
#include "platform/Tick.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace orv::cards {
namespace {

using namespace orv::devicenet;

// The library writes a frame's data from offset 6 of the receive buffer. How much it writes is
// its own affair: room for a length field of up to 15 and more, of which 8 bytes are read.
constexpr std::size_t kReceiveBufferSize = 64;
static_assert(kReceiveBufferSize >= drv712::kReceiveDataOffset + 15);

constexpr std::uint8_t kSourceMacId = 0; // the header of every frame DNService sends
constexpr std::uint8_t kFragmentHeader = kHeaderFragment | kSourceMacId;

} // namespace

// One frame as the library's CANRcv hands it: data bytes at offset 6 of its buffer.
struct VoraCard::Frame {
    std::uint16_t identifier = 0;
    std::uint16_t length = 0;
    std::array<std::uint8_t, kReceiveBufferSize> buffer{};

    // The frame as the master's code sees it: never more than 8 data bytes.
    CanFrame AsCanFrame() const
    {
        CanFrame frame;
        frame.identifier = identifier;
        frame.length = static_cast<std::uint8_t>(std::min<std::uint16_t>(length, kMaxDataLength));
        std::copy_n(buffer.begin() + drv712::kReceiveDataOffset, frame.length, frame.data.begin());
        return frame;
    }
};

VoraCard::VoraCard(devicenet::Clock& clock) : VoraCard(LoadVoraLibrary(), clock) {}

VoraCard::VoraCard(VoraLibrary library, devicenet::Clock& clock) : library_(std::move(library)), clock_(clock) {}

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

// Looks for a frame that `filter` takes: at once, then every kLookInterval, for at most `wait` and
// never past the call's deadline; pending frames the filter refuses are dropped on the way. 0 with
// the frame. Otherwise the library's result of its last look when it had nothing (or failed), or
// -1 when frames came but none that the filter takes.
std::int32_t VoraCard::Await(const FrameFilter& filter, std::uint32_t wait, const Deadline& deadline, CanFrame& out)
{
    const std::uint32_t start = clock_.TickCount();
    for (;;) {
        Frame frame;
        const std::int32_t rc = Receive(frame);
        if (rc == 0) {
            const CanFrame received = frame.AsCanFrame();
            if (filter.Takes(received)) {
                out = received;
                return 0;
            }
        } else if (rc != drv712::kNothingReceived) {
            return rc;
        }
        const std::uint32_t now = clock_.TickCount();
        const std::uint32_t waited = platform::TicksBetween(start, now);
        const std::uint32_t left = std::min(waited >= wait ? 0 : wait - waited, deadline.Remaining(now));
        if (left == 0) {
            return rc == 0 ? -1 : rc;
        }
        if (rc != 0) {
            clock_.Sleep(std::min(kLookInterval, left));
        }
    }
}

std::int32_t VoraCard::Send(const CanFrame& frame)
{
    return CANXmit(frame.identifier, frame.length, frame.data.data());
}

std::int32_t VoraCard::SendRequest(int nodeAddress, const std::uint8_t* body, std::size_t bodyLength,
                                   const Deadline& deadline)
{
    const std::uint16_t identifier = Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);
    if (bodyLength + 1 <= kMaxDataLength) {
        return Send(ExplicitFrame(identifier, kSourceMacId, body, bodyLength));
    }
    RequestFragments fragments(identifier, kFragmentHeader, body, bodyLength);
    const FromIdentifier fromNode(ExplicitResponseIdentifier(static_cast<unsigned>(nodeAddress)));
    CanFrame fragment;
    while (fragments.Next(fragment)) {
        if (const std::int32_t rc = Send(fragment); rc != 0) {
            return rc;
        }
        // The node's acknowledgement; its content is not examined.
        CanFrame ack;
        if (Await(fromNode, kFragmentAckWait, deadline, ack) != 0) {
            return -1;
        }
    }
    return 0;
}

// Any explicit service over the library's raw frame functions. Every frame call takes the card
// lock on its own; the operation as a whole is serialised by the driver object's request lock.
// Only frames of the asked node count as its acknowledgements and answer fragments, and only an
// answer that fits the request as its answer.
std::int32_t VoraCard::DNService(int nodeAddress, int classId, int instance, int serviceCode, int length,
                                 std::uint8_t* buffer)
{
    if (!open_ || buffer == nullptr) {
        return -1;
    }
    const Deadline deadline = Deadline::ForCall(clock_.TickCount(), kReceiveTimeout);
    // Drain: after the wait, whatever is pending is stale and thrown away.
    clock_.Sleep(kDrainWait);
    Frame stale;
    for (std::size_t n = 0; n < CanPort::kDrainLimit && Receive(stale) == 0; ++n) {
    }

    const auto dataLength = static_cast<std::uint16_t>(length);
    if (dataLength > 128 || nodeAddress < 0 || nodeAddress > kMaxMacId) {
        return -1;
    }
    const auto service = static_cast<std::uint8_t>(serviceCode);
    std::array<std::uint8_t, 3 + 128> body{service, static_cast<std::uint8_t>(classId),
                                           static_cast<std::uint8_t>(instance)};
    std::memcpy(body.data() + 3, buffer, dataLength);
    if (const std::int32_t rc = SendRequest(nodeAddress, body.data(), 3u + dataLength, deadline); rc != 0) {
        return rc;
    }

    const std::uint16_t from = ExplicitResponseIdentifier(static_cast<unsigned>(nodeAddress));
    const std::uint16_t ackIdentifier = Group2Identifier(static_cast<unsigned>(nodeAddress), Group2Message::ExplicitRequest);
    const AnswerFit fit(from, service, AnswerFit::Shape::MayBeFragmented, std::nullopt);
    CanFrame answer;
    if (const std::int32_t rc = Await(fit, kResponseWait, deadline, answer); rc != 0) {
        return rc;
    }
    if ((answer.data[0] & kHeaderFragment) == 0) {
        ReplyBuffer::StoreFrame(buffer, answer);
        return 0;
    }
    const FromIdentifier fromNode(from);
    AnswerAssembly assembly(kReplyBodyLimit);
    for (;;) {
        const AnswerAssembly::Step step = assembly.Take(answer);
        if (step == AnswerAssembly::Step::Fail) {
            return -1;
        }
        if (const std::int32_t rc = Send(FragmentAcknowledgement(ackIdentifier, kFragmentHeader, answer.data[1])); rc != 0) {
            return rc;
        }
        if (step == AnswerAssembly::Step::Done) {
            assembly.Store(buffer);
            return 0;
        }
        if (const std::int32_t rc = Await(fromNode, kResponseWait, deadline, answer); rc != 0) {
            return rc;
        }
    }
}

} // namespace orv::cards
