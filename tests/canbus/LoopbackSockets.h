#pragma once
// Loopback TCP helpers for the bus tests: a free port, a raw line-speaking peer, and waiting for a
// condition with a deadline instead of a fixed sleep.

#include "canbus/Bus.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace canbus::testing {

inline constexpr auto kPatience = std::chrono::seconds(5);

template <typename Predicate>
bool Eventually(Predicate predicate, std::chrono::milliseconds within = kPatience)
{
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Sleeps in the bus's own wait until a frame comes.
inline bool ReceiveWithin(Bus& bus, Frame& frame, std::chrono::milliseconds within = kPatience)
{
    return bus.TryReceive(frame) || (bus.WaitForFrame(within) && bus.TryReceive(frame));
}

inline sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nobody listens on right now.
inline std::uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// One end of a TCP connection that speaks raw lines.
class RawPeer {
public:
    explicit RawPeer(int fd = -1) : fd_(fd) {}
    RawPeer(RawPeer&& other) noexcept : fd_(other.fd_), pending_(std::move(other.pending_)) { other.fd_ = -1; }
    RawPeer& operator=(RawPeer&& other) noexcept
    {
        std::swap(fd_, other.fd_);
        std::swap(pending_, other.pending_);
        return *this;
    }
    ~RawPeer()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    static RawPeer Connect(std::uint16_t port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return RawPeer();
        }
        return RawPeer(fd);
    }

    bool Valid() const { return fd_ >= 0; }

    // The other end's port.
    std::uint16_t PeerPort() const
    {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        ::getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    // True when the other end closes within `within`; what it sends meanwhile is read and kept.
    bool ClosedWithin(std::chrono::milliseconds within = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) != 1) {
                return false;
            }
            char buffer[512];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return true;
            }
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    bool Write(const std::string& text) const
    {
        return ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
    }

    // The next line with its '\n', or "" when none came in time or the peer closed.
    std::string ReadLine(std::chrono::milliseconds within = kPatience)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (true) {
            if (const auto end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end + 1);
                pending_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd waiting{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) != 1) {
                return {};
            }
            char buffer[512];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return {};
            }
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

private:
    int fd_ = -1;
    std::string pending_;
};

// A listening socket on a loopback port, for playing the hub.
class RawListener {
public:
    explicit RawListener(std::uint16_t port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(port);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 8) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawListener()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool Valid() const { return fd_ >= 0; }

    RawPeer Accept(std::chrono::milliseconds within = kPatience) const
    {
        pollfd waiting{fd_, POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(within.count())) != 1) {
            return RawPeer();
        }
        return RawPeer(::accept(fd_, nullptr, nullptr));
    }

private:
    int fd_ = -1;
};

} // namespace canbus::testing
