#include "canbus/TcpHub.h"

#include "canbus/TcpSocket.h"

#include <algorithm>

#include <sys/socket.h>

namespace canbus {

struct TcpHub::Peer {
    Peer(int fd, std::size_t sendLimit, EndpointSink& endpoint)
        : line(fd, sendLimit, [&endpoint] { endpoint.Wake(); })
    {
    }

    bool Subscribed(std::string_view name) const
    {
        return std::find(channels.begin(), channels.end(), name) != channels.end();
    }

    LineConnection line;
    std::vector<std::string> channels; // at most maxChannels
    bool joined = false;
};

TcpHub::TcpHub(int listenFd, std::string channel, Limits limits, EndpointSink& endpoint)
    : listenFd_(listenFd), channel_(std::move(channel)), limits_(limits), endpoint_(endpoint)
{
}

TcpHub::~TcpHub() { CloseFd(listenFd_); }

void TcpHub::Send(const Frame& frame) { Relay(frame, channel_, nullptr); }

void TcpHub::Relay(const Frame& frame, std::string_view channel, const Peer* origin)
{
    char text[kMaxFrameText + 1];
    std::size_t length = FormatFrameText(frame, text);
    text[length++] = '\n';
    const std::string_view line(text, length);
    for (const auto& peer : peers_) {
        if (peer.get() != origin && !peer->line.Dead() && peer->Subscribed(channel) && !peer->line.Queue(line)) {
            endpoint_.CountDropped();
        }
    }
    if (origin != nullptr && channel == channel_) {
        endpoint_.Deliver(frame);
    }
}

bool TcpHub::Join(Peer& peer, std::string_view channel)
{
    if (peer.joined) {
        return true;
    }
    if (joined_ >= limits_.maxClients) {
        std::string refusal = "disconnect:";
        refusal += channel;
        refusal += ' ';
        refusal += kHubFullReason;
        refusal += '\n';
        peer.line.Queue(refusal);
        peer.line.Finish();
        return false;
    }
    peer.joined = true;
    ++joined_;
    return true;
}

void TcpHub::OnLine(Peer& peer, std::string_view line)
{
    if (peer.line.Dead() || peer.line.Finishing()) {
        return; // the rest of what a leaving or refused client sent
    }
    const ClientLine parsed = ParseClientLine(line);
    switch (parsed.kind) {
    case ClientLine::Kind::Connect:
        if (!Join(peer, parsed.channel) || peer.Subscribed(parsed.channel)) {
            return;
        }
        if (peer.channels.size() >= limits_.maxChannels) {
            endpoint_.CountMalformed();
            return;
        }
        peer.channels.emplace_back(parsed.channel);
        return;
    case ClientLine::Kind::Disconnect:
        std::erase(peer.channels, parsed.channel);
        peer.line.Kill(); // as Qt's hub does: the client is leaving
        return;
    case ClientLine::Kind::Frame:
        if (Join(peer, parsed.channel)) {
            Relay(parsed.frame, parsed.channel, &peer);
        }
        return;
    case ClientLine::Kind::Malformed:
        endpoint_.CountMalformed();
        return;
    }
}

void TcpHub::Read(Peer& peer)
{
    peer.line.Read([this, &peer](std::string_view line) { OnLine(peer, line); }, [this] { endpoint_.CountMalformed(); });
}

void TcpHub::MakeRoomToWait()
{
    const auto waiting = [](const std::unique_ptr<Peer>& peer) { return !peer->joined && !peer->line.Dead(); };
    if (static_cast<std::size_t>(std::count_if(peers_.begin(), peers_.end(), waiting)) < limits_.maxPending) {
        return;
    }
    // Those that spoke since they were last read join now, and need no room.
    for (const auto& peer : peers_) {
        if (waiting(peer)) {
            Read(*peer);
        }
    }
    if (static_cast<std::size_t>(std::count_if(peers_.begin(), peers_.end(), waiting)) >= limits_.maxPending) {
        // The connections are in the order they came: the first one waiting has waited longest.
        peers_.erase(std::find_if(peers_.begin(), peers_.end(), waiting));
    }
}

void TcpHub::AcceptAll()
{
    // As many as may wait at once, then back to the others; the rest come at the next wake-up.
    for (std::size_t accepted = 0; accepted <= limits_.maxPending; ++accepted) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        if (limits_.maxPending == 0) {
            ::close(fd);
            continue;
        }
        TuneConnection(fd);
        MakeRoomToWait();
        peers_.push_back(std::make_unique<Peer>(fd, limits_.sendBuffer, endpoint_));
        Read(*peers_.back()); // a client says "connect:" as soon as it is connected
    }
}

void TcpHub::Prepare(std::vector<pollfd>& fds)
{
    std::erase_if(peers_, [this](const std::unique_ptr<Peer>& peer) {
        if (!peer->line.Dead()) {
            return false;
        }
        if (peer->joined) {
            --joined_;
        }
        return true;
    });
    fds.push_back({listenFd_, POLLIN, 0});
    for (const auto& peer : peers_) {
        fds.push_back(peer->line.PollEntry());
    }
}

void TcpHub::Handle(std::span<const pollfd> fds)
{
    // The connections first, by the places Prepare gave them; accepting adds behind them.
    for (std::size_t i = 1; i < fds.size() && i <= peers_.size(); ++i) {
        const short events = fds[i].revents;
        Peer& peer = *peers_[i - 1];
        if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
            Read(peer);
        }
        if ((events & POLLOUT) != 0) {
            peer.line.Flush();
        }
    }
    if (!fds.empty() && fds[0].revents != 0) {
        AcceptAll();
    }
}

std::size_t TcpHub::Subscribers() const
{
    return static_cast<std::size_t>(std::count_if(peers_.begin(), peers_.end(), [this](const auto& peer) {
        return !peer->line.Dead() && peer->Subscribed(channel_);
    }));
}

} // namespace canbus
