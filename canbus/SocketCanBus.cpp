#include "canbus/SocketCanBus.h"

#include "canbus/CanSocketLayer.h"
#include "canbus/SystemError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace canbus {
namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;

// A bound socket on `interface`, or the negated errno with the reason in `error`.
int AttachSocket(CanSocketLayer& sockets, const std::string& interface, std::string& error)
{
    const int fd = sockets.Open();
    if (fd < 0) {
        const int cause = -fd;
        error = cause == EAFNOSUPPORT || cause == EPROTONOSUPPORT
                    ? "this kernel has no SocketCAN support (" + NamedErrnoText(cause) + ")"
                    : "cannot open a CAN socket (" + NamedErrnoText(cause) + ")";
        return fd;
    }
    InterfaceState state;
    int result = sockets.QueryInterface(fd, interface, state);
    if (result == -ENODEV) {
        error = "no network interface '" + interface + "'";
    } else if (result < 0) {
        error = "cannot look up the interface (" + NamedErrnoText(-result) + ")";
    } else if (!state.up) {
        // The kernel binds to a down interface and refuses each frame later: say so now.
        result = -ENETDOWN;
        error = "the interface is down (" + NamedErrnoText(ENETDOWN) + "); bring it up first: ip link set " +
                interface + " up";
    } else if (result = sockets.Bind(fd, state.index); result < 0) {
        error = "cannot bind to the interface (" + NamedErrnoText(-result) + ")";
    }
    if (result < 0) {
        sockets.Close(fd);
        return result;
    }
    return fd;
}

std::string DropText(const std::string& where, std::uint64_t frames)
{
    return where + ": the kernel dropped " + std::to_string(frames) +
           " received frames (the socket's receive queue was full)";
}

bool IsInterfaceGone(int cause) { return cause == ENETDOWN || cause == ENODEV || cause == ENXIO; }

} // namespace

std::unique_ptr<SocketCanBus> SocketCanBus::Open(const std::string& interface, std::string& error,
                                                 SocketCanOptions options)
{
    CanSocketLayer& sockets = options.sockets != nullptr ? *options.sockets : SystemCanSockets();
    if (!options.clock) {
        options.clock = SteadyNanoseconds;
    }
    const std::string where = "socketcan:" + interface + ": ";
    const int fd = AttachSocket(sockets, interface, error);
    if (fd < 0) {
        error = where + error;
        return nullptr;
    }
    const int epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    const int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int timerFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    epoll_event timer{};
    timer.events = EPOLLIN;
    if (epollFd < 0 || wakeFd < 0 || timerFd < 0 || ::epoll_ctl(epollFd, EPOLL_CTL_ADD, timerFd, &timer) != 0) {
        error = where + "cannot create its event descriptors (" + NamedErrnoText(errno) + ")";
        for (const int each : {epollFd, wakeFd, timerFd}) {
            if (each >= 0) {
                ::close(each);
            }
        }
        sockets.Close(fd);
        return nullptr;
    }
    return std::unique_ptr<SocketCanBus>(
        new SocketCanBus(interface, std::move(options), sockets, fd, epollFd, wakeFd, timerFd));
}

SocketCanBus::SocketCanBus(const std::string& interface, SocketCanOptions options, CanSocketLayer& sockets, int fd,
                           int epollFd, int wakeFd, int timerFd)
    : interface_(interface), where_("socketcan:" + interface), options_(std::move(options)), sockets_(sockets),
      epollFd_(epollFd), wakeFd_(wakeFd), timerFd_(timerFd)
{
    const std::lock_guard lock(mutex_);
    Adopt(fd);
}

SocketCanBus::~SocketCanBus()
{
    Close();
    ::close(timerFd_);
    ::close(wakeFd_);
    ::close(epollFd_);
}

bool SocketCanBus::Send(const Frame& frame)
{
    const std::lock_guard lock(mutex_);
    if (fd_ < 0) {
        ++counters_.dropped;
        return false;
    }
    if (!IsWellFormed(frame)) {
        ++counters_.malformed;
        return false;
    }
    can_frame out{};
    out.can_id = frame.id | (frame.extended ? CAN_EFF_FLAG : 0u) | (frame.remote ? CAN_RTR_FLAG : 0u);
    out.can_dlc = frame.length;
    if (!frame.remote) {
        std::memcpy(out.data, frame.data.data(), frame.length);
    }
    const int sent = sockets_.Send(fd_, out);
    if (sent == static_cast<int>(sizeof out)) {
        ++counters_.sent;
        return true;
    }
    // A full transmit queue (EAGAIN, ENOBUFS) costs the frame rather than the caller's time.
    ++counters_.dropped;
    if (sent < 0 && IsInterfaceGone(-sent)) {
        Lose(-sent);
    }
    return false;
}

bool SocketCanBus::TryReceive(Frame& frame)
{
    const std::lock_guard lock(mutex_);
    Service();
    if (!held_) {
        return false;
    }
    frame = *held_;
    held_.reset();
    return true;
}

