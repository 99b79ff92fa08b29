#include "tools/dnet/Monitor.h"

#include "canbus/Bus.h"
#include "tools/dnet/Session.h"
#include "tools/dnet/monitor/CandumpReader.h"
#include "tools/dnet/monitor/Decoder.h"
#include "tools/dnet/monitor/JsonFormat.h"
#include "tools/dnet/monitor/TextFormat.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>

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

class Printer {
public:
    Printer(bool json, std::FILE* out) : json_(json), out_(out) {}

    void Print(std::vector<Message>& messages)
    {
        for (const Message& message : messages) {
            if (!started_) {
                started_ = true;
                originUs_ = message.timeUs;
            }
            const std::string line = json_ ? monitor::JsonLine(message) : monitor::TextLine(message, originUs_);
            std::fputs(line.c_str(), out_);
            std::fputc('\n', out_);
        }
        messages.clear();
    }

private:
    bool json_;
    std::FILE* out_;
    bool started_ = false;
    std::uint64_t originUs_ = 0; // text times count from the first message
};

std::uint64_t NowUs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
}

int Monitor(const Command& command, const Options& options, std::FILE* out, std::FILE* err)
{
    std::string bus = !command.bus.empty() ? command.bus : options.bus;
    if (bus.empty()) {
        const char* environment = std::getenv("ORV_CANBUS");
        bus = environment != nullptr && *environment != '\0' ? environment : std::string(kDefaultMonitorBus);
    }
    std::string error;
    canbus::OpenOptions open;
    open.joinOnly = true;
    const auto device = canbus::OpenBus(bus, static_cast<std::uint32_t>(options.rateKbit) * 1000, error, open);
    if (!device) {
        std::fprintf(err, "dnet: monitor: %s\n", error.c_str());
        return kExitFailure;
    }
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    std::fprintf(err, "dnet: watching %s (interrupt to stop)\n", bus.c_str());

    monitor::Decoder decoder;
    Printer printer(command.json || options.json, out);
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
        if (!messages.empty()) {
            printer.Print(messages);
            std::fflush(out);
        }
    }
    decoder.Finish(messages);
    printer.Print(messages);
    std::fflush(out);
    const canbus::BusCounters counters = device->Counters();
    if (counters.dropped > 0) {
        std::fprintf(err, "dnet: monitor: the bus dropped %llu frames\n", static_cast<unsigned long long>(counters.dropped));
    }
    return kExitOk;
}

} // namespace

int DecodeLog(std::istream& log, bool json, std::FILE* out, std::FILE* err)
{
    monitor::Decoder decoder;
    Printer printer(json, out);
    std::vector<Message> messages;
    std::size_t unreadable = 0;
    std::string line;
    while (std::getline(log, line)) {
        if (line.find_first_not_of(" \r") == std::string::npos) {
            continue;
        }
        const auto frame = monitor::ParseCandumpLine(line);
        if (!frame) {
            ++unreadable;
            continue;
        }
        decoder.Feed(*frame, messages);
        printer.Print(messages);
    }
    decoder.Finish(messages);
    printer.Print(messages);
    if (unreadable > 0) {
        std::fprintf(err, "dnet: decode: %zu lines were not candump -L frames and were skipped\n", unreadable);
    }
    return kExitOk;
}

int RunMonitorCommand(const Command& command, const Options& options, std::FILE* out, std::FILE* err)
{
    if (command.kind == Command::Kind::Monitor) {
        return Monitor(command, options, out, err);
    }
    std::ifstream log(command.file);
    if (!log) {
        std::fprintf(err, "dnet: decode: cannot read '%s'\n", command.file.c_str());
        return kExitFailure;
    }
    return DecodeLog(log, command.json || options.json, out, err);
}

} // namespace orv::dnet
