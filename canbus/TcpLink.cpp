#include "canbus/TcpLink.h"

#include <cstring>

namespace canbus {

TcpLink::TcpLink(int fd, std::string channel, std::size_t sendLimit, EndpointSink& endpoint)
    : channel_(std::move(channel)), endpoint_(endpoint), line_(fd, sendLimit, [&endpoint] { endpoint.Wake(); })
{
    line_.Queue("connect:" + channel_ + "\n");
}

bool TcpLink::Send(const Frame& frame)
{
    // "canN:<id>#<flags>#<data>\n"; "canN" is at most 13 characters.
    char line[14 + kMaxFrameText + 1];
    std::size_t length = channel_.size();
    std::memcpy(line, channel_.data(), length);
    line[length++] = ':';
    length += FormatFrameText(frame, line + length);
    line[length++] = '\n';
    return line_.Queue(std::string_view(line, length));
}

void TcpLink::Prepare(std::vector<pollfd>& fds) const { fds.push_back(line_.PollEntry()); }

void TcpLink::Handle(std::span<const pollfd> fds)
{
    if (fds.empty()) {
        return;
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        Read();
    }
    if ((fds[0].revents & POLLOUT) != 0) {
        line_.Flush();
    }
}

void TcpLink::Read()
{
    line_.Read([this](std::string_view line) { OnLine(line); }, [this] { endpoint_.CountMalformed(); });
}

void TcpLink::OnLine(std::string_view line)
{
    if (line_.Dead()) {
        return;
    }
    const HubLine parsed = ParseHubLine(line);
    switch (parsed.kind) {
    case HubLine::Kind::Frame:
        heardFrame_ = true;
        endpoint_.Deliver(parsed.frame);
        return;
    case HubLine::Kind::Disconnect:
        if (parsed.channel == channel_) {
            refused_ = parsed.reason == kHubFullReason;
            line_.Kill();
            return;
        }
        break;
    case HubLine::Kind::Malformed: break;
    }
    endpoint_.CountMalformed();
}

bool TcpLink::AwaitVerdict(std::chrono::milliseconds within)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + within;
    while (!line_.Dead() && !heardFrame_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            break;
        }
        pollfd entry = line_.PollEntry();
        if (::poll(&entry, 1, static_cast<int>(left)) > 0) {
            Handle(std::span<const pollfd>(&entry, 1));
        }
    }
    return !refused_;
}

void TcpLink::Leave()
{
    if (!line_.Dead()) {
        line_.Queue("disconnect:" + channel_ + "\n");
    }
}

} // namespace canbus
