#pragma once
// The client side of a TCP bus: one connection to the hub, subscribed to one channel. It says
// "connect:canN" first and "disconnect:canN" when it leaves, sends its endpoint's frames as
// "canN:<frame>" lines, and hands the frames the hub relays to its endpoint. The hub ends the
// link with "disconnect:canN"; ours adds " full" when it turns the client away.

#include "canbus/LineConnection.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <poll.h>

namespace canbus {

class TcpLink {
public:
    // Takes over `fd`, connected to the hub, and subscribes to `channel` ("canN").
    TcpLink(int fd, std::string channel, std::size_t sendLimit, EndpointSink& endpoint);
    TcpLink(const TcpLink&) = delete;
    TcpLink& operator=(const TcpLink&) = delete;

    // False when the link is down or its output buffer is full.
    bool Send(const Frame& frame);

    // What to poll: the one connection.
    void Prepare(std::vector<pollfd>& fds) const;
    // The entry Prepare appended, with its events.
    void Handle(std::span<const pollfd> fds);

    // Reads what the hub says for up to `within`, until it has turned the link away, ended it or
    // relayed a frame (which it does to joined clients only). A hub that accepts says nothing, so
    // a quiet bus takes the whole time. False when the hub is full.
    bool AwaitVerdict(std::chrono::milliseconds within);

    // Says goodbye, as Qt's clients do; the connection ends with the link.
    void Leave();

    bool Dead() const { return line_.Dead(); }
    // The hub turned the link away because it serves as many clients as it takes.
    bool Refused() const { return refused_; }

private:
    void Read();
    void OnLine(std::string_view line);

    std::string channel_;
    EndpointSink& endpoint_;
    LineConnection line_;
    bool refused_ = false;
    bool heardFrame_ = false;
};

} // namespace canbus
