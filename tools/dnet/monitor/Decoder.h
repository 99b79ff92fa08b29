#pragma once
// The DeviceNet decoder of the monitor: fed timed CAN frames, it hands out whole DeviceNet
// messages. It owns no bus and no clock: time comes with the frames (and with Advance when the
// bus is quiet), messages go into the caller's vector.
//
// It follows each connection: per pair of slave and master MAC ID the explicit messages both ways
// (fragment series with their acknowledgements, the request an answer belongs to, the message body
// format agreed at allocation), and per slave its poll connection (the master that allocated it,
// the connection sizes read from its Connection object, which say whether I/O data comes in
// fragments). What it keeps is bounded whatever the bus sends: a fixed number of pairs (the least
// recently used gives way), a fixed number of bytes per message, and a series that falls silent is
// reported and dropped.

#include "tools/dnet/monitor/Message.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orv::dnet::monitor {

class Decoder {
public:
    struct Limits {
        std::size_t connections = 128;              // MAC ID pairs followed at once
        std::size_t messageBytes = 512;             // bytes kept of one message
        std::uint64_t seriesTimeoutUs = 3'000'000;  // a fragment series silent this long is broken
    };

    Decoder() : Decoder(Limits{}) {}
    explicit Decoder(Limits limits);

    // One frame; appends the messages it completes (none, one or a few) to `out`.
    void Feed(const TimedFrame& frame, std::vector<Message>& out);
    // The bus has been quiet until `nowUs`: series silent for longer than the time-out end.
    void Advance(std::uint64_t nowUs, std::vector<Message>& out);
    // The end of the traffic: every series still open ends.
    void Finish(std::vector<Message>& out);

    // MAC ID pairs followed now (at most Limits::connections).
    std::size_t Connections() const { return pairs_.size(); }

private:
    struct Series {
        bool open = false;
        bool lastSeen = false;
        bool broken = false;
        bool tentative = false; // I/O fragments of a connection whose size is not known
        std::string problem;
        std::uint8_t header = 0;
        int nextCount = 0;
        int lastCount = -1;
        int fragments = 0;
        int acknowledged = 0;
        std::uint64_t sentMask = 0;
        std::uint64_t ackMask = 0;
        std::vector<std::uint8_t> body;
        std::size_t length = 0;
        std::uint64_t firstUs = 0;
        std::uint64_t lastUs = 0;
        std::uint32_t canId = 0;
    };
    struct Pending {
        int service = -1;
        int classId = -1;
        int instance = -1;
        int attribute = -1;
        int choice = -1;
    };
    struct Pair {
        int slave = 0;
        int master = 0;
        std::uint64_t used = 0;
        int bodyFormat = 0; // of the explicit connection: 0 8/8, 1 8/16, 2 16/16, 3 16/8
        Pending pending;
        Series request;  // master to slave
        Series response; // slave to master
    };
    struct Node {
        int pollMaster = kUnknownMac;
        int consumedSize = -1; // poll command bytes; -1 not known
        int producedSize = -1; // poll response bytes
        Series command;
        Series answer;
    };

    Pair& PairFor(int slave, int master, std::vector<Message>& out);
    void Explicit(const canbus::Frame& frame, Message& base, std::vector<Message>& out);
    void Fragment(Pair& pair, bool request, int type, int count, std::span<const std::uint8_t> body,
                  const Message& base, std::vector<Message>& out);
    void Acknowledge(Pair& pair, bool ofRequest, int count, int status, Message& base, std::vector<Message>& out);
    // Ends the series of one direction of `pair`: a whole message when it made one, else broken.
    void CloseExplicit(Pair& pair, bool request, std::uint64_t timeUs, std::vector<Message>& out);
    Message DecodeExplicit(Pair& pair, bool request, bool unconnected, std::uint8_t header,
                           std::span<const std::uint8_t> body, std::size_t length, const Message& base);
    void DecodeRequest(Pair& pair, bool unconnected, std::span<const std::uint8_t> body, std::size_t length,
                       Message& message);
    // An answer takes the path of the request it answers, and teaches the decoder what the
    // connection set's answers tell: the message body format, the poll master, the poll sizes.
    void DecodeAnswer(Pair& pair, std::span<const std::uint8_t> body, std::size_t length, Message& message);
    void Io(int slave, bool command, const canbus::Frame& frame, Message& base, std::vector<Message>& out);
    void IoOfUnknownSize(int slave, bool command, std::span<const std::uint8_t> data, Message& base,
                         std::vector<Message>& out);
    void IoWhole(int slave, bool command, std::span<const std::uint8_t> data, Message& base, std::vector<Message>& out);
    void CloseIo(int slave, bool command, std::vector<Message>& out);
    Message IoBase(int slave, bool command, const Series& series) const;
    void Start(Series& series, const Message& base, std::uint8_t header);
    void Append(Series& series, std::span<const std::uint8_t> bytes);
    void Keep(Message& message, std::span<const std::uint8_t> bytes, std::size_t length) const;

    Limits limits_;
    std::vector<Pair> pairs_;
    std::array<std::int16_t, 64 * 64> pairIndex_{};
    std::array<Node, 64> nodes_{};
    std::uint64_t useClock_ = 0;
    std::uint64_t nextSweepUs_ = 0;
};

} // namespace orv::dnet::monitor
