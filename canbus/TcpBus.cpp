#include "canbus/TcpBus.h"

#include "canbus/BoundedQueue.h"
#include "canbus/LineConnection.h"
#include "canbus/TcpHub.h"
#include "canbus/TcpLink.h"
#include "canbus/TcpSocket.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace canbus {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 1000;
constexpr int kEstablishAttempts = 3;

} // namespace

struct TcpBus::Impl final : EndpointSink {
    BusAddress address;
    Limits limits;
    SocketAddress socketAddress;
    std::string channel; // "canN"

    mutable std::mutex io; // the role and everything of the hub or the link
    std::unique_ptr<TcpHub> hub;
    std::unique_ptr<TcpLink> link;
    SteadyClock::time_point retryAt{};

    mutable std::mutex rxMutex;
    BoundedQueue<Frame> rx;
    int readyFd = -1; // eventfd, readable while `rx` holds a frame or the bus is closed; under rxMutex

    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> received{0};
    std::atomic<std::uint64_t> dropped{0};
    std::atomic<std::uint64_t> malformed{0};

    int wakeFd = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> closed{false};

    Impl(const BusAddress& a, Limits l)
        : address(a), limits(l), channel("can" + std::to_string(a.channel)), rx(l.receiveCapacity)
    {
    }

    ~Impl()
    {
        Shutdown();
        CloseFd(wakeFd);
        CloseFd(readyFd);
    }

    std::string Where() const { return address.host + ":" + std::to_string(address.port); }

    // EndpointSink, called by the hub and the link with `io` held.
    void Deliver(const Frame& frame) override
    {
        const std::lock_guard lock(rxMutex);
        if (!rx.Push(frame)) {
            ++dropped;
        } else if (rx.Size() == 1) {
            SignalReady(); // one wake-up when the queue fills, none for the frames behind
        }
    }
    void CountMalformed() override { ++malformed; }
    void CountDropped() override { ++dropped; }
    void Wake() override
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    }

    // With rxMutex held: readyFd follows whether a waiter has anything to wake up for.
    void SignalReady() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(readyFd, &one, sizeof one);
    }
    void ClearReady() const
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(readyFd, &count, sizeof count);
    }

    TcpHub::Limits HubLimits() const
    {
        return {limits.maxConnections, limits.maxPending, limits.maxChannels, limits.sendBuffer};
    }

    // Becomes the hub, else connects to it (only connects when joinOnly). Called by Open and by the I/O thread while the bus is
    // down, never both at once.
    bool Establish(std::string& error)
    {
        int lastError = 0;
        for (int attempt = 0; attempt < kEstablishAttempts; ++attempt) {
            if (!limits.joinOnly) {
                if (const int fd = ListenOn(socketAddress); fd >= 0) {
                    const std::lock_guard lock(io);
                    hub = std::make_unique<TcpHub>(fd, channel, HubLimits(), *this);
                    return true;
                }
                lastError = errno;
                if (lastError != EADDRINUSE && lastError != EADDRNOTAVAIL) {
                    break;
                }
            }
            if (const int fd = ConnectTo(socketAddress, kConnectTimeoutMs); fd >= 0) {
                const std::lock_guard lock(io);
                link = std::make_unique<TcpLink>(fd, channel, limits.sendBuffer, *this);
                return true;
            }
            lastError = errno;
            if (lastError != ECONNREFUSED) {
                break;
            }
            // Refused right after the port was found taken: the hub is just starting or going.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        error = (limits.joinOnly ? "no hub to join at " : "cannot listen on or connect to ") + Where() + " (" +
                ErrnoText(lastError) + ")";
        return false;
    }

    // The link ended: try again at once, one of the former clients becomes the hub; a link the
    // hub turned away waits before it knocks again. With `io` held.
    void LoseLink()
    {
        const bool refused = link->Refused();
        link.reset();
        retryAt = SteadyClock::now() + std::chrono::milliseconds(refused ? limits.retryMs : 0);
    }

    void Run()
    {
        std::vector<pollfd> fds;
        while (!stopping) {
            fds.clear();
            fds.push_back({wakeFd, POLLIN, 0});
            int timeoutMs = -1;
            bool down = false;
            {
                const std::lock_guard lock(io);
                if (link && link->Dead()) {
                    LoseLink();
                }
                if (hub) {
                    hub->Prepare(fds);
                } else if (link) {
                    link->Prepare(fds);
                } else {
                    down = true;
                    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(retryAt - SteadyClock::now());
                    timeoutMs = static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, limits.retryMs));
                }
            }

            ::poll(fds.data(), fds.size(), timeoutMs);
            if (stopping) {
                break;
            }
            if (fds[0].revents != 0) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = ::read(wakeFd, &count, sizeof count);
            }

            if (down) {
                if (SteadyClock::now() >= retryAt) {
                    std::string ignored;
                    if (!Establish(ignored)) {
                        retryAt = SteadyClock::now() + std::chrono::milliseconds(limits.retryMs);
                    }
                }
                continue;
            }

            const std::lock_guard lock(io);
            const std::span<const pollfd> entries(fds.data() + 1, fds.size() - 1);
            if (hub) {
                hub->Handle(entries);
            } else if (link) {
                link->Handle(entries);
            }
        }
    }

    // Stops the thread and leaves the bus: a client says goodbye as Qt's clients do.
    void Shutdown()
    {
        stopping = true;
        if (thread.joinable()) {
            Wake();
            thread.join();
        }
        const std::lock_guard lock(io);
        if (link) {
            link->Leave();
        }
        link.reset();
        hub.reset();
    }
};

