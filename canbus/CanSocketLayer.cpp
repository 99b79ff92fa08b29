#include "canbus/CanSocketLayer.h"

#include <cerrno>
#include <cstring>

#include <linux/sock_diag.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace canbus {
namespace {

int Failed() { return -errno; }

class SystemSockets final : public CanSocketLayer {
public:
    int Open() override
    {
        const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, CAN_RAW);
        if (fd < 0) {
            return Failed();
        }
        const int on = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) != 0) {
            const int cause = Failed();
            ::close(fd);
            return cause;
        }
        return fd;
    }

    int QueryInterface(int fd, const std::string& name, InterfaceState& state) override
    {
        ifreq request{};
        if (name.size() >= sizeof request.ifr_name) {
            return -ENODEV;
        }
        std::memcpy(request.ifr_name, name.c_str(), name.size() + 1);
        if (::ioctl(fd, SIOCGIFINDEX, &request) != 0) {
            return Failed();
        }
        state.index = request.ifr_ifindex;
        if (::ioctl(fd, SIOCGIFFLAGS, &request) != 0) {
            return Failed();
        }
        state.up = (request.ifr_flags & IFF_UP) != 0;
        return 0;
    }

    int Bind(int fd, int index) override
    {
        sockaddr_can address{};
        address.can_family = AF_CAN;
        address.can_ifindex = index;
        return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : Failed();
    }

    int Send(int fd, const can_frame& frame) override
    {
        const ssize_t sent = ::send(fd, &frame, sizeof frame, MSG_DONTWAIT);
        return sent < 0 ? Failed() : static_cast<int>(sent);
    }

    int Receive(int fd, can_frame& frame, std::optional<std::uint32_t>& dropCount) override
    {
        iovec part{&frame, sizeof frame};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(std::uint32_t))];
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
        if (got < 0) {
            return Failed();
        }
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item)) {
            if (item->cmsg_level == SOL_SOCKET && item->cmsg_type == SO_RXQ_OVFL) {
                std::uint32_t count = 0;
                std::memcpy(&count, CMSG_DATA(item), sizeof count);
                dropCount = count;
            }
        }
        return static_cast<int>(got);
    }

    int DropCount(int fd, std::uint32_t& count) override
    {
        // The socket's memory figures end with its drop count: the one SO_RXQ_OVFL hands along.
        std::uint32_t figures[SK_MEMINFO_VARS] = {};
        socklen_t length = sizeof figures;
        if (::getsockopt(fd, SOL_SOCKET, SO_MEMINFO, figures, &length) != 0) {
            return Failed();
        }
        if (length < (SK_MEMINFO_DROPS + 1) * sizeof figures[0]) {
            return -ENOPROTOOPT;
        }
        count = figures[SK_MEMINFO_DROPS];
        return 0;
    }

    void Close(int fd) override { ::close(fd); }
};

} // namespace

CanSocketLayer& SystemCanSockets()
{
    static SystemSockets sockets;
    return sockets;
}

} // namespace canbus
