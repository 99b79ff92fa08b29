#include "canbus/TcpBus.h"

#include "canbus/BoundedQueue.h"
#include "canbus/VirtualCanLine.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace canbus {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest line accepted: a frame line is at most "canNNNNNNNNNN:" plus kMaxFrameText, and Qt's own
// lines with every flag fit easily; longer lines are malformed anyway.
constexpr std::size_t kMaxLine = 256;
constexpr int kConnectTimeoutMs = 1000;
constexpr int kEstablishAttempts = 3;
constexpr int kReadsPerWakeup = 16;

struct Connection {
    int fd = -1;
    LineReader reader{kMaxLine};
    std::string out;
    std::size_t outPos = 0;
    std::vector<std::string> channels; // hub side: what the peer subscribed to
    bool dead = false;

    bool Subscribed(std::string_view channel) const
    {
        return std::find(channels.begin(), channels.end(), channel) != channels.end();
    }
    bool Pending() const { return outPos < out.size(); }
};

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string ErrnoText(int error) { return std::strerror(error); }

} // namespace

struct TcpBus::Impl {
    enum class Role { Down, Hub, Client };

    BusAddress address;
    Limits limits;
    sockaddr_storage socketAddress{};
    socklen_t socketAddressLength = 0;
    std::string channel; // "canN"

    mutable std::mutex io; // role, sockets and their buffers
    Role role = Role::Down;
    int listenFd = -1;
    std::vector<std::unique_ptr<Connection>> peers; // hub
    Connection link;                                // client
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

    Impl(const BusAddress& a, Limits l) : address(a), limits(l), channel("can" + std::to_string(a.channel)), rx(l.receiveCapacity) {}

    ~Impl()
    {
        Shutdown();
        CloseFd(wakeFd);
        CloseFd(readyFd);
    }

    std::string Where() const
    {
        return address.host + ":" + std::to_string(address.port);
    }

    bool Resolve(std::string& error)
    {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(address.port);
        // IPv4 first: Qt's hub listens on 127.0.0.1, and a hub of ours on ::1 would not keep it out.
        hints.ai_family = AF_INET;
        int status = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
        if (status != 0) {
            hints.ai_family = AF_UNSPEC;
            status = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
        }
        if (status != 0 || found == nullptr) {
            error = "cannot resolve host '" + address.host + "': " + ::gai_strerror(status);
            return false;
        }
        std::memcpy(&socketAddress, found->ai_addr, found->ai_addrlen);
        socketAddressLength = found->ai_addrlen;
        ::freeaddrinfo(found);
        return true;
    }

