#pragma once
// What dnet's commands found out, as records. The command families (commands/) fill them, the
// text printer and the JSON printer turn them into output, and nothing else prints. A record keeps
// what its command learned before it stopped, so a failed command still shows what it has (the
// nodes a scan found so far, a poll connection's sizes).

#include "tools/dnet/CanLog.h"
#include "tools/dnet/Decoding.h"
#include "tools/dnet/monitor/Message.h"

#include "eds/Model.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace orv::dnet {

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorResponse = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailure = 3;

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    Outcome() = default;
    Outcome(int exitStatus, std::string why) : exit(exitStatus), message(std::move(why)) {}

    int exit = kExitOk;
    std::string message; // why, for a failure
    // The codes of the error response that ended the command.
    std::optional<std::uint8_t> generalCode;
    std::optional<std::uint8_t> additionalCode;

    bool Ok() const { return exit == kExitOk; }
};

struct OpenResult {
    int node = 0;
    bool withPoll = false;
};

struct CloseResult {
    int node = 0;
};

struct GetResult {
    int node = 0;
    int classId = 0;
    int instance = 0;
    int attribute = 0;
    std::optional<Bytes> value;           // once the node answered
    std::optional<DecodedValue> decoded; // where the attribute's meaning is known
};

// set and service: a request with data, answered with data.
struct WriteResult {
    int node = 0;
    int classId = 0;
    int instance = 0;
    std::optional<int> attribute; // set
    std::optional<int> service;   // service
    Bytes sent;
    std::optional<Bytes> reply; // once the node answered
};

struct PollResult {
    int node = 0;
    // The poll connection's sizes, once both were read: what the node produces and consumes.
    std::optional<std::uint16_t> produced;
    std::optional<std::uint16_t> consumed;
    std::optional<Bytes> sent;            // once the poll command went out
    std::optional<std::uint16_t> rxId;    // once the response came
    Bytes response;
};

// The Identity attributes (class 1, instance 1) a scan reads of every node it may read, in the
// order it shows them: vendor id, device type, product code, revision, serial number, product
// name, status, state.
inline constexpr int kScanIdentityAttributes[] = {1, 2, 3, 4, 6, 7, 5, 8};

struct IdentityValue {
    int attribute = 0;
    Bytes value;
};

// One node that answered a scan's allocation request.
struct ScannedNode {
    enum class Access {
        Allocated,        // the scan allocated its explicit connection, read it and released it
        AlreadyAllocated, // allocated to this master before the scan: read, left allocated
        Held,             // refused with an object state conflict: another master holds it
        Refused,          // refused with another error
    };
    enum class Release {
        NotOurs,    // the scan did not allocate it, so it was not released
        Released,
        Refused,    // the node answered the Release with an error response
        Unanswered, // no answer to the Release within the window
        NotSent,    // the card refused the Release
    };

    // The codes of an error response; an error response without a general code has none.
    struct Error {
        std::optional<std::uint8_t> generalCode;
        std::optional<std::uint8_t> additionalCode;
    };

    int node = 0;
    Access access = Access::Allocated;
    Error allocationError;               // Held, Refused
    std::vector<IdentityValue> identity; // what was read, in kScanIdentityAttributes order
    // The attribute at which the node stopped answering; the rest was not asked.
    std::optional<int> silentAt;
    Release release = Release::NotOurs;
    Error releaseError; // Release::Refused

    // What the EDS library says of the node, once its vendor id, device type, product code and
    // revision were read.
    struct Eds {
        bool lookedUp = false;
        std::string file; // empty: the library has no EDS for this identity
        std::string vendorName;
        std::string productName;
    };
    Eds eds;
};

struct ScanResult {
    std::vector<ScannedNode> nodes; // by MAC ID
};

struct SendResult {
    int id = 0;
    Bytes data;
};

struct RecvResult {
    std::optional<int> id; // once a frame came
    Bytes data;
};

struct BenchFigures {
    int count = 0;
    double seconds = 0;
    double perSecond = 0;
    std::size_t requestBytes = 0;
    std::size_t answerBytes = 0;
    int rateKbit = 0;
    bool wireTimed = false;
    // On a bus that delivers frames after their time on the wire: what the wire allows.
    struct Wire {
        std::uint32_t requestBits = 0;
        std::uint32_t answerBits = 0;
        double limit = 0;
        double ratio = 0;
    };
    std::optional<Wire> wire;
};

struct BenchResult {
    int node = 0;
    std::optional<BenchFigures> figures; // once every exchange succeeded
};

// monitor and decode, at their end; their messages went out one record each (MessageRecord).
struct MonitorResult {
    std::size_t messages = 0;
    std::size_t skippedLines = 0; // decode: lines that were no candump -L frame
    std::uint64_t dropped = 0;    // monitor: frames the bus could not keep for it
};

// The EDS commands.
// eds: the file checked, and what it describes or where it is broken.
struct EdsResult {
    std::string file;
    std::shared_ptr<const eds::Eds> eds; // once read
    std::optional<eds::Error> error;     // a malformed file, or one that could not be read
};

// The identity a node answered with: what the EDS library matches.
struct NodeIdentity {
    eds::DeviceKey key;
    std::uint8_t minorRevision = 0;
};

// params and param: the node, its identity once read, and the EDS used.
struct EdsOfNode {
    int node = 0;
    std::optional<NodeIdentity> identity;
    std::string edsFile;                 // where the EDS came from
    std::shared_ptr<const eds::Eds> eds; // once found
};

struct ParamReading {
    const eds::Param* param = nullptr; // of the result's EDS
    Bytes data;                        // the answer
    std::optional<eds::Value> value;   // once the answer had the parameter's type and size
    std::string problem;               // why there is no value
};

struct ParamsResult {
    EdsOfNode of;
    std::vector<ParamReading> readings; // by parameter number, as far as the command came
};

struct ParamWriteResult {
    EdsOfNode of;
    const eds::Param* param = nullptr; // once found
    std::optional<eds::Value> value;   // once checked
    std::optional<Bytes> sent;         // once the node took it
};

using CommandBody = std::variant<std::monostate, OpenResult, CloseResult, GetResult, WriteResult, PollResult,
                                 ScanResult, SendResult, RecvResult, BenchResult, MonitorResult, EdsResult,
                                 ParamsResult, ParamWriteResult>;

// One command as it ended. The body is empty when the command did not start (the driver did not
// open).
struct CommandResult {
    std::string_view command; // its name
    Outcome outcome;
    CommandBody body;
};

// The CAN traffic of the session, printed at exit with --trace.
struct TraceResult {
    bool available = true; // the card keeps a trace
    bool complete = true;  // the card's trace never filled up
    std::span<const TracedFrame> frames;
};

// One DeviceNet message that monitor or decode saw, printed as it comes; the text form counts time
// from `originUs`, the session's first message.
struct MessageRecord {
    monitor::Message message;
    std::uint64_t originUs = 0;
};

// Everything dnet prints on standard output.
using Record = std::variant<CommandResult, TraceResult, MessageRecord>;

} // namespace orv::dnet
