#include "canbus/SimBus.h"

#include "canbus/WireTime.h"

#include <algorithm>
#include <chrono>
#include <map>

#include <sys/prctl.h>

namespace canbus {

namespace {

constexpr std::uint32_t kFallbackBitrate = 125000;

constexpr std::uint64_t kNsPerMs = 1'000'000u;

// The node's clock is a wrapping millisecond count.
std::uint32_t Milliseconds(std::uint64_t ns) { return static_cast<std::uint32_t>(ns / kNsPerMs); }

// A real wait until the clock reads `untilNs`. The kernel lets a timed sleep run late by the
// thread's timer slack (50 us by default) to bundle wake-ups; on a wire-timed bus that would add
// to every exchange, so the wait asks for the least slack while it lasts.
void SleepUntil(const NanoClock& clock, std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                std::uint64_t untilNs)
{
    const std::uint64_t now = clock();
    if (untilNs <= now) {
        return;
    }
    const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    wake.wait_for(lock, std::chrono::nanoseconds(untilNs - now));
    if (slack > 0) {
        ::prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
    }
}

} // namespace

class SimEndpoint final : public Bus {
public:
    SimEndpoint(std::shared_ptr<SimBus> bus, std::size_t capacity) : bus_(std::move(bus)), rx_(capacity) {}
    ~SimEndpoint() override { Close(); }

    bool Send(const Frame& frame) override
    {
        const auto bus = Joined();
        if (!bus) {
            ++counters_.dropped;
            return false;
        }
        return bus->Send(*this, frame);
    }

    bool TryReceive(Frame& frame) override
    {
        const auto bus = Joined();
        return bus && bus->Receive(*this, frame);
    }

    bool WaitForFrame(std::chrono::milliseconds timeout) override
    {
        // The copy keeps the bus alive while another thread closes this endpoint.
        const auto bus = Joined();
        return bus && bus->Wait(*this, timeout);
    }

    int ReadyDescriptor() const override { return -1; }

    void Close() override
    {
        std::shared_ptr<SimBus> bus;
        {
            const std::lock_guard lock(joinMutex_);
            bus = std::move(bus_);
        }
        if (bus) {
            bus->Detach(*this);
        }
    }

    BusCounters Counters() const override
    {
        const auto bus = Joined();
        return bus ? bus->CountersOf(*this) : counters_;
    }

private:
    friend class SimBus;

    std::shared_ptr<SimBus> Joined() const
    {
        const std::lock_guard lock(joinMutex_);
        return bus_;
    }

