#pragma once
// A socket layer that answers as the test tells it: an interface that is there or not, up or
// down, one scripted result per receive, a drop count. Each socket it opens is an eventfd that
// polls readable while scripted receive results wait, so that a bus's waits behave as on a real
// socket.

#include "canbus/CanSocketLayer.h"

#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include <sys/eventfd.h>
#include <unistd.h>

namespace canbus::testing {

class FakeCanSockets final : public CanSocketLayer {
public:
    struct Received {
        int result = 0; // 0: a frame; else the negated errno
        can_frame frame{};
        std::optional<std::uint32_t> dropCount;
    };

    // What the next calls answer.
    int openResult = 0;
    int interfaceResult = 0;
    bool up = true;
    int bindResult = 0;
    int sendResult = 0;          // 0: the frame is taken
    std::uint32_t dropCount = 0; // the socket's running count, as DropCount reads it

    // What happened.
    int opened = 0; // Open calls, successful or not
    int closed = 0; // sockets closed, by the bus or after a refusal
    std::vector<can_frame> sent;

    ~FakeCanSockets() override
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    void QueueError(int negatedErrno) { Queue({negatedErrno, {}, std::nullopt}); }
    void QueueFrame(canid_t id, std::optional<std::uint32_t> drops = std::nullopt)
    {
        Received item;
        item.frame.can_id = id;
        item.frame.can_dlc = 1;
        item.frame.data[0] = 0x5A;
        item.dropCount = drops;
        Queue(item);
    }

    int Open() override
    {
        ++opened;
        if (openResult < 0) {
            return openResult;
        }
        fd_ = ::eventfd(static_cast<unsigned>(script_.size()), EFD_NONBLOCK | EFD_SEMAPHORE | EFD_CLOEXEC);
        return fd_;
    }

    int QueryInterface(int, const std::string&, InterfaceState& state) override
    {
        state.index = 7;
        state.up = up;
        return interfaceResult;
    }

    int Bind(int, int) override { return bindResult; }

    int Send(int, const can_frame& frame) override
    {
        if (sendResult < 0) {
            return sendResult;
        }
        sent.push_back(frame);
        return static_cast<int>(sizeof frame);
    }

    int Receive(int fd, can_frame& frame, std::optional<std::uint32_t>& drops) override
    {
        if (script_.empty()) {
            return -EAGAIN;
        }
        std::uint64_t one = 0;
        [[maybe_unused]] const auto taken = ::read(fd, &one, sizeof one);
        const Received item = script_.front();
        script_.pop_front();
        if (item.result < 0) {
            return item.result;
        }
        frame = item.frame;
        drops = item.dropCount;
        return static_cast<int>(sizeof frame);
    }

    int DropCount(int, std::uint32_t& count) override
    {
        count = dropCount;
        return 0;
    }

    void Close(int fd) override
    {
        ++closed;
        ::close(fd);
        if (fd == fd_) {
            fd_ = -1;
        }
    }

private:
    void Queue(const Received& item)
    {
        script_.push_back(item);
        if (fd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
        }
    }

    std::deque<Received> script_;
    int fd_ = -1; // the socket open now
};

} // namespace canbus::testing
