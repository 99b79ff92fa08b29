#pragma once
// The hub of a TCP bus: it owns the listening socket and the connections of its clients, relays
// every frame line to the other connections subscribed to the line's channel (never back to its
// origin), and hands the frames on its own endpoint's channel to that endpoint.
//
// No client can stall it or crowd others out:
// - A connection joins with its first `connect:` or frame line. The hub serves at most
//   `maxClients` joined connections; one more is told "disconnect:canN full" and closed (Qt's
//   clients, too, leave on a disconnect line for their channel). Joined clients stay however quiet
//   they are; TCP keepalive finds those whose peer vanished.
// - At most `maxPending` connections wait to join; when another comes, the one that has waited
//   longest goes, so connections that never speak cannot lock anyone out. A client speaks at once
//   (every client does), and what it said is read before it could be let go, so it gets in.
// - A connection subscribes to at most `maxChannels` channels; more `connect:` lines are refused
//   as malformed, so every lookup is over a handful of names.

#include "canbus/LineConnection.h"

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <poll.h>

namespace canbus {

class TcpHub {
public:
    struct Limits {
        std::size_t maxClients = 64;
        std::size_t maxPending = 16;
        std::size_t maxChannels = 8;
        std::size_t sendBuffer = 64 * 1024; // bytes waiting for one slow connection
    };

    // Takes over `listenFd`. `channel` is the own endpoint's ("canN").
    TcpHub(int listenFd, std::string channel, Limits limits, EndpointSink& endpoint);
    ~TcpHub();
    TcpHub(const TcpHub&) = delete;
    TcpHub& operator=(const TcpHub&) = delete;

    // The own endpoint's frame, for every client on its channel.
    void Send(const Frame& frame);

    // Lets the connections that ended go and appends what to poll: the listening socket, then
    // each connection.
    void Prepare(std::vector<pollfd>& fds);
    // The entries Prepare appended, with their events.
    void Handle(std::span<const pollfd> fds);

    // Connections subscribed to the own endpoint's channel.
    std::size_t Subscribers() const;

private:
    struct Peer;

    void Relay(const Frame& frame, std::string_view channel, const Peer* origin);
    void OnLine(Peer& peer, std::string_view line);
    bool Join(Peer& peer, std::string_view channel);
    void Read(Peer& peer);
    // Before one more connection waits to join: room for it, if need be by letting go the one
    // that has waited longest.
    void MakeRoomToWait();
    void AcceptAll();

    int listenFd_;
    std::string channel_;
    Limits limits_;
    EndpointSink& endpoint_;
    std::vector<std::unique_ptr<Peer>> peers_; // in the order they came
    std::size_t joined_ = 0;
};

} // namespace canbus
