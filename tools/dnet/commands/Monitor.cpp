// monitor and decode: the traffic of a bus, or of a candump -L log, as DeviceNet messages through
// the monitor's decoder (tools/dnet/monitor). Neither needs the driver: monitor joins the bus itself
// as a listener. Each message is printed as it is decoded; the command's own record comes last.

#include "tools/dnet/Session.h"
#include "tools/dnet/commands/Commands.h"
#include "tools/dnet/monitor/Decoder.h"
#include "tools/dnet/monitor/EdsNames.h"

#include "canbus/Bus.h"
#include "canbus/CandumpFormat.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace orv::dnet {
namespace {

using monitor::Message;

constexpr std::string_view kDefaultMonitorBus = "tcp://127.0.0.1:35468/can0";
constexpr auto kQuietWait = std::chrono::milliseconds(250);

std::atomic<bool> g_stop{false};

extern "C" void OnStopSignal(int)
{
    g_stop = true;
}

// The EDS of a device from the session's EDS library, for naming its attributes.
std::shared_ptr<const eds::Eds> FindInLibrary(Session& session, const eds::DeviceKey& key)
{
    const eds::Library& library = session.EdsLibrary();
    const eds::LibraryFile* file = library.Find(key);
    if (file == nullptr) {
        return nullptr;
    }
    eds::Error error;
    auto found = library.Load(*file, error);
    if (!found) {
        session.Note("EDS library: " + file->path.string() + ": " + error.Text());
    }
    return found;
}

// Prints decoded messages one record each, named from the nodes' EDS files where the library has
// them; text times count from the first message.
class MessageOutput {
public:
    explicit MessageOutput(Session& session)
        : session_(session), names_([&session](const eds::DeviceKey& key) { return FindInLibrary(session, key); })
    {
    }

    void Print(std::vector<Message>& messages)
    {
        for (Message& message : messages) {
            if (count_ == 0) {
                originUs_ = message.timeUs;
            }
            ++count_;
            names_.Annotate(message);
            session_.Print(MessageRecord{std::move(message), originUs_});
        }
        messages.clear();
    }

    std::size_t Count() const { return count_; }

private:
    Session& session_;
    monitor::EdsNames names_;
    std::size_t count_ = 0;
    std::uint64_t originUs_ = 0;
};

std::uint64_t NowUs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

// monitor --bus, else --bus, else $ORV_CANBUS, else the default TCP bus.
std::string MonitorBus(const Session& session, const Command& command)
{
    if (!command.bus.empty()) {
        return command.bus;
    }
    if (!session.Settings().bus.empty()) {
        return session.Settings().bus;
    }
    const char* environment = std::getenv("ORV_CANBUS");
    return environment != nullptr && *environment != '\0' ? environment : std::string(kDefaultMonitorBus);
}

// What the bus says of itself (its interface lost or back, frames it dropped), as it happens.
void ReportBus(Session& session, canbus::Bus& bus)
{
    for (canbus::BusNotice notice; bus.TakeNotice(notice);) {
        session.Note("monitor: " + notice.text);
    }
}

} // namespace

CommandResult RunMonitor(Session& session, const Command& command)
{
    CommandResult result{{}, {}, MonitorResult{}};
    const std::string bus = MonitorBus(session, command);
    std::string error;
    canbus::OpenOptions open;
    open.joinOnly = true;
    const auto device =
        canbus::OpenBus(bus, static_cast<std::uint32_t>(session.Settings().rateKbit) * 1000, error, open);
    if (!device) {
        result.outcome = {kExitFailure, error};
        return result;
    }
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    session.Note("watching " + bus + " (interrupt to stop)");

    monitor::Decoder decoder;
    MessageOutput output(session);
    std::vector<Message> messages;
    while (!g_stop) {
        if (!device->WaitForFrame(kQuietWait)) {
            decoder.Advance(NowUs(), messages);
        }
        monitor::TimedFrame timed;
        while (device->TryReceive(timed.frame)) {
            timed.timeUs = NowUs();
            decoder.Feed(timed, messages);
        }
        output.Print(messages);
        ReportBus(session, *device);
    }
    decoder.Finish(messages);
    output.Print(messages);
    device->Close(); // a bus counts at close what it dropped with nothing after
    ReportBus(session, *device);
    MonitorResult& figures = std::get<MonitorResult>(result.body);
    figures.messages = output.Count();
    figures.dropped = device->Counters().dropped;
    if (figures.dropped > 0) {
        session.Note("monitor: the bus dropped " + std::to_string(figures.dropped) + " frames");
    }
    return result;
}

CommandResult RunDecode(Session& session, const Command& command)
{
    CommandResult result{{}, {}, MonitorResult{}};
    std::ifstream log(command.file);
    if (!log) {
        result.outcome = {kExitFailure, "cannot read '" + command.file + "'"};
        return result;
    }
    monitor::Decoder decoder;
    MessageOutput output(session);
    std::vector<Message> messages;
    MonitorResult& figures = std::get<MonitorResult>(result.body);
    std::string line;
    while (std::getline(log, line)) {
        if (line.find_first_not_of(" \r") == std::string::npos) {
            continue;
        }
        const auto entry = canbus::ParseCandumpLine(line);
        if (!entry) {
            ++figures.skippedLines;
            continue;
        }
        decoder.Feed(monitor::TimedFrame{entry->microseconds, entry->frame}, messages);
        output.Print(messages);
    }
    decoder.Finish(messages);
    output.Print(messages);
    figures.messages = output.Count();
    if (figures.skippedLines > 0) {
        session.Note("decode: " + std::to_string(figures.skippedLines) +
                     " lines were not candump -L frames and were skipped");
    }
    return result;
}

} // namespace orv::dnet
