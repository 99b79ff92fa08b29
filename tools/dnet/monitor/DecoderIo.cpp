#include "tools/dnet/monitor/Decoder.h"

#include "tools/dnet/monitor/DecoderParts.h"
#include "tools/dnet/monitor/Identifier.h"

#include <algorithm>
#include <array>

// The I/O half of the decoder: poll commands and responses, whole or in fragments.

namespace orv::dnet::monitor {

using namespace parts;

Message Decoder::IoBase(int slave, bool command, const Series& series) const
{
    Message message;
    message.kind = MessageKind::Io;
    message.canId = series.canId;
    const Identifier id = ClassifyIdentifier(series.canId);
    message.group = id.group;
    message.messageId = id.messageId;
    const int master = nodes_[static_cast<std::size_t>(slave)].pollMaster;
    message.from = command ? master : slave;
    message.to = command ? slave : master;
    message.timeUs = series.lastUs;
    return message;
}

void Decoder::CloseIo(int slave, bool command, std::vector<Message>& out)
{
    Node& node = nodes_[static_cast<std::size_t>(slave)];
    Series& series = command ? node.command : node.answer;
    if (!series.open) {
        return;
    }
    Message message = IoBase(slave, command, series);
    if (series.tentative && series.fragments == 1) {
        // One frame that only looked like a first fragment: it was the whole message.
        message.timeUs = series.firstUs;
        std::array<std::uint8_t, kFrameData> frame{};
        frame[0] = series.header;
        const std::size_t count = std::min(series.body.size(), frame.size() - 1);
        std::copy_n(series.body.begin(), count, frame.begin() + 1);
        Keep(message, std::span(frame.data(), count + 1), count + 1);
    } else {
        message.fragments = series.fragments;
        if (!series.lastSeen) {
            series.broken = true;
            NoteProblem(series.problem, "no last fragment");
        }
        if (series.broken) {
            message.kind = MessageKind::BrokenSeries;
            message.explicitSeries = false;
        }
        message.problem = series.problem;
        Keep(message, series.body, series.length);
        if (!series.broken) {
            const int size = command ? node.consumedSize : node.producedSize;
            if (size < 0) {
                (command ? node.consumedSize : node.producedSize) = static_cast<int>(series.length);
            } else if (static_cast<std::size_t>(size) != series.length) {
                message.problem = std::to_string(series.length) + " bytes where the connection carries " +
                                  std::to_string(size);
            }
        }
    }
    out.push_back(std::move(message));
    series = Series{};
}

void Decoder::IoWhole(int slave, bool command, std::span<const std::uint8_t> data, Message& base,
                      std::vector<Message>& out)
{
    CloseIo(slave, command, out);
    base.kind = MessageKind::Io;
    Keep(base, data, data.size());
    out.push_back(std::move(base));
}

void Decoder::Io(int slave, bool command, const canbus::Frame& frame, Message& base, std::vector<Message>& out)
{
    Node& node = nodes_[static_cast<std::size_t>(slave)];
    Series& series = command ? node.command : node.answer;
    const int size = command ? node.consumedSize : node.producedSize;
    const std::span<const std::uint8_t> data(frame.data.data(), frame.length);
    (command ? base.from : base.to) = node.pollMaster;
    if (data.empty() || (size >= 0 && size <= static_cast<int>(kFrameData))) {
        IoWhole(slave, command, data, base, out);
        return;
    }
    if (size < 0) {
        IoOfUnknownSize(slave, command, data, base, out);
        return;
    }
    const int type = data[0] >> 6;
    const int count = data[0] & 0x3F;
    if (type == kFirst) {
        CloseIo(slave, command, out);
        Start(series, base, data[0]);
        if (count != 0) {
            series.broken = true;
            NoteProblem(series.problem, CountText("first fragment with count", count, 0));
        }
    } else if (!series.open) {
        Start(series, base, data[0]);
        series.broken = true;
        NoteProblem(series.problem, "no first fragment");
    } else if (type == kAck) {
        series.broken = true;
        NoteProblem(series.problem, "an acknowledge type in I/O fragmentation");
    } else if (count != series.nextCount) {
        series.broken = true;
        NoteProblem(series.problem, CountText("fragment", count, series.nextCount));
    }
    series.fragments += 1;
    series.nextCount = (count + 1) & 0x3F;
    series.lastUs = base.timeUs;
    series.canId = base.canId;
    series.lastSeen = type == kLast;
    Append(series, data.subspan(1));
    if (series.lastSeen) {
        CloseIo(slave, command, out);
    }
}

void Decoder::IoOfUnknownSize(int slave, bool command, std::span<const std::uint8_t> data, Message& base,
                              std::vector<Message>& out)
{
    // A frame that looks like a first fragment is held until the next one shows whether a series
    // follows; a whole series teaches the decoder the connection's size.
    Series& series = command ? nodes_[static_cast<std::size_t>(slave)].command
                             : nodes_[static_cast<std::size_t>(slave)].answer;
    const int type = data[0] >> 6;
    const int count = data[0] & 0x3F;
    if (series.open) {
        const bool follows = (type == kMiddle && data.size() == kFrameData) || type == kLast;
        if (follows) {
            if (count != series.nextCount) {
                series.broken = true;
                NoteProblem(series.problem, CountText("fragment", count, series.nextCount));
            }
            series.fragments += 1;
            series.nextCount = (count + 1) & 0x3F;
            series.lastUs = base.timeUs;
            series.lastSeen = type == kLast;
            Append(series, data.subspan(1));
            if (series.lastSeen || series.broken) {
                CloseIo(slave, command, out);
            }
            return;
        }
        if (series.fragments > 1) {
            series.broken = true;
            NoteProblem(series.problem, "a frame that is no fragment");
        }
        CloseIo(slave, command, out);
    }
    if (data.size() == kFrameData && data[0] == 0x00) {
        Start(series, base, data[0]);
        series.tentative = true;
        series.fragments = 1;
        series.nextCount = 1;
        Append(series, data.subspan(1));
        return;
    }
    IoWhole(slave, command, data, base, out);
}

} // namespace orv::dnet::monitor
