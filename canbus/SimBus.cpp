#include "canbus/SimBus.h"

#include "canbus/WireTime.h"

#include <algorithm>
#include <chrono>
#include <map>

namespace canbus {

std::uint64_t SteadyNanoseconds()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

namespace {

constexpr std::uint32_t kFallbackBitrate = 125000;

// The node's clock is a wrapping millisecond count.
std::uint32_t Milliseconds(std::uint64_t ns) { return static_cast<std::uint32_t>(ns / 1'000'000u); }

} // namespace

class SimEndpoint final : public Bus {
public:
    SimEndpoint(std::shared_ptr<SimBus> bus, std::size_t capacity) : bus_(std::move(bus)), rx_(capacity) {}
    ~SimEndpoint() override { Close(); }

    bool Send(const Frame& frame) override
    {
        if (!bus_) {
            ++counters_.dropped;
            return false;
        }
        return bus_->Send(*this, frame);
    }

    bool TryReceive(Frame& frame) override { return bus_ && bus_->Receive(*this, frame); }

    void Close() override
    {
        if (bus_) {
            bus_->Detach(*this);
            bus_.reset();
        }
    }

    BusCounters Counters() const override { return bus_ ? bus_->CountersOf(*this) : counters_; }

private:
    friend class SimBus;

    std::shared_ptr<SimBus> bus_;
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
    std::erase(endpoints_, &endpoint);
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
    return true;
}

bool SimBus::Receive(SimEndpoint& to, Frame& frame)
{
    const std::lock_guard lock(mutex_);
    Advance(options_.clock());
    if (!to.rx_.Pop(frame)) {
        return false;
    }
    ++to.counters_.received;
    return true;
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
};

// Only opening looks buses up (the map holds weak references), so the registry can go with the
// other statics; a library that carries this code may be unloaded, and must not leak it then.
Registry& SimRegistry()
{
    static Registry registry;
    return registry;
}

} // namespace

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

    auto device = MakeSimulatedDevice(address.node);
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