std::unique_ptr<TcpBus> TcpBus::Open(const BusAddress& address, std::string& error, Limits limits)
{
    auto impl = std::make_unique<Impl>(address, limits);
    impl->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    impl->readyFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (impl->wakeFd < 0 || impl->readyFd < 0) {
        error = "cannot create an event descriptor (" + ErrnoText(errno) + ")";
        return nullptr;
    }
    const std::string where = "tcp bus " + impl->Where() + "/" + impl->channel + ": ";
    std::string why;
    if (!ResolveAddress(address.host, address.port, impl->socketAddress, why) || !impl->Establish(why)) {
        error = where + why;
        return nullptr;
    }
    {
        // No thread runs yet: the link is this one's alone.
        const std::lock_guard lock(impl->io);
        if (impl->link && !impl->link->AwaitVerdict(std::chrono::milliseconds(limits.verdictMs))) {
            error = where + "the hub on " + impl->Where() + " is full: it serves as many clients as it takes";
            return nullptr;
        }
    }
    Impl* raw = impl.get();
    raw->thread = std::thread([raw] { raw->Run(); });
    return std::make_unique<TcpBus>(std::move(impl));
}

TcpBus::TcpBus(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

TcpBus::~TcpBus() { Close(); }

bool TcpBus::Send(const Frame& frame)
{
    Impl& d = *impl_;
    if (d.closed) {
        ++d.dropped;
        return false;
    }
    if (!IsWellFormed(frame)) {
        ++d.malformed;
        return false;
    }
    const std::lock_guard lock(d.io);
    if (d.hub) {
        d.hub->Send(frame);
        ++d.sent;
        return true;
    }
    if (d.link && d.link->Send(frame)) {
        ++d.sent;
        return true;
    }
    ++d.dropped;
    return false;
}

bool TcpBus::TryReceive(Frame& frame)
{
    Impl& d = *impl_;
    {
        const std::lock_guard lock(d.rxMutex);
        if (!d.rx.Pop(frame)) {
            return false;
        }
        if (d.rx.Empty() && !d.closed) {
            d.ClearReady();
        }
    }
    ++d.received;
    return true;
}

bool TcpBus::WaitForFrame(std::chrono::milliseconds timeout)
{
    const Impl& d = *impl_;
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        {
            const std::lock_guard lock(d.rxMutex);
            if (!d.rx.Empty()) {
                return true;
            }
            if (d.closed) {
                return false;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd ready{d.readyFd, POLLIN, 0};
        const timespec wait{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        ::ppoll(&ready, 1, &wait, nullptr);
    }
}

int TcpBus::ReadyDescriptor() const { return impl_->readyFd; }

void TcpBus::Close()
{
    Impl& d = *impl_;
    {
        const std::lock_guard lock(d.rxMutex);
        if (d.closed.exchange(true)) {
            return;
        }
        d.SignalReady(); // ends every wait, now and later
    }
    d.Shutdown();
}

BusCounters TcpBus::Counters() const
{
    return BusCounters{impl_->sent, impl_->received, impl_->dropped, impl_->malformed};
}

bool TcpBus::IsHub() const
{
    const std::lock_guard lock(impl_->io);
    return impl_->hub != nullptr;
}

std::size_t TcpBus::Subscribers() const
{
    const Impl& d = *impl_;
    const std::lock_guard lock(d.io);
    if (d.link) {
        return d.link->Dead() ? 0 : 1;
    }
    return d.hub ? d.hub->Subscribers() : 0;
}

} // namespace canbus
