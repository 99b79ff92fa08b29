#include "canbus/SocketCanBus.h"

#include <cerrno>
#include <cstring>

#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace canbus {

std::unique_ptr<SocketCanBus> SocketCanBus::Open(const std::string& interface, std::string& error)
{
    const std::string where = "socketcan:" + interface + ": ";
    const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, CAN_RAW);
    if (fd < 0) {
        const int cause = errno;
        if (cause == EAFNOSUPPORT || cause == EPROTONOSUPPORT) {
            error = where + "this kernel has no SocketCAN support (" + std::strerror(cause) + ")";
        } else {
            error = where + "cannot open a CAN socket (" + std::strerror(cause) + ")";
        }
        return nullptr;
    }
    const unsigned index = ::if_nametoindex(interface.c_str());
    if (index == 0) {
        error = where + "no network interface '" + interface + "'";
        ::close(fd);
        return nullptr;
    }
    sockaddr_can address{};
    address.can_family = AF_CAN;
    address.can_ifindex = static_cast<int>(index);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = where + "cannot bind to the interface (" + std::strerror(errno) + ")";
        ::close(fd);
        return nullptr;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
        error = where + "cannot create an event descriptor (" + std::strerror(errno) + ")";
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<SocketCanBus>(fd, wakeFd);
}

SocketCanBus::SocketCanBus(int fd, int wakeFd) : fd_(fd), wakeFd_(wakeFd) {}

SocketCanBus::~SocketCanBus()
{
    Close();
    ::close(wakeFd_);
}

bool SocketCanBus::Send(const Frame& frame)
{
    const int fd = fd_;
    if (fd < 0) {
        ++dropped_;
        return false;
    }
    if (!IsWellFormed(frame)) {
        ++malformed_;
        return false;
    }
    can_frame out{};
    out.can_id = frame.id | (frame.extended ? CAN_EFF_FLAG : 0u) | (frame.remote ? CAN_RTR_FLAG : 0u);
    out.can_dlc = frame.length;
    if (!frame.remote) {
        std::memcpy(out.data, frame.data.data(), frame.length);
    }
    // A full transmit queue (EAGAIN, ENOBUFS) costs the frame rather than the caller's time.
    if (::send(fd, &out, sizeof out, MSG_DONTWAIT) != static_cast<ssize_t>(sizeof out)) {
        ++dropped_;
        return false;
    }
    ++sent_;
    return true;
}

bool SocketCanBus::TryReceive(Frame& frame)
{
    for (int fd = fd_; fd >= 0;) {
        can_frame in{};
        iovec part{&in, sizeof in};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint32_t))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SO_RXQ_OVFL) {
                std::uint32_t overflows = 0;
                std::memcpy(&overflows, CMSG_DATA(item), sizeof overflows);
                const std::uint32_t before = kernelDropped_.exchange(overflows);
                dropped_ += overflows - before;
            }
        }
        if (got != static_cast<ssize_t>(sizeof in) || in.can_dlc > CAN_MAX_DLEN) {
            ++malformed_;
            continue;
        }
        if ((in.can_id & CAN_ERR_FLAG) != 0) {
            continue; // error frames are not asked for; not data on the bus
        }
        frame = Frame{};
        frame.extended = (in.can_id & CAN_EFF_FLAG) != 0;
        frame.remote = (in.can_id & CAN_RTR_FLAG) != 0;
        frame.id = in.can_id & (frame.extended ? CAN_EFF_MASK : CAN_SFF_MASK);
        frame.length = in.can_dlc;
        if (!frame.remote) {
            std::memcpy(frame.data.data(), in.data, in.can_dlc);
        }
        ++received_;
        return true;
    }
    return false;
}

bool SocketCanBus::WaitForFrame(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const int fd = fd_;
        if (fd < 0) {
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const timespec wait{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        const int ready = ::ppoll(fds, 2, &wait, nullptr);
        if (ready > 0 && fds[1].revents == 0) {
            return (fds[0].revents & POLLIN) != 0;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

void SocketCanBus::Close()
{
    if (const int fd = fd_.exchange(-1); fd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
        ::close(fd);
    }
}

BusCounters SocketCanBus::Counters() const
{
    return BusCounters{sent_, received_, dropped_, malformed_};
}

} // namespace canbus
