#pragma once
// One dnet run: the driver object opened on first need, the commands in order (stopping at the
// first failure), and at the end the nodes closed, the driver closed and the CAN trace printed or
// logged.

#include "tools/dnet/CanLog.h"
#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Json.h"
#include "viewer/app/DriverClient.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <string>

namespace orv::dnet {

using viewer::DriverClient;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitErrorResponse = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFailure = 3;

// The card's receive time-out until SetTimeout changes it.
inline constexpr std::uint32_t kCardDefaultTimeoutMs = 1000;
// The buffer handed to every explicit request: request data, then the reply.
inline constexpr std::size_t kReplyBufferSize = 1024;

class Session {
public:
    // `out` takes the command output, `err` the one-line failure messages.
    Session(const Options& options, std::FILE* out, std::FILE* err);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs the commands and ends the session; the exit status.
    int Run();

private:
    struct Outcome {
        int exit = kExitOk;
        std::string message; // why, for a failure
    };
    struct NodeState {
        bool withPoll = false;
    };

    Outcome Execute(const Command& command, JsonObject& json);
    Outcome Open(const Command& command, JsonObject& json);
    Outcome Close(const Command& command, JsonObject& json);
    Outcome Get(const Command& command, JsonObject& json);
    Outcome Set(const Command& command, JsonObject& json);
    Outcome Service(const Command& command, JsonObject& json);
    Outcome Poll(const Command& command, JsonObject& json);
    Outcome Scan(const Command& command, JsonObject& json);
    Outcome Send(const Command& command, JsonObject& json);
    Outcome Recv(JsonObject& json);
    Outcome Bench(const Command& command, JsonObject& json);

    // The driver created and initialised; the timeout set.
    Outcome EnsureDriver();
    // The node opened with its explicit connection (and its poll connection when `withPoll`).
    Outcome EnsureNode(int node, bool withPoll);
    Outcome OpenNode(int node, bool withPoll);
    // One explicit request whose reply lands in `buffer`; judges the reply. `what` names the
    // request in messages ("get 1/1/7").
    Outcome Explicit(std::int32_t rval, const std::uint8_t* buffer, std::uint8_t service, const std::string& what,
                     int node, std::vector<std::uint8_t>& data, JsonObject& json);
    // A Get_Attribute_Single of a 16-bit value.
    Outcome GetUInt16(int node, int classId, int instance, int attribute, std::uint16_t& value);
    Outcome ScanByAllocate(std::uint32_t waitMs, std::vector<std::string>& nodesJson);
    Outcome ScanByFrames(std::uint32_t waitMs, std::vector<std::string>& nodesJson);
    void ReportNode(int node, bool allocated, std::vector<std::string>& nodesJson);
    std::uint32_t ReceiveTimeout() const;

    void FetchTrace();
    void Finish();
    void PrintTrace();

    void Print(const std::string& line);
    std::string BusString() const;

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    DriverClient driver_;
    bool created_ = false;
    bool initialized_ = false;
    bool warnedTimeout_ = false;
    bool cardKeepsTrace_ = true;
    std::map<int, NodeState> nodes_;
    CanLog log_;
    std::size_t loggedFrames_ = 0;
    std::ofstream logFile_;
};

} // namespace orv::dnet
