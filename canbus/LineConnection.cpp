#include "canbus/LineConnection.h"

#include "canbus/TcpSocket.h"

#include <cerrno>

#include <sys/socket.h>

namespace canbus {
namespace {

constexpr int kReadsPerWakeup = 16;

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

} // namespace

LineConnection::LineConnection(int fd, std::size_t sendLimit, std::function<void()> wake)
    : fd_(fd), sendLimit_(sendLimit), wake_(std::move(wake))
{
}

LineConnection::~LineConnection() { CloseFd(fd_); }

pollfd LineConnection::PollEntry() const
{
    return {fd_, static_cast<short>(POLLIN | (Pending() ? POLLOUT : 0)), 0};
}

bool LineConnection::Queue(std::string_view bytes)
{
    if (dead_ || finishing_) {
        return false;
    }
    if (Pending()) {
        if (out_.size() - outPos_ + bytes.size() > sendLimit_) {
            return false;
        }
        out_.append(bytes);
        return true;
    }
    const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    std::size_t done = 0;
    if (written >= 0) {
        done = static_cast<std::size_t>(written);
    } else if (!WouldBlock(errno) && errno != EINTR) {
        dead_ = true;
        wake_();
        return false;
    }
    if (done < bytes.size()) {
        // A part of a line is out: the rest must follow whatever the limit says.
        out_.assign(bytes.substr(done));
        outPos_ = 0;
        wake_();
    }
    return true;
}

void LineConnection::Flush()
{
    while (Pending() && !dead_) {
        const ssize_t written =
            ::send(fd_, out_.data() + outPos_, out_.size() - outPos_, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (written > 0) {
            outPos_ += static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            if (written < 0 && !WouldBlock(errno)) {
                dead_ = true;
            }
            return;
        }
    }
    out_.clear();
    outPos_ = 0;
    EndIfFinished();
}

void LineConnection::Read(const std::function<void(std::string_view)>& onLine, const std::function<void()>& onOverlong)
{
    char buffer[4096];
    for (int reads = 0; reads < kReadsPerWakeup && !dead_; ++reads) {
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            reader_.Feed(buffer, static_cast<std::size_t>(got), onLine, onOverlong);
        } else if (got == 0) {
            dead_ = true;
        } else if (errno == EINTR) {
            continue;
        } else {
            if (!WouldBlock(errno)) {
                dead_ = true;
            }
            return;
        }
    }
}

void LineConnection::Finish()
{
    finishing_ = true;
    EndIfFinished();
}

void LineConnection::EndIfFinished()
{
    if (finishing_ && !Pending() && !dead_) {
        ::shutdown(fd_, SHUT_WR);
        dead_ = true;
    }
}

} // namespace canbus
