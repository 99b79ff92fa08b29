#pragma once
// What the monitor makes of the bus: timed frames in, DeviceNet messages out. A message is one
// frame, or the whole of a fragmented message, or a fragment series that did not make one.

#include "canbus/Frame.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orv::dnet::monitor {

struct TimedFrame {
    std::uint64_t timeUs = 0; // microseconds, on any clock that does not go back
    canbus::Frame frame;
};

enum class MessageKind {
    DuplicateMacCheck,   // request or response (`response`), with port, vendor and serial number
    Allocate,            // Allocate_Master/Slave_Connection_Set request: `choice`, `allocator`
    Release,             // Release_Master/Slave_Connection_Set request: `choice`
    AllocateResponse,    // success answer to Allocate (`bodyFormat`) or Release
    ExplicitRequest,     // `service`, path, `data`
    ExplicitResponse,    // `service` (bit 7 set), `data`; path of the request it answers
    ErrorResponse,       // `generalError`, `additionalError`; path of the request it answers
    Acknowledgement,     // a fragment acknowledgement that belongs to no series seen
    BrokenSeries,        // fragments that did not make a whole message; `problem` says why
    Io,                  // I/O data (poll command and response, bit-strobe, ...)
    Malformed,           // too short or ill-formed for its kind; `problem` says how
    Other,               // a DeviceNet message this monitor does not decode further
    NotDeviceNet,        // an extended or remote frame, or an identifier DeviceNet does not use
};

inline constexpr int kUnknownMac = -1;
inline constexpr int kEveryone = 64; // to: all nodes (duplicate MAC ID check)

struct Message {
    MessageKind kind = MessageKind::Other;
    std::uint64_t timeUs = 0; // the frame that completed the message
    std::uint32_t canId = 0;  // of that frame
    bool extended = false;
    int group = 0;
    int messageId = -1;
    int from = kUnknownMac;
    int to = kUnknownMac;

    // Explicit messages.
    bool xid = false;
    int service = -1;        // as sent, response bit included
    int requestService = -1; // of an answer: the service of the request it answers, where seen
    int classId = -1; // for answers: of the request answered, where it was seen
    int instance = -1;
    int attribute = -1;
    int generalError = -1;
    int additionalError = -1;

    // Allocate and Release, and their answers.
    int choice = -1;
    int allocator = -1;
    int bodyFormat = -1;

    // Duplicate MAC ID check.
    bool response = false;
    int port = -1;
    std::uint16_t vendor = 0;
    std::uint32_t serial = 0;

    // Service data, I/O data or the raw frame data, at most the decoder's byte limit; `length`
    // is the whole length.
    std::vector<std::uint8_t> data;
    std::size_t length = 0;

    // Fragmentation: the frames of a fragmented message (0: one frame); explicit fragments
    // acknowledged; of an acknowledgement, its count and status.
    int fragments = 0;
    int acknowledged = 0;
    bool explicitSeries = true; // of a broken series: explicit (else I/O)
    int ackCount = -1;
    int ackStatus = -1;
    std::string problem;

    // What the node's EDS says of the attribute, where the node's EDS is known (EdsNames): the
    // parameter's name, and the value as the parameter shows it, as text and as JSON (empty when
    // the message carries none).
    std::string edsName;
    std::string edsText;
    std::string edsJson;
};

} // namespace orv::dnet::monitor
