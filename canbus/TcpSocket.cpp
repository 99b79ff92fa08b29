#include "canbus/TcpSocket.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

namespace canbus {
namespace {

constexpr int kKeepIdleSeconds = 30;
constexpr int kKeepIntervalSeconds = 10;
constexpr int kKeepProbes = 3;

void SetOption(int fd, int level, int name, int value) { ::setsockopt(fd, level, name, &value, sizeof value); }

// Closes `fd` keeping errno, and returns -1.
int Abandon(int fd)
{
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return -1;
}

} // namespace

bool ResolveAddress(const std::string& host, std::uint16_t port, SocketAddress& address, std::string& error)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        hints.ai_family = AF_UNSPEC;
        status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    }
    if (status != 0 || found == nullptr) {
        error = "cannot resolve host '" + host + "': " + ::gai_strerror(status);
        return false;
    }
    std::memcpy(&address.storage, found->ai_addr, found->ai_addrlen);
    address.length = found->ai_addrlen;
    ::freeaddrinfo(found);
    return true;
}

int ListenOn(const SocketAddress& address)
{
    const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        return Abandon(fd);
    }
    return fd;
}

int ConnectTo(const SocketAddress& address, int timeoutMs)
{
    const int fd = ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    SetOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        if (errno != EINPROGRESS) {
            return Abandon(fd);
        }
        pollfd pending{fd, POLLOUT, 0};
        int error = ETIMEDOUT;
        if (::poll(&pending, 1, timeoutMs) == 1) {
            socklen_t length = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        if (error != 0) {
            errno = error;
            return Abandon(fd);
        }
    }
    TuneConnection(fd);
    return fd;
}

void TuneConnection(int fd)
{
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSeconds);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSeconds);
    SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, kKeepProbes);
}

void CloseFd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

} // namespace canbus
