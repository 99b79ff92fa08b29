#pragma once
// The in-process bus: any number of endpoints and at most one SimNode on one simulated wire.
// Nothing runs on its own: time passes, due frames are delivered and the node is polled inside
// Send, TryReceive and WaitForFrame. A thread waiting for a frame sleeps until the next moment
// something can happen on the bus (a frame's last bit passes, the node's next timer runs), until
// another endpoint sends, or until its endpoint closes. Each endpoint sees the frames of the other
// endpoints and of the node, never its own; the node sees the frames of all endpoints.
//
// Timing: at once (a frame reaches every receive queue before Send returns), or `wireTiming`, where
// the bus is one wire at `bitrate`: a frame starts when the wire is free (first in, first out, no
// arbitration by identifier) and arrives when its last bit has passed (see WireTime.h).
//
// Several threads may use different endpoints of one bus; one endpoint belongs to one thread at a
// time, except that any thread may close it. The node is called with the bus locked and must call
// its sink only from within OnFrame and Poll.

#include "canbus/BusString.h"
#include "canbus/Bus.h"
#include "canbus/BoundedQueue.h"
#include "canbus/NanoClock.h"
#include "canbus/SimNode.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace canbus {

// Blocks on `wake`, whose mutex `lock` holds, until it is notified or the bus clock reads
// `untilNs`; may return early. The sim bus sleeps through this, so that tests can run its waits
// on a fake clock.
using NanoSleep =
    std::function<void(std::condition_variable& wake, std::unique_lock<std::mutex>& lock, std::uint64_t untilNs)>;

struct SimBusOptions {
    bool wireTiming = false;
    std::uint32_t bitrate = 125000;     // bits per second on the wire; 0 counts as 125000
    std::size_t receiveCapacity = 1024; // frames an endpoint holds before it drops
    std::size_t wireCapacity = 1024;    // frames waiting for the wire before senders are refused
    NanoClock clock;                    // SteadyNanoseconds when empty
    NanoSleep sleep;                    // a real wait for the clock's difference when empty
};

class SimEndpoint;

class SimBus {
public:
    // The node may be null: a bus of endpoints only.
    static std::shared_ptr<SimBus> Create(std::unique_ptr<SimNode> node, SimBusOptions options);
    ~SimBus();

    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // A new endpoint; the bus lives while any endpoint holds it.
    std::unique_ptr<Bus> Attach();

    const SimBusOptions& Options() const { return options_; }

private:
    friend class SimEndpoint;
    struct Token {};

    struct InFlight {
        Frame frame;
        const void* sender = nullptr; // the sending endpoint, or the bus itself for the node
        std::uint64_t dueNs = 0;
    };

public:
    SimBus(Token, std::unique_ptr<SimNode> node, SimBusOptions options);

private:
    bool Send(SimEndpoint& from, const Frame& frame);
    bool Receive(SimEndpoint& to, Frame& frame);
    bool Wait(SimEndpoint& to, std::chrono::milliseconds timeout);
    void Detach(SimEndpoint& endpoint);
    BusCounters CountersOf(const SimEndpoint& endpoint);

    // All of these run with mutex_ held.
    void Advance(std::uint64_t nowNs);
    void PollNode(std::uint64_t nowNs);
    void Deliver(const Frame& frame, const void* sender);
    bool PutOnWire(const Frame& frame, const void* sender, std::uint64_t atNs);
    void FromNode(const Frame& frame);
    // The next moment at or after `nowNs` when Advance has something to do; `limitNs` at most.
    std::uint64_t NextEventNs(std::uint64_t nowNs, std::uint64_t limitNs) const;
    // Wakes the waiting threads when frames moved since the last call.
    void WakeWaiters();

    std::weak_ptr<SimBus> self_;
    SimBusOptions options_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::size_t waiters_ = 0;
    bool moved_ = false; // a frame was delivered or put on the wire since waiters were last woken
    std::vector<SimEndpoint*> endpoints_;
    BoundedQueue<InFlight> wire_;
    std::uint64_t wireFreeNs_ = 0;  // when the frame last put on the wire has passed
    std::uint64_t nodeTimeNs_ = 0;  // the moment the node is acting at
    std::uint32_t lastPollMs_ = 0;
    bool polled_ = false;
    std::uint64_t nodeFramesLost_ = 0; // node frames refused by a full wire queue
    std::unique_ptr<SimNode> node_;    // last: goes first, while the bus it sends into still exists
};

// An endpoint of the sim bus of this process that `address` names (a sim address), created with
// the registered node (see SetSimNodeFactory) when no endpoint holds it. Null with a message in
// `error` when refused.
std::unique_ptr<Bus> OpenSimBus(const BusAddress& address, std::uint32_t bitrate, std::string& error);

} // namespace canbus
