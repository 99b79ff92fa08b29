#pragma once
// One dnet run: the driver object opened on first need, the commands in order (stopping at the
// first failure), and at the end the nodes closed, the driver closed and the CAN trace printed or
// logged. The session holds the state the commands share; the commands themselves live in
// commands/, one file per family, and return records that the printers turn into output.

#include "tools/dnet/CanLog.h"
#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Results.h"
#include "viewer/app/DriverClient.h"

#include "canbus/CandumpLog.h"
#include "eds/Library.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string>

namespace orv::dnet {

using viewer::DriverClient;

// The card's receive time-out until SetTimeout changes it.
inline constexpr std::uint32_t kCardDefaultTimeoutMs = 1000;

class Session {
public:
    // `out` takes the records, `err` the one-line failure messages and notes.
    Session(const Options& options, std::FILE* out, std::FILE* err);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs the commands and ends the session; the exit status.
    int Run();

    // What the command families use.
    const Options& Settings() const { return options_; }
    DriverClient& Driver() { return driver_; }
    // The node opened with its explicit connection (and its poll connection when `withPoll`),
    // unless the session has it open so already.
    Outcome EnsureNode(int node, bool withPoll);
    Outcome OpenNode(int node, bool withPoll);
    void ForgetNode(int node) { nodes_.erase(node); }
    bool IsOpen(int node) const { return nodes_.contains(node); }
    // Moves the card's trace into the session's record (and the log) when it is kept.
    void FetchTrace();
    // True when the card's trace is wanted: --trace or --log.
    bool Tracing() const { return options_.trace || candump_.IsOpen(); }
    // The receive time-out the card has when no command changed it.
    std::uint32_t ReceiveTimeout() const { return options_.timeoutMs.value_or(kCardDefaultTimeoutMs); }
    // The bus the cards open: --bus, else $ORV_CANBUS, else sim.
    std::string BusString() const;
    // `message` with the automation runtime's reason for the last failed call, when there is one.
    std::string WithReason(std::string message) const;
    // Prints a record at once, as text or JSON.
    void Print(const Record& record);
    // A note for people on standard error: "dnet: `text`".
    void Note(const std::string& text);
    // The driver created and initialised; the timeout set. A command that runs without the driver
    // until it has checked what it was given calls it itself.
    Outcome EnsureDriver();
    // The EDS library of this user, indexed at the first call.
    const eds::Library& EdsLibrary();

private:
    CommandResult Execute(const Command& command);
    void Finish();

    struct NodeState {
        bool withPoll = false;
    };

    const Options& options_;
    std::FILE* out_;
    std::FILE* err_;
    DriverClient driver_;
    bool created_ = false;
    bool initialized_ = false;
    bool warnedTimeout_ = false;
    bool cardKeepsTrace_ = true;
    std::map<int, NodeState> nodes_;
    CanLog trace_;
    canbus::CandumpLog candump_;
    std::size_t loggedFrames_ = 0;
    bool logFailed_ = false;
    std::optional<eds::Library> edsLibrary_;
};

} // namespace orv::dnet
