#pragma once
// One TCP connection of the bus that carries virtualcan lines (see VirtualCanLine.h), in both
// directions and without ever blocking: lines come in through a bounded LineReader, and what the
// socket does not take at once waits in an output buffer of bounded size until the I/O thread
// flushes it. Not synchronised: the TCP bus holds its lock around every call.
//
// Also here: what the hub and the client link hand on to the endpoint of their process.

#include "canbus/Frame.h"
#include "canbus/VirtualCanLine.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include <poll.h>

namespace canbus {

// The endpoint of this process, as the hub and the link see it.
class EndpointSink {
public:
    virtual void Deliver(const Frame& frame) = 0; // a frame for the endpoint's receive queue
    virtual void CountMalformed() = 0;            // a line that is no message, or one refused
    virtual void CountDropped() = 0;              // a frame a full buffer cost
    virtual void Wake() = 0;                      // the I/O thread should look at its sockets again

protected:
    ~EndpointSink() = default;
};

class LineConnection {
public:
    // Longest line accepted: a frame line is at most "canNNNNNNNNNN:" plus kMaxFrameText, and Qt's
    // own lines with every flag fit easily; longer lines are malformed anyway.
    static constexpr std::size_t kMaxLine = 256;

    // Takes over `fd`, a connected non-blocking socket. `wake` is called when output is left for
    // the I/O thread or the connection dies while the caller is not that thread.
    LineConnection(int fd, std::size_t sendLimit, std::function<void()> wake);
    ~LineConnection();
    LineConnection(const LineConnection&) = delete;
    LineConnection& operator=(const LineConnection&) = delete;

    int Fd() const { return fd_; }
    bool Dead() const { return dead_; }
    void Kill() { dead_ = true; }
    // Finish was called: the connection takes no more lines either way.
    bool Finishing() const { return finishing_; }
    bool Pending() const { return outPos_ < out_.size(); }
    pollfd PollEntry() const;

    // Sends what the socket takes now and keeps the rest. False, with nothing kept, when the
    // connection is dead or finishing, or the rest would overfill the output buffer.
    bool Queue(std::string_view bytes);

    // Sends what waits, as far as the socket takes it.
    void Flush();

    // Reads what the socket has (a bounded number of reads, so that one busy peer cannot hold the
    // thread) and calls onLine for each complete line, blanks trimmed, and onOverlong for each line
    // that was too long. The end of the stream or an error kills the connection.
    void Read(const std::function<void(std::string_view)>& onLine, const std::function<void()>& onOverlong);

    // Ends the connection once what is queued has gone out; the peer reads it, then the end.
    void Finish();

private:
    void EndIfFinished();

    int fd_;
    std::size_t sendLimit_;
    std::function<void()> wake_;
    LineReader reader_{kMaxLine};
    std::string out_;
    std::size_t outPos_ = 0;
    bool dead_ = false;
    bool finishing_ = false;
};

} // namespace canbus