bool SocketCanBus::WaitForFrame(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint64_t noticesBefore = 0;
    {
        const std::lock_guard lock(mutex_);
        if (held_) {
            return true;
        }
        noticesBefore = noticesMade_;
    }
    while (!closed_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd fds[2] = {{epollFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const timespec wait{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
        const int ready = ::ppoll(fds, 2, &wait, nullptr);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready <= 0 || fds[1].revents != 0) {
            continue;
        }
        const std::lock_guard lock(mutex_);
        Service();
        if (held_) {
            return true;
        }
        if (noticesMade_ != noticesBefore) {
            return false;
        }
    }
    return false;
}

void SocketCanBus::Close()
{
    closed_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
    const std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        ReadDropCount(); // drops that no frame came after to tell of
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
        sockets_.Close(fd_);
        fd_ = -1;
    }
    lost_ = false;
    DisarmTimer();
}

BusCounters SocketCanBus::Counters() const
{
    const std::lock_guard lock(mutex_);
    return counters_;
}

bool SocketCanBus::TakeNotice(BusNotice& notice)
{
    const std::lock_guard lock(mutex_);
    if (notices_.empty()) {
        return false;
    }
    notice = std::move(notices_.front());
    notices_.pop_front();
    return true;
}

void SocketCanBus::Service()
{
    if (lost_) {
        RetryIfDue();
    }
    if (!held_ && fd_ >= 0) {
        Frame frame;
        if (ReadOne(frame)) {
            held_ = frame;
        }
    }
}

bool SocketCanBus::ReadOne(Frame& frame)
{
    for (;;) {
        can_frame in{};
        std::optional<std::uint32_t> dropCount;
        const int got = sockets_.Receive(fd_, in, dropCount);
        if (got == -EINTR) {
            continue;
        }
        if (got == -EAGAIN || got == -EWOULDBLOCK) {
            // Drops after the last frame queued ride on no frame: the socket's count tells of them.
            if (readSinceDry_) {
                readSinceDry_ = false;
                ReadDropCount();
            }
            return false;
        }
        if (got < 0) {
            Lose(-got);
            return false;
        }
        readSinceDry_ = true;
        if (dropCount) {
            TakeDropCount(*dropCount);
        }
        if (got != static_cast<int>(sizeof in) || in.can_dlc > CAN_MAX_DLEN) {
            ++counters_.malformed;
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
        ++counters_.received;
        return true;
    }
}

void SocketCanBus::Adopt(int fd)
{
    epoll_event ready{};
    ready.events = EPOLLIN;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ready);
    fd_ = fd;
    lost_ = false;
    readSinceDry_ = false;
    kernelDropped_ = 0; // a new socket counts from nothing
}

void SocketCanBus::Lose(int cause)
{
    ReadDropCount();
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
    sockets_.Close(fd_);
    fd_ = -1;
    lost_ = true;
    Notify({BusNotice::Kind::Lost, 0,
            where_ + ": interface lost (" + NamedErrnoText(cause) + "); opening it again when it returns"});
    retryAtNs_ = options_.clock() + options_.retryMs * kNsPerMs;
    ArmTimer(options_.retryMs * kNsPerMs);
}

void SocketCanBus::RetryIfDue()
{
    if (timerArmed_) {
        std::uint64_t expirations = 0;
        if (::read(timerFd_, &expirations, sizeof expirations) == static_cast<ssize_t>(sizeof expirations)) {
            timerArmed_ = false;
        }
    }
    if (closed_) {
        return;
    }
    const std::uint64_t now = options_.clock();
    if (now < retryAtNs_) {
        if (!timerArmed_) {
            ArmTimer(retryAtNs_ - now);
        }
        return;
    }
    std::string reason;
    const int fd = AttachSocket(sockets_, interface_, reason);
    if (fd < 0) {
        retryAtNs_ = now + options_.retryMs * kNsPerMs;
        ArmTimer(options_.retryMs * kNsPerMs);
        return;
    }
    DisarmTimer();
    Adopt(fd);
    Notify({BusNotice::Kind::Back, 0, where_ + ": interface back; the bus carries frames again"});
}

void SocketCanBus::ArmTimer(std::uint64_t inNs)
{
    // A due time of zero would disarm the timer: a nanosecond at least.
    const std::uint64_t ns = std::max<std::uint64_t>(inNs, 1);
    itimerspec when{};
    when.it_value = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    ::timerfd_settime(timerFd_, 0, &when, nullptr);
    timerArmed_ = true;
}

void SocketCanBus::DisarmTimer()
{
    const itimerspec never{};
    ::timerfd_settime(timerFd_, 0, &never, nullptr);
    timerArmed_ = false;
}

void SocketCanBus::ReadDropCount()
{
    std::uint32_t count = 0;
    if (fd_ >= 0 && sockets_.DropCount(fd_, count) == 0) {
        TakeDropCount(count);
    }
}

void SocketCanBus::TakeDropCount(std::uint32_t count)
{
    // A running count that wraps: the difference is what is new.
    const std::uint32_t fresh = count - kernelDropped_;
    kernelDropped_ = count;
    if (fresh != 0) {
        counters_.dropped += fresh;
        Notify({BusNotice::Kind::Dropped, fresh, DropText(where_, fresh)});
    }
}

void SocketCanBus::Notify(BusNotice notice)
{
    ++noticesMade_;
    if (notice.kind == BusNotice::Kind::Dropped && !notices_.empty() &&
        notices_.back().kind == BusNotice::Kind::Dropped) {
        notices_.back().frames += notice.frames;
        notices_.back().text = DropText(where_, notices_.back().frames);
        return;
    }
    if (notices_.size() >= std::max<std::size_t>(options_.noticeCapacity, 1)) {
        notices_.pop_front();
    }
    notices_.push_back(std::move(notice));
}

} // namespace canbus
