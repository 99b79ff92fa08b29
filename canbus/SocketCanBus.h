#pragma once
// Linux SocketCAN: a raw CAN socket bound to one interface, used without blocking. The interface
// is configured outside (`ip link set IFACE up type can bitrate N`); the bit rate asked for at
// open is not applied, and an interface that is down is refused at open, naming ENETDOWN.
//
// An interface that goes away or down while the bus is open (an adapter unplugged) is reported at
// once, as a Lost notice naming the error; the bus then tries every `retryMs` to open it again,
// woken by a timer behind its ready descriptor, and says Back when it has. Frames sent meanwhile
// are refused and counted as dropped. The kernel's receive-queue overflows count as dropped: from
// the count a frame carries, and, for drops no frame follows, from the socket's own count, read
// whenever the queue runs dry after frames and at close; each rise is a Dropped notice.
//
// One thread receives at a time (TryReceive, WaitForFrame); Send and Close may come from any.

#include "canbus/Bus.h"
#include "canbus/NanoClock.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace canbus {

class CanSocketLayer;

struct SocketCanOptions {
    std::uint32_t retryMs = 100;       // between attempts to open a lost interface again
    std::size_t noticeCapacity = 16;   // notices kept for TakeNotice; the oldest go first
    NanoClock clock;                   // SteadyNanoseconds when empty
    CanSocketLayer* sockets = nullptr; // SystemCanSockets() when null; must outlive the bus
};

class SocketCanBus final : public Bus {
public:
    // Null with a message in `error`, beginning "socketcan:IFACE: ", when the kernel has no CAN,
    // the interface is missing or down, or the socket cannot be bound.
    static std::unique_ptr<SocketCanBus> Open(const std::string& interface, std::string& error,
                                              SocketCanOptions options = {});

    ~SocketCanBus() override;

    bool Send(const Frame& frame) override;
    bool TryReceive(Frame& frame) override;
    bool WaitForFrame(std::chrono::milliseconds timeout) override;
    int ReadyDescriptor() const override { return epollFd_; }
    void Close() override;
    BusCounters Counters() const override;
    bool TakeNotice(BusNotice& notice) override;

private:
    SocketCanBus(const std::string& interface, SocketCanOptions options, CanSocketLayer& sockets, int fd,
                 int epollFd, int wakeFd, int timerFd);

    // All of these run with mutex_ held.
    void Service();          // a due reopen, then one frame into held_ if the socket has one
    bool ReadOne(Frame& frame);
    void Adopt(int fd);
    void Lose(int cause);
    void RetryIfDue();
    void ArmTimer(std::uint64_t inNs);
    void DisarmTimer();
    void ReadDropCount();
    void TakeDropCount(std::uint32_t count);
    void Notify(BusNotice notice);

    const std::string interface_;
    const std::string where_; // "socketcan:IFACE", the head of every message
    const SocketCanOptions options_;
    CanSocketLayer& sockets_;
    const int epollFd_; // the ready descriptor: the socket while open, the reopen timer while lost
    const int wakeFd_;  // eventfd, readable once the bus is closed: ends every wait
    const int timerFd_;
    std::atomic<bool> closed_{false};

    mutable std::mutex mutex_;
    int fd_ = -1;                   // the socket; -1 while lost or closed
    bool lost_ = false;
    bool timerArmed_ = false;
    std::uint64_t retryAtNs_ = 0;
    bool readSinceDry_ = false;     // frames came since the queue last ran dry
    std::optional<Frame> held_;     // taken by WaitForFrame, handed out by TryReceive
    std::uint32_t kernelDropped_ = 0; // the socket's running drop count, as last read
    BusCounters counters_;
    std::deque<BusNotice> notices_;
    std::uint64_t noticesMade_ = 0;
};

} // namespace canbus
