#include "tools/dnet/Session.h"

#include "tools/dnet/CommandSyntax.h"
#include "tools/dnet/JsonPrinter.h"
#include "tools/dnet/TextPrinter.h"
#include "tools/dnet/commands/Commands.h"

#include "canbus/CandumpFormat.h"
#include "driver/automation/DriverSettings.h"
#include "driver/automation/ModuleConfig.h"

#include <chrono>
#include <cstdlib>

namespace orv::dnet {
namespace {

std::string_view CardName(CardKind card)
{
    switch (card) {
    case CardKind::Vora: return "VORA";
    case CardKind::Sst: return "SST";
    case CardKind::Systec: return "SYSTEC";
    }
    return "?";
}

int RateIndex(int rateKbit)
{
    return rateKbit == 250 ? 1 : rateKbit == 500 ? 2 : 0;
}

} // namespace

Session::Session(const Options& options, std::FILE* out, std::FILE* err) : options_(options), out_(out), err_(err) {}

int Session::Run()
{
    if (!options_.logFile.empty()) {
        std::string why;
        if (!candump_.Open(options_.logFile, canbus::CandumpInterface(BusString()), why)) {
            std::fprintf(err_, "dnet: cannot write the log file '%s'\n", options_.logFile.c_str());
            return kExitUsage;
        }
    }
    int status = kExitOk;
    for (const Command& command : options_.commands) {
        const CommandResult result = Execute(command);
        FetchTrace();
        Print(result);
        if (!result.outcome.Ok()) {
            std::fprintf(err_, "dnet: %s: %s\n", command.text.c_str(), result.outcome.message.c_str());
            status = result.outcome.exit;
            break;
        }
    }
    Finish();
    std::fflush(out_);
    return status == kExitOk && logFailed_ ? kExitFailure : status;
}

CommandResult Session::Execute(const Command& command)
{
    const CommandFamily& family = FamilyOf(command.kind);
    CommandResult result;
    if (family.needsDriver) {
        result.outcome = EnsureDriver();
    }
    if (result.outcome.Ok()) {
        result = family.run(*this, command);
    }
    result.command = CommandName(command.kind);
    return result;
}

Outcome Session::EnsureDriver()
{
    if (initialized_) {
        return {};
    }
    if (!created_) {
        std::string why;
        if (platform::automation::FAILED(driver_.Create(&why))) {
            return {kExitFailure, "cannot create the driver object " + std::string(DriverClient::kProgId) + ": " + why};
        }
        created_ = true;
    }
    if (!driver_.IsInitialized()) {
        automation::DriverSettings settings;
        settings.SetScnId(options_.master);
        settings.SetDataRate(RateIndex(options_.rateKbit));
        settings.SetDriverType(static_cast<int>(options_.card));
        settings.SetDriverName(options_.bus);
        if (!driver_.Init(settings.Data())) {
            return {kExitFailure, WithReason("the " + std::string(CardName(options_.card)) +
                                             " card did not open (Init failed) on bus '" + BusString() + "'")};
        }
    }
    initialized_ = true;
    if (options_.timeoutMs && driver_.SetTimeout(*options_.timeoutMs) != 0) {
        if (options_.card != CardKind::Vora) {
            return {kExitFailure, WithReason("the card refused the time-out (SetTimeout failed)")};
        }
        if (!warnedTimeout_) {
            std::fprintf(err_, "dnet: note: the VORA card keeps its own receive time-out; --timeout applies to "
                               "recv only\n");
            warnedTimeout_ = true;
        }
    }
    return {};
}

Outcome Session::OpenNode(int node, bool withPoll)
{
    automation::ModuleConfig config;
    config.SetExplicitEnabled(1);
    config.SetPollEnabled(withPoll ? 1 : 0);
    if (!driver_.OpenModule(node, config.Data())) {
        return {kExitFailure,
                WithReason("node " + std::to_string(node) + " did not open (no answer, or a connection was refused)")};
    }
    nodes_[node] = NodeState{withPoll};
    return {};
}

Outcome Session::EnsureNode(int node, bool withPoll)
{
    const auto found = nodes_.find(node);
    if (found != nodes_.end() && (!withPoll || found->second.withPoll)) {
        return {};
    }
    return OpenNode(node, withPoll || (found != nodes_.end() && found->second.withPoll));
}

void Session::FetchTrace()
{
    if (!Tracing() || !initialized_ || !cardKeepsTrace_) {
        return;
    }
    char text[DriverClient::kTraceTextSize] = {};
    if (driver_.GetCANMessage(text) != 0) {
        cardKeepsTrace_ = false;
        return;
    }
    text[sizeof text - 1] = '\0';
    trace_.Append(text, std::chrono::system_clock::now());
    if (candump_.IsOpen()) {
        for (; loggedFrames_ < trace_.Frames().size(); ++loggedFrames_) {
            const TracedFrame& frame = trace_.Frames()[loggedFrames_];
            candump_.Write(AsCanFrame(frame), Microseconds(frame.time));
        }
    }
}

void Session::Finish()
{
    if (initialized_) {
        FetchTrace();
        for (const auto& [node, state] : nodes_) {
            driver_.CloseModule(node);
            FetchTrace();
        }
        nodes_.clear();
        driver_.Close(); // its result is -1 whatever happens
        initialized_ = false;
    }
    if (options_.trace) {
        Print(TraceResult{cardKeepsTrace_, !trace_.MayHaveLostFrames(), trace_.Frames()});
    }
    if (Tracing() && created_) {
        if (!cardKeepsTrace_) {
            std::fprintf(err_, "dnet: note: the %s card keeps no CAN trace\n", CardName(options_.card).data());
        } else if (trace_.MayHaveLostFrames()) {
            std::fprintf(err_, "dnet: note: the card's trace was full at times; some frames are missing\n");
        }
    }
    if (candump_.IsOpen() && !candump_.Close()) {
        std::fprintf(err_, "dnet: the log file '%s' is incomplete: %s\n", options_.logFile.c_str(),
                     candump_.LossText().c_str());
        logFailed_ = true;
    }
}

void Session::Print(const Record& record)
{
    if (options_.json) {
        std::fprintf(out_, "%s\n", JsonLine(record).c_str());
    } else {
        for (const std::string& line : TextLines(record)) {
            std::fprintf(out_, "%s\n", line.c_str());
        }
    }
    // Out at once, for a reader at the other end of a pipe.
    std::fflush(out_);
}

void Session::Note(const std::string& text)
{
    std::fprintf(err_, "dnet: %s\n", text.c_str());
}

const eds::Library& Session::EdsLibrary()
{
    if (!edsLibrary_) {
        edsLibrary_.emplace(eds::Library::FoldersFromEnvironment());
    }
    return *edsLibrary_;
}

std::string Session::BusString() const
{
    if (!options_.bus.empty()) {
        return options_.bus;
    }
    const char* fromEnvironment = std::getenv("ORV_CANBUS");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "sim";
}

std::string Session::WithReason(std::string message) const
{
    if (!driver_.InvokeError().empty()) {
        message += " (" + driver_.InvokeError() + ")";
    }
    return message;
}

} // namespace orv::dnet