    // A listening socket on the bus address, or -1 with errno set.
    int TryListen() const
    {
        const int fd = ::socket(socketAddress.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&socketAddress), socketAddressLength) != 0 ||
            ::listen(fd, SOMAXCONN) != 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        return fd;
    }

    // A connected socket to the bus address, or -1 with errno set.
    int TryConnect() const
    {
        const int fd = ::socket(socketAddress.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return -1;
        }
        int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&socketAddress), socketAddressLength);
        if (result != 0 && errno == EINPROGRESS) {
            pollfd pending{fd, POLLOUT, 0};
            result = ::poll(&pending, 1, kConnectTimeoutMs);
            int error = ETIMEDOUT;
            if (result == 1) {
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            }
            if (error != 0) {
                errno = error;
                result = -1;
            } else {
                result = 0;
            }
        }
        if (result != 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }

    // Becomes the hub, else connects to it. Called without `io` held, by Open and by the I/O
    // thread while the bus is down.
    bool Establish(std::string& error)
    {
        int lastError = 0;
        for (int attempt = 0; attempt < kEstablishAttempts; ++attempt) {
            if (!limits.joinOnly) {
                if (const int fd = TryListen(); fd >= 0) {
                    const std::lock_guard lock(io);
                    listenFd = fd;
                    role = Role::Hub;
                    return true;
                }
                lastError = errno;
                if (lastError != EADDRINUSE && lastError != EADDRNOTAVAIL) {
                    break;
                }
            }
            if (const int fd = TryConnect(); fd >= 0) {
                const std::lock_guard lock(io);
                link = Connection{};
                link.fd = fd;
                role = Role::Client;
                const std::string hello = "connect:" + channel + "\n";
                Queue(link, hello);
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

    void Wake() const
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    }

    // Sends what the socket takes now and keeps the rest for the I/O thread. False, with nothing
    // kept, when the connection is dead or its buffer is full. With `io` held.
    bool Queue(Connection& connection, std::string_view bytes)
    {
        if (connection.dead) {
            return false;
        }
        if (connection.Pending()) {
            if (connection.out.size() - connection.outPos + bytes.size() > limits.sendBuffer) {
                return false;
            }
            connection.out.append(bytes);
            return true;
        }
        const ssize_t written = ::send(connection.fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        std::size_t done = 0;
        if (written >= 0) {
            done = static_cast<std::size_t>(written);
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            connection.dead = true;
            Wake();
            return false;
        }
        if (done < bytes.size()) {
            // A part of a line is out: the rest must follow whatever the limit says.
            connection.out.assign(bytes.substr(done));
            connection.outPos = 0;
            Wake();
        }
        return true;
    }

    void Flush(Connection& connection) const
    {
        while (connection.Pending()) {
            const ssize_t written = ::send(connection.fd, connection.out.data() + connection.outPos,
                                           connection.out.size() - connection.outPos, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (written > 0) {
                connection.outPos += static_cast<std::size_t>(written);
            } else if (written < 0 && errno == EINTR) {
                continue;
            } else {
                if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                    connection.dead = true;
                }
                return;
            }
        }
        connection.out.clear();
        connection.outPos = 0;
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

    void PushReceived(const Frame& frame)
    {
        const std::lock_guard lock(rxMutex);
        if (!rx.Push(frame)) {
            ++dropped;
        } else if (rx.Size() == 1) {
            SignalReady(); // one wake-up when the queue fills, none for the frames behind
        }
    }

    // Hub: hands a frame on to everyone on its channel but its origin.
    void Relay(const Frame& frame, std::string_view frameChannel, const Connection* origin)
    {
        char text[kMaxFrameText + 1];
        std::size_t length = FormatFrameText(frame, text);
        text[length++] = '\n';
        const std::string_view line(text, length);
        for (const auto& peer : peers) {
            if (peer.get() != origin && !peer->dead && peer->Subscribed(frameChannel) && !Queue(*peer, line)) {
                ++dropped;
            }
        }
        if (origin != nullptr && frameChannel == channel) {
            PushReceived(frame);
        }
    }

    void OnClientLine(Connection& peer, std::string_view line)
    {
        const ClientLine parsed = ParseClientLine(line);
        switch (parsed.kind) {
        case ClientLine::Kind::Connect:
            if (!peer.Subscribed(parsed.channel)) {
                peer.channels.emplace_back(parsed.channel);
            }
            break;
        case ClientLine::Kind::Disconnect:
            std::erase(peer.channels, parsed.channel);
            peer.dead = true; // as Qt's hub does: the client is leaving
            break;
        case ClientLine::Kind::Frame:
            Relay(parsed.frame, parsed.channel, &peer);
            break;
        case ClientLine::Kind::Malformed:
            ++malformed;
            break;
        }
    }

    void OnHubLine(std::string_view line)
    {
        if (line.starts_with("disconnect:") && line.substr(11) == channel) {
            link.dead = true;
            return;
        }
        Frame frame;
        if (ParseFrameText(line, frame)) {
            PushReceived(frame);
        } else {
            ++malformed;
        }
    }

    void ReadFrom(Connection& connection, bool fromClient)
    {
        char buffer[4096];
        for (int reads = 0; reads < kReadsPerWakeup && !connection.dead; ++reads) {
            const ssize_t got = ::recv(connection.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got > 0) {
                connection.reader.Feed(
                    buffer, static_cast<std::size_t>(got),
                    [&](std::string_view line) {
                        if (fromClient) {
                            OnClientLine(connection, line);
                        } else {
                            OnHubLine(line);
                        }
                    },
                    [&] { ++malformed; });
            } else if (got == 0) {
                connection.dead = true;
            } else if (errno == EINTR) {
                continue;
            } else {
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    connection.dead = true;
                }
                return;
            }
        }
    }

    void AcceptAll()
    {
        while (true) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                return;
            }
            if (peers.size() >= limits.maxConnections) {
                ::close(fd);
                continue;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            auto peer = std::make_unique<Connection>();
            peer->fd = fd;
            peers.push_back(std::move(peer));
        }
    }

    void DropDeadPeers()
    {
        std::erase_if(peers, [](const std::unique_ptr<Connection>& peer) {
            if (peer->dead) {
                CloseFd(peer->fd);
                return true;
            }
            return false;
        });
    }

    // The bus is lost: try again at once; one of the former clients becomes the hub.
    void LoseLink()
    {
        CloseFd(link.fd);
        link = Connection{};
        role = Role::Down;
        retryAt = SteadyClock::now();
    }

    void Run()
    {
        std::vector<pollfd> fds;
        std::vector<Connection*> owners;
        while (!stopping) {
            fds.clear();
            owners.clear();
            fds.push_back({wakeFd, POLLIN, 0});
            owners.push_back(nullptr);
            int timeoutMs = -1;
            {
                const std::lock_guard lock(io);
                DropDeadPeers();
                if (role == Role::Client && link.dead) {
                    LoseLink();
                }
                if (role == Role::Hub) {
                    fds.push_back({listenFd, POLLIN, 0});
                    owners.push_back(nullptr);
                    for (const auto& peer : peers) {
                        fds.push_back({peer->fd, static_cast<short>(POLLIN | (peer->Pending() ? POLLOUT : 0)), 0});
                        owners.push_back(peer.get());
                    }
                } else if (role == Role::Client) {
                    fds.push_back({link.fd, static_cast<short>(POLLIN | (link.Pending() ? POLLOUT : 0)), 0});
                    owners.push_back(&link);
                } else {
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

            if (fds.size() == 1) {
                if (SteadyClock::now() >= retryAt) {
                    std::string ignored;
                    if (!Establish(ignored)) {
                        retryAt = SteadyClock::now() + std::chrono::milliseconds(limits.retryMs);
                    }
                }
                continue;
            }

            const std::lock_guard lock(io);
            for (std::size_t i = 1; i < fds.size(); ++i) {
                const short events = fds[i].revents;
                if (events == 0) {
                    continue;
                }
                Connection* owner = owners[i];
                if (owner == nullptr) {
                    AcceptAll();
                    continue;
                }
                if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
                    ReadFrom(*owner, role == Role::Hub);
                }
                if ((events & POLLOUT) != 0 && !owner->dead) {
                    Flush(*owner);
                }
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
        if (role == Role::Client && !link.dead) {
            const std::string goodbye = "disconnect:" + channel + "\n";
            Queue(link, goodbye);
        }
        CloseFd(link.fd);
        for (auto& peer : peers) {
            CloseFd(peer->fd);
        }
        peers.clear();
        CloseFd(listenFd);
        role = Role::Down;
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
    std::string why;
    if (!impl->Resolve(why) || !impl->Establish(why)) {
        error = "tcp bus " + impl->Where() + "/" + impl->channel + ": " + why;
        return nullptr;
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
    if (d.role == Impl::Role::Hub) {
        d.Relay(frame, d.channel, nullptr);
        ++d.sent;
        return true;
    }
    if (d.role == Impl::Role::Client) {
        // "canN:<id>#<flags>#<data>\n"; "canN" is at most 13 characters.
        char line[14 + kMaxFrameText + 1];
        std::size_t length = d.channel.size();
        std::memcpy(line, d.channel.data(), length);
        line[length++] = ':';
        length += FormatFrameText(frame, line + length);
        line[length++] = '\n';
        if (d.Queue(d.link, std::string_view(line, length))) {
            ++d.sent;
            return true;
        }
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

int TcpBus::ReadyDescriptor() const
{
    return impl_->readyFd;
}

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
    return impl_->role == Impl::Role::Hub;
}

std::size_t TcpBus::Subscribers() const
{
    const Impl& d = *impl_;
    const std::lock_guard lock(d.io);
    if (d.role == Impl::Role::Client) {
        return d.link.dead ? 0 : 1;
    }
    return static_cast<std::size_t>(std::count_if(d.peers.begin(), d.peers.end(), [&](const auto& peer) {
        return !peer->dead && peer->Subscribed(d.channel);
    }));
}

} // namespace canbus
