// brelinsim: the simulated Brelin as a program on a bus shared with other processes.

#include "canbus/Bus.h"
#include "canbus/BusString.h"
#include "canbus/CandumpLog.h"
#include "canbus/CandumpFormat.h"
#include "devsim/BrelinDevice.h"
#include "devsim/PseudoTerminal.h"
#include "devsim/SimCommandLine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

constexpr std::uint64_t kNsPerMs = 1'000'000;

std::uint64_t NowNs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

// The device's clock: a wrapping millisecond count.
std::uint32_t Milliseconds(std::uint64_t ns) { return static_cast<std::uint32_t>(ns / kNsPerMs); }

// Sleeps until a frame is pending, bytes were typed on the terminal, the device's next timer runs
// (`timerMs` after the millisecond `nowNs` lies in) or a stop signal comes, which `waitMask` lets
// through while it sleeps.
void SleepUntilWork(const canbus::Bus& bus, const devsim::PseudoTerminal* terminal,
                    std::optional<std::uint32_t> timerMs, std::uint64_t nowNs, const sigset_t& waitMask)
{
    pollfd fds[2] = {{bus.ReadyDescriptor(), POLLIN, 0}, {terminal ? terminal->Descriptor() : -1, POLLIN, 0}};
    timespec timeout{};
    if (timerMs) {
        // The device has run its timers of this millisecond; the next ones run in a later one.
        const std::uint64_t due = nowNs - nowNs % kNsPerMs + std::max<std::uint64_t>(*timerMs, 1) * kNsPerMs;
        const std::uint64_t left = due - std::min(due, NowNs());
        timeout = {static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
    }
    ::ppoll(fds, 2, timerMs ? &timeout : nullptr, &waitMask);
}

std::string Printable(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const auto byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

std::uint8_t BaudIndex(std::uint32_t bitrate) { return bitrate == 500000 ? 2 : bitrate == 250000 ? 1 : 0; }

} // namespace

int main(int argc, char** argv)
{
    // The stop signals are let through only while the main loop sleeps, so that none slips in
    // between its test of stopRequested and its sleep. Blocked before the bus starts its thread,
    // which inherits the mask and so leaves the signals to this one.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, &waitMask);

    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    devsim::SimCommandLine line;
    std::string error;
    if (!devsim::ParseSimCommandLine(arguments, line, error)) {
        std::fprintf(stderr, "brelinsim: %s\n%s", error.c_str(), devsim::SimUsage().c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(devsim::SimUsage().c_str(), stdout);
        return 0;
    }

    canbus::BusAddress address;
    if (!canbus::ParseBusString(line.bus, address, error)) {
        std::fprintf(stderr, "brelinsim: %s\n", error.c_str());
        return 2;
    }
    if (address.kind == canbus::BusAddress::Kind::Sim) {
        std::fprintf(stderr, "brelinsim: the sim bus lives inside one process and has its own simulated Brelin; "
                             "use tcp://HOST:PORT/canN or socketcan:IFACE\n");
        return 2;
    }
    const auto bus = canbus::OpenBus(line.bus, line.bitrate, error);
    if (!bus) {
        std::fprintf(stderr, "brelinsim: %s\n", error.c_str());
        return 1;
    }

    canbus::CandumpLog log;
    if (!line.logPath.empty() && !log.Open(line.logPath, canbus::CandumpInterface(line.bus), error)) {
        std::fprintf(stderr, "brelinsim: cannot write the log %s: %s\n", line.logPath.c_str(), error.c_str());
        return 1;
    }
    // A lost line is reported once as it happens, and again with the count at the end.
    bool logFailureReported = false;
    const auto logFrame = [&](const canbus::Frame& frame) {
        if (log.IsOpen() && !log.Write(frame) && !logFailureReported) {
            std::fprintf(stderr, "brelinsim: writing the log %s failed (%s); frames may be missing from it\n",
                         line.logPath.c_str(), log.Reason().c_str());
            logFailureReported = true;
        }
    };

    std::unique_ptr<devsim::PseudoTerminal> terminal;
    if (line.serialPty) {
        terminal = devsim::PseudoTerminal::Open(error);
        if (!terminal) {
            std::fprintf(stderr, "brelinsim: %s\n", error.c_str());
            return 1;
        }
    }

    devsim::BrelinDevice::Options options;
    options.macId = static_cast<std::uint8_t>(line.node);
    options.baudRate = BaudIndex(line.bitrate);
    options.busBaudRate = BaudIndex(line.bitrate);
    options.duplicateMacCheck = line.macCheck;
    options.restartMs = 500;
    options.faults = line.faults;
    devsim::BrelinDevice device(options);

    std::uint64_t refused = 0;
    device.SetSink([&](const canbus::Frame& frame) {
        logFrame(frame);
        if (!bus->Send(frame)) {
            ++refused;
        }
    });
    device.SetSerialSink([&](std::span<const std::uint8_t> bytes) {
        if (!terminal) {
            std::printf("serial> %s\n", Printable(bytes).c_str());
            std::fflush(stdout);
        } else if (!terminal->Write(bytes)) {
            device.InjectSerialErrors(false, false, true); // nobody reads the terminal: transmit overrun
        }
    });

    struct sigaction stop {};
    stop.sa_handler = OnSignal;
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGTERM, &stop, nullptr);
    std::printf("brelinsim: MAC ID %d on %s at %u bit/s, faults: %s\n", line.node, line.bus.c_str(),
                static_cast<unsigned>(line.bitrate), devsim::DescribeFaults(line.faults).c_str());
    if (terminal) {
        std::printf("serial: %s\n", terminal->Name().c_str());
    }
    std::fflush(stdout);

    // What the bus says of itself (its interface lost or back, frames it dropped), as it happens.
    const auto reportBus = [&] {
        for (canbus::BusNotice notice; bus->TakeNotice(notice);) {
            std::fprintf(stderr, "brelinsim: %s\n", notice.text.c_str());
        }
    };

    std::uint8_t input[256];
    while (!stopRequested) {
        const std::uint64_t nowNs = NowNs();
        const std::uint32_t now = Milliseconds(nowNs);
        canbus::Frame frame;
        while (bus->TryReceive(frame)) {
            logFrame(frame);
            device.OnFrame(frame, now);
        }
        reportBus();
        if (terminal) {
            for (std::size_t n = terminal->Read(input); n > 0; n = terminal->Read(input)) {
                device.SerialInput(std::span(input, n), now);
            }
        }
        device.Poll(now);
        SleepUntilWork(*bus, terminal.get(), device.NextTimer(now), nowNs, waitMask);
    }
    bus->Close();
    reportBus();
    const canbus::BusCounters counters = bus->Counters();
    std::printf("brelinsim: stopped; %llu frames received, %llu sent, %llu refused by the bus, %llu dropped by it\n",
                static_cast<unsigned long long>(counters.received), static_cast<unsigned long long>(counters.sent),
                static_cast<unsigned long long>(refused), static_cast<unsigned long long>(counters.dropped));
    if (device.HeldOverflow() != 0) {
        std::printf("brelinsim: %llu frames dropped by the delay fault, which held as many as it may\n",
                    static_cast<unsigned long long>(device.HeldOverflow()));
    }
    std::fflush(stdout);
    if (!log.Close()) {
        std::fprintf(stderr, "brelinsim: the log %s is incomplete: %s\n", line.logPath.c_str(), log.LossText().c_str());
        return 1;
    }
    return 0;
}
