#pragma once
// A bus shared between processes over TCP, in the line protocol of Qt SerialBus's virtualcan
// plugin (see VirtualCanLine.h), so Qt programs such as canbusutil join it.
//
// The first endpoint to listen on HOST:PORT is the hub (TcpHub.h); every other endpoint, in this
// process or another, connects to it as a client (TcpLink.h) and subscribes with "connect:canN".
// When the hub goes away its clients try again every `retryMs`: one of them becomes the new hub,
// the others connect to it. A client the hub turns away because it is full fails to open, saying
// so; one turned away while it rejoins keeps trying every `retryMs`. An endpoint opened `joinOnly`
// (a listener) only ever connects: it fails to open when no hub listens, and while the hub is gone
// it keeps trying to connect, leaving the hub to the others.
//
// A background thread per endpoint does all socket I/O, so the hub relays while its process is
// busy elsewhere; it sleeps in poll until a socket has something, and wakes a thread waiting for a
// frame once when the receive queue fills. Send writes what the socket takes at once and leaves
// the rest to that thread; it never waits. Lines that are no frame are counted as malformed and
// skipped; frames a full queue or buffer cannot take are counted as dropped.

#include "canbus/Bus.h"
#include "canbus/BusString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace canbus {

class TcpBus final : public Bus {
public:
    struct Limits {
        std::size_t receiveCapacity = 4096;  // frames waiting for TryReceive
        std::size_t sendBuffer = 64 * 1024;  // bytes waiting for one slow connection
        std::size_t maxConnections = 64;     // clients one hub serves
        std::size_t maxPending = 16;         // connections waiting to join a hub
        std::size_t maxChannels = 8;         // channels one client of a hub subscribes to
        std::uint32_t retryMs = 100;         // between attempts to rejoin a lost bus
        std::uint32_t verdictMs = 100;       // a client opening waits this long to be turned away
        bool joinOnly = false;               // connect to the hub only, never become it
    };

    // Becomes the hub or connects to it (only connects when `joinOnly`). Null with a message in `error` when neither works.
    static std::unique_ptr<TcpBus> Open(const BusAddress& address, std::string& error, Limits limits);
    static std::unique_ptr<TcpBus> Open(const BusAddress& address, std::string& error)
    {
        return Open(address, error, Limits{});
    }

    ~TcpBus() override;

    bool Send(const Frame& frame) override;
    bool TryReceive(Frame& frame) override;
    bool WaitForFrame(std::chrono::milliseconds timeout) override;
    int ReadyDescriptor() const override;
    void Close() override;
    BusCounters Counters() const override;

    bool IsHub() const;
    // Hub: connections subscribed to this endpoint's channel. Client: 1 while connected, else 0.
    std::size_t Subscribers() const;

    struct Impl;
    explicit TcpBus(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace canbus
