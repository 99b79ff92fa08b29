#pragma once
// One small bus interface and the buses chosen by a bus string:
//   sim | sim:node=N[,timing=wire]    in-process bus with a simulated Brelin at MAC ID N (63)
//   tcp://HOST:PORT/canN              bus shared between processes (Qt virtualcan line protocol)
//   socketcan:IFACE                   Linux SocketCAN raw socket

#include "canbus/Frame.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace canbus {

struct BusCounters {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    std::uint64_t dropped = 0;   // frames a full queue or a refusing peer cost
    std::uint64_t malformed = 0; // frames refused for their form (length above 8, bad line, ...)
};

// What a bus has to say about itself beside its frames, one line for a person to read.
struct BusNotice {
    enum class Kind {
        Lost,    // the bus's interface went away or down; the bus tries to take it up again
        Back,    // the interface is there again and the bus carries frames again
        Dropped, // frames were lost on the way in (`frames` of them)
    };
    Kind kind = Kind::Lost;
    std::uint64_t frames = 0;
    std::string text; // names the bus and the cause, e.g. "socketcan:can0: interface lost (ENODEV: ...)"
};

class Bus {
public:
    virtual ~Bus() = default;

    // Queues one frame for the bus; never blocks for long. False when refused (closed, malformed,
    // queue full), and the refusal is counted.
    virtual bool Send(const Frame& frame) = 0;

    // Takes one received frame without waiting. False when none is pending.
    virtual bool TryReceive(Frame& frame) = 0;

    // Blocks until a frame is pending, `timeout` has passed or the bus is closed, whichever comes
    // first; true when a frame is pending. The thread sleeps meanwhile.
    virtual bool WaitForFrame(std::chrono::milliseconds timeout) = 0;

    // A descriptor that polls readable while a frame is pending or the bus has work for
    // TryReceive (an error to take, a reopen that is due), for a program that waits on the bus and
    // other things in one poll; -1 where the bus has none (the in-process sim bus). It stays the
    // same descriptor for the life of the bus.
    virtual int ReadyDescriptor() const = 0;

    // Takes the oldest notice the bus has not yet handed out, without waiting. False when there is
    // none. A bus keeps a few of them; a caller that never asks loses the oldest, nothing else.
    // A notice made while a thread waits in WaitForFrame ends that wait.
    virtual bool TakeNotice(BusNotice& notice)
    {
        (void)notice;
        return false;
    }

    // Leaves the bus. May come from another thread while one waits in WaitForFrame: the wait ends.
    virtual void Close() = 0;

    virtual BusCounters Counters() const = 0;
};

struct OpenOptions {
    // A tcp:// bus is joined as a client only: the opener never becomes its hub, now or when the
    // hub goes away (a listener such as a bus monitor must not keep a bus up or take it over).
    bool joinOnly = false;
};

// Opens the bus a bus string names, at `bitrate` bits per second (used by timed buses). On failure
// returns null and sets `error` to a one-line message that says what is wrong and what forms exist.
std::unique_ptr<Bus> OpenBus(std::string_view busString, std::uint32_t bitrate, std::string& error,
                             const OpenOptions& options);
inline std::unique_ptr<Bus> OpenBus(std::string_view busString, std::uint32_t bitrate, std::string& error)
{
    return OpenBus(busString, bitrate, error, OpenOptions{});
}

} // namespace canbus
