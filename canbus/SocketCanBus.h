#pragma once
// Linux SocketCAN: a raw CAN socket bound to one interface, used without blocking; a wait for a
// frame sleeps in poll on the socket. The interface
// is configured outside (`ip link set IFACE type can bitrate N up`); the bit rate asked for at
// open is not applied. The kernel's own receive-queue overflows count as dropped.

#include "canbus/Bus.h"

#include <atomic>
#include <memory>
#include <string>

namespace canbus {

class SocketCanBus final : public Bus {
public:
    // Null with a message in `error` when the kernel has no CAN or the interface is missing.
    static std::unique_ptr<SocketCanBus> Open(const std::string& interface, std::string& error);

    SocketCanBus(int fd, int wakeFd);
    ~SocketCanBus() override;

    bool Send(const Frame& frame) override;
    bool TryReceive(Frame& frame) override;
    bool WaitForFrame(std::chrono::milliseconds timeout) override;
    int ReadyDescriptor() const override { return fd_; }
    void Close() override;
    BusCounters Counters() const override;

private:
    std::atomic<int> fd_{-1};
    int wakeFd_ = -1; // eventfd, readable once the bus is closed: ends every wait
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> received_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> malformed_{0};
    std::atomic<std::uint32_t> kernelDropped_{0}; // the socket's running overflow count
};

} // namespace canbus
