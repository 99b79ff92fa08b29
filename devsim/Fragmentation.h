#pragma once
// The two fragmentation protocols of DeviceNet as the slave runs them.
//
// Explicit messages: each fragment is header (Frag bit set), fragmentation byte (type in bits
// 7..6: first, middle, last, ack; count in bits 5..0), up to six body bytes; the receiver
// acknowledges every fragment with the same count and a status, and the sender waits for that
// acknowledgement before the next fragment.
// I/O messages: each fragment is fragmentation byte, up to seven data bytes; no acknowledgements.

#include "devsim/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace devsim {

// Malformed fragment sequences the device sends on request, to test masters.
enum class FragmentFault : std::uint8_t {
    None,
    SkipCount,    // the counts after the first fragment jump by one (0, 2, 3, ...)
    MissingFirst, // the first fragment is typed middle
    Truncate,     // only the first fragment goes out
};

// The data bytes of one CAN frame.
struct Payload {
    std::array<std::uint8_t, 8> bytes{};
    std::uint8_t length = 0;

    void Push(std::uint8_t byte) { bytes[length++] = byte; }
};

// Reassembles a fragmented explicit request.
class RequestReassembly {
public:
    struct Step {
        bool acknowledge = false; // acknowledge fragment `count` with `status`
        std::uint8_t count = 0;
        std::uint8_t status = 0;
        bool complete = false; // Body() now holds the whole request
    };

    // One fragment: `frame` is the whole frame (header, fragmentation byte, body bytes). A request
    // whose body would pass `limit` bytes is refused with the too-much-data status.
    Step OnFragment(ByteView frame, std::uint32_t nowMs, std::size_t limit);
    void Abort() { active_ = false; }
    bool Active() const { return active_; }
    bool Expired(std::uint32_t nowMs, std::uint32_t timeoutMs) const
    {
        return active_ && nowMs - lastMs_ >= timeoutMs;
    }
    // Milliseconds until Expired; nullopt while no request is being reassembled.
    std::optional<std::uint32_t> ExpiresIn(std::uint32_t nowMs, std::uint32_t timeoutMs) const;
    const Bytes& Body() const { return body_; }
    std::uint8_t Header() const { return header_; }

private:
    Bytes body_;
    bool active_ = false;
    std::uint8_t header_ = 0;
    std::uint8_t lastCount_ = 0;
    std::uint32_t lastMs_ = 0;
};

// Sends a fragmented explicit response, one fragment per acknowledgement.
class ResponseSender {
public:
    enum class AckResult { Ignored, Next, Done, Aborted };
    enum class TimerResult { Nothing, Resend, GiveUp };

    // Starts the response; Current() is then the first fragment.
    void Start(std::uint8_t header, Bytes body, std::uint32_t nowMs, FragmentFault fault);
    void Abort() { active_ = false; }
    bool Active() const { return active_; }

    // The fragment waiting for its acknowledgement.
    Payload Current() const;

    // An acknowledgement of `count` with `status`: Next when Current() is the next fragment to send.
    AckResult OnAck(std::uint8_t count, std::uint8_t status, std::uint32_t nowMs);
    // Without an acknowledgement within `timeoutMs` the fragment goes once more, then the response
    // is given up.
    TimerResult OnTime(std::uint32_t nowMs, std::uint32_t timeoutMs);
    // Milliseconds until OnTime has something to do; nullopt while no response is under way.
    std::optional<std::uint32_t> TimerIn(std::uint32_t nowMs, std::uint32_t timeoutMs) const;

private:
    std::uint8_t CountOf(std::size_t index) const;

    Bytes body_;
    std::uint8_t header_ = 0;
    std::size_t index_ = 0; // fragment number
    std::size_t offset_ = 0;
    bool active_ = false;
    bool resent_ = false;
    std::uint32_t sentMs_ = 0;
    FragmentFault fault_ = FragmentFault::None;
};

// Reassembles a fragmented poll command.
class IoReassembly {
public:
    enum class Result { Pending, Complete, Discarded };
    Result OnFrame(ByteView frame, std::size_t limit);
    const Bytes& Data() const { return data_; }

private:
    Bytes data_;
    bool active_ = false;
    std::uint8_t lastCount_ = 0;
};

// Cuts I/O data into fragments.
std::vector<Payload> SplitIo(ByteView data, FragmentFault fault);

} // namespace devsim