    mutable std::mutex joinMutex_; // guards bus_, which Close may take from another thread
    std::shared_ptr<SimBus> bus_;
    bool attached_ = true; // under the bus's mutex
    BoundedQueue<Frame> rx_;
    BusCounters counters_;
    std::uint64_t nodeFramesLostBase_ = 0;
};

std::shared_ptr<SimBus> SimBus::Create(std::unique_ptr<SimNode> node, SimBusOptions options)
{
    auto bus = std::make_shared<SimBus>(Token{}, std::move(node), std::move(options));
    bus->self_ = bus;
    return bus;
}

SimBus::SimBus(Token, std::unique_ptr<SimNode> node, SimBusOptions options)
    : options_(std::move(options)), wire_(options_.wireCapacity), node_(std::move(node))
{
    if (options_.bitrate == 0) {
        options_.bitrate = kFallbackBitrate;
    }
    if (!options_.clock) {
        options_.clock = SteadyNanoseconds;
    }
    if (!options_.sleep) {
        options_.sleep = [clock = options_.clock](std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
                                                  std::uint64_t untilNs) { SleepUntil(clock, wake, lock, untilNs); };
    }
    if (node_) {
        node_->SetSink([this](const Frame& frame) { FromNode(frame); });
    }
}

SimBus::~SimBus()
{
    node_.reset();
}

std::unique_ptr<Bus> SimBus::Attach()
{
    auto endpoint = std::make_unique<SimEndpoint>(self_.lock(), options_.receiveCapacity);
    const std::lock_guard lock(mutex_);
    endpoint->nodeFramesLostBase_ = nodeFramesLost_;
    endpoints_.push_back(endpoint.get());
    return endpoint;
}

void SimBus::Detach(SimEndpoint& endpoint)
{
    const std::lock_guard lock(mutex_);
    endpoint.counters_.dropped += nodeFramesLost_ - endpoint.nodeFramesLostBase_;
    endpoint.attached_ = false;
    std::erase(endpoints_, &endpoint);
    wake_.notify_all(); // a wait on this endpoint ends
}

BusCounters SimBus::CountersOf(const SimEndpoint& endpoint)
{
    const std::lock_guard lock(mutex_);
    BusCounters counters = endpoint.counters_;
    counters.dropped += nodeFramesLost_ - endpoint.nodeFramesLostBase_;
    return counters;
}

bool SimBus::Send(SimEndpoint& from, const Frame& frame)
{
    const std::lock_guard lock(mutex_);
    if (!IsWellFormed(frame)) {
        ++from.counters_.malformed;
        return false;
    }
    const std::uint64_t now = options_.clock();
    Advance(now);
    if (options_.wireTiming) {
        if (!PutOnWire(frame, &from, now)) {
            ++from.counters_.dropped;
            return false;
        }
    } else {
        Deliver(frame, &from);
        if (node_) {
            nodeTimeNs_ = now;
            node_->OnFrame(frame, Milliseconds(now));
        }
    }
    ++from.counters_.sent;
    WakeWaiters();
    return true;
}

bool SimBus::Receive(SimEndpoint& to, Frame& frame)
{
    const std::lock_guard lock(mutex_);
    Advance(options_.clock());
    WakeWaiters();
    if (!to.rx_.Pop(frame)) {
        return false;
    }
    ++to.counters_.received;
    return true;
}

bool SimBus::Wait(SimEndpoint& to, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    const auto timeoutMs = static_cast<std::uint64_t>(std::max<std::int64_t>(timeout.count(), 0));
    const std::uint64_t deadline = options_.clock() + timeoutMs * kNsPerMs;
    for (;;) {
        const std::uint64_t now = options_.clock();
        Advance(now);
        WakeWaiters();
        if (!to.rx_.Empty()) {
            return true;
        }
        if (!to.attached_ || now >= deadline) {
            return false;
        }
        ++waiters_;
        options_.sleep(wake_, lock, NextEventNs(now, deadline));
        --waiters_;
    }
}

std::uint64_t SimBus::NextEventNs(std::uint64_t nowNs, std::uint64_t limitNs) const
{
    std::uint64_t next = limitNs;
    if (!wire_.Empty()) {
        next = std::min(next, wire_.Front().dueNs);
    }
    if (node_) {
        // The node has been polled in this millisecond (Advance): its next poll is at the start of
        // a later one.
        if (const auto in = node_->NextTimer(Milliseconds(nowNs))) {
            const std::uint64_t thisMs = nowNs - nowNs % kNsPerMs;
            next = std::min(next, thisMs + std::max<std::uint64_t>(*in, 1) * kNsPerMs);
        }
    }
    return std::max(next, nowNs);
}

void SimBus::WakeWaiters()
{
    if (moved_ && waiters_ > 0) {
        wake_.notify_all();
    }
    moved_ = false;
}

void SimBus::Advance(std::uint64_t nowNs)
{
    // Frames the node answers with while a frame is delivered join the queue behind it, so the
    // loop also delivers answers that are already due.
    while (!wire_.Empty() && wire_.Front().dueNs <= nowNs) {
        InFlight passed;
        wire_.Pop(passed);
        Deliver(passed.frame, passed.sender);
        if (passed.sender != this && node_) {
            nodeTimeNs_ = passed.dueNs;
            node_->OnFrame(passed.frame, Milliseconds(passed.dueNs));
        }
    }
    PollNode(nowNs);
}

void SimBus::PollNode(std::uint64_t nowNs)
{
    // The node's timers count milliseconds: within one millisecond there is nothing new to run.
    const std::uint32_t nowMs = Milliseconds(nowNs);
    if (!node_ || (polled_ && nowMs == lastPollMs_)) {
        return;
    }
    polled_ = true;
    lastPollMs_ = nowMs;
    nodeTimeNs_ = nowNs;
    node_->Poll(nowMs);
}

void SimBus::Deliver(const Frame& frame, const void* sender)
{
    moved_ = true;
    for (SimEndpoint* endpoint : endpoints_) {
        if (endpoint != sender && !endpoint->rx_.Push(frame)) {
            ++endpoint->counters_.dropped;
        }
    }
}

bool SimBus::PutOnWire(const Frame& frame, const void* sender, std::uint64_t atNs)
{
    const std::uint64_t start = std::max(atNs, wireFreeNs_);
    const std::uint64_t due = start + WireTimeNs(frame, options_.bitrate);
    if (!wire_.Push(InFlight{frame, sender, due})) {
        return false;
    }
    moved_ = true;
    wireFreeNs_ = due;
    return true;
}

void SimBus::FromNode(const Frame& frame)
{
    if (!IsWellFormed(frame)) {
        return; // a node's fault; nothing to hand on
    }
    if (options_.wireTiming) {
        if (!PutOnWire(frame, this, nodeTimeNs_)) {
            ++nodeFramesLost_;
        }
    } else {
        Deliver(frame, this);
    }
}

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<SimBus>> buses;
    SimNodeFactory nodeFactory;
};

// Only opening looks buses up (the map holds weak references), so the registry can go with the
// other statics; a library that carries this code may be unloaded, and must not leak it then.
Registry& SimRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

void SetSimNodeFactory(SimNodeFactory factory)
{
    Registry& registry = SimRegistry();
    const std::lock_guard lock(registry.mutex);
    registry.nodeFactory = std::move(factory);
}

std::unique_ptr<Bus> OpenSimBus(const BusAddress& address, std::uint32_t bitrate, std::string& error)
{
    if (address.wireTiming && bitrate == 0) {
        error = "the sim bus with timing=wire needs a bit rate";
        return nullptr;
    }
    std::string key = "node=" + std::to_string(address.node);
    if (address.wireTiming) {
        key += ",timing=wire";
    }

    Registry& registry = SimRegistry();
    const std::lock_guard lock(registry.mutex);
    std::erase_if(registry.buses, [](const auto& entry) { return entry.second.expired(); });
    if (const auto found = registry.buses.find(key); found != registry.buses.end()) {
        const auto bus = found->second.lock();
        if (address.wireTiming && bus->Options().bitrate != bitrate) {
            error = "sim bus '" + key + "' already runs at " + std::to_string(bus->Options().bitrate) +
                    " bit/s, not " + std::to_string(bitrate);
            return nullptr;
        }
        return bus->Attach();
    }

    if (!registry.nodeFactory) {
        error = "no simulated device is registered for the sim bus in this program";
        return nullptr;
    }
    auto device = registry.nodeFactory(address.node);
    if (!device) {
        error = "no simulated device for MAC ID " + std::to_string(address.node);
        return nullptr;
    }
    SimBusOptions options;
    options.wireTiming = address.wireTiming;
    options.bitrate = bitrate;
    auto bus = SimBus::Create(std::move(device), std::move(options));
    registry.buses[key] = bus;
    return bus->Attach();
}

} // namespace canbus
