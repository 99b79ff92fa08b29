// brelinsim: the simulated Brelin as a program on a bus shared with other processes.

#include "canbus/Bus.h"
#include "canbus/BusString.h"
#include "devsim/BrelinDevice.h"
#include "devsim/CandumpLog.h"
#include "devsim/PseudoTerminal.h"
#include "devsim/SimCommandLine.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int) { stopRequested = true; }

std::uint32_t NowMs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// The interface name the log shows: the CAN channel the bus string names.
std::string LogInterface(const canbus::BusAddress& address)
{
    switch (address.kind) {
    case canbus::BusAddress::Kind::Tcp: return "can" + std::to_string(address.channel);
    case canbus::BusAddress::Kind::SocketCan: return address.interface;
    default: return "can0";
    }
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

    devsim::CandumpLog log;
    if (!line.logPath.empty() && !log.Open(line.logPath, LogInterface(address), error)) {
        std::fprintf(stderr, "brelinsim: %s\n", error.c_str());
        return 1;
    }

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
        log.Write(frame);
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

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("brelinsim: MAC ID %d on %s at %u bit/s, faults: %s\n", line.node, line.bus.c_str(),
                static_cast<unsigned>(line.bitrate), devsim::DescribeFaults(line.faults).c_str());
    if (terminal) {
        std::printf("serial: %s\n", terminal->Name().c_str());
    }
    std::fflush(stdout);

    std::uint8_t input[256];
    while (!stopRequested) {
        const std::uint32_t now = NowMs();
        bool idle = true;
        canbus::Frame frame;
        while (bus->TryReceive(frame)) {
            log.Write(frame);
            device.OnFrame(frame, now);
            idle = false;
        }
        if (terminal) {
            if (const std::size_t n = terminal->Read(input); n > 0) {
                device.SerialInput(std::span(input, n), now);
                idle = false;
            }
        }
        device.Poll(now);
        if (idle) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    bus->Close();
    const canbus::BusCounters counters = bus->Counters();
    std::printf("brelinsim: stopped; %llu frames received, %llu sent, %llu refused by the bus\n",
                static_cast<unsigned long long>(counters.received), static_cast<unsigned long long>(counters.sent),
                static_cast<unsigned long long>(refused));
    return 0;
}
