#include "devsim/SimCommandLine.h"

#include <charconv>

namespace devsim {

namespace {

bool ParseUnsigned(std::string_view text, std::uint32_t& value)
{
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && ptr == text.data() + text.size() && !text.empty();
}

} // namespace

bool ParseSimCommandLine(std::span<const std::string_view> arguments, SimCommandLine& line, std::string& error)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view option = arguments[i];
        const auto value = [&](std::string_view& out) {
            if (i + 1 >= arguments.size()) {
                error = std::string(option) + " needs a value";
                return false;
            }
            out = arguments[++i];
            return true;
        };
        std::string_view text;
        std::uint32_t number = 0;
        if (option == "--help" || option == "-h") {
            line.help = true;
            return true;
        } else if (option == "--bus") {
            if (!value(text)) {
                return false;
            }
            line.bus = text;
        } else if (option == "--node") {
            if (!value(text)) {
                return false;
            }
            if (!ParseUnsigned(text, number) || number > 63) {
                error = "--node takes a MAC ID from 0 to 63, not '" + std::string(text) + "'";
                return false;
            }
            line.node = static_cast<int>(number);
        } else if (option == "--log") {
            if (!value(text)) {
                return false;
            }
            line.logPath = text;
        } else if (option == "--serial-pty") {
            line.serialPty = true;
        } else if (option == "--bitrate") {
            if (!value(text)) {
                return false;
            }
            if (!ParseUnsigned(text, number) || (number != 125000 && number != 250000 && number != 500000)) {
                error = "--bitrate takes 125000, 250000 or 500000, not '" + std::string(text) + "'";
                return false;
            }
            line.bitrate = number;
        } else if (option == "--no-mac-check") {
            line.macCheck = false;
        } else if (option == "--fault") {
            if (!value(text) || !ParseFaults(text, line.faults, error)) {
                return false;
            }
        } else {
            error = "unknown option '" + std::string(option) + "'";
            return false;
        }
    }
    if (line.bus.empty() || line.node < 0) {
        error = "--bus and --node are needed";
        return false;
    }
    return true;
}

std::string SimUsage()
{
    return "Usage: brelinsim --bus BUSSTRING --node N [--log FILE] [--serial-pty] [--fault LIST]...\n"
           "                 [--bitrate BPS] [--no-mac-check]\n"
           "The simulated Brelin DeviceNet-to-serial gateway, a Group 2 only slave at MAC ID N.\n"
           "\n"
           "  --bus BUSSTRING  tcp://HOST:PORT/canN (shared between processes; the first to listen\n"
           "                   is the hub) or socketcan:IFACE\n"
           "  --node N         MAC ID, 0 to 63\n"
           "  --log FILE       write every frame seen and sent in candump -L format\n"
           "  --serial-pty     attach the serial side to a pseudo-terminal and print its name;\n"
           "                   without it, what the device transmits is printed as 'serial> ...'\n"
           "  --bitrate BPS    the bus data rate: 125000 (default), 250000 or 500000; the device\n"
           "                   starts at this rate and hears nothing once set to another one\n"
           "  --no-mac-check   go on line at once, without the 2 s duplicate MAC ID check\n"
           "  --fault LIST     inject faults into what the device sends, or set its switches;\n"
           "                   LIST is one or more of (comma-separated, or repeat --fault):\n"
           "                     drop=N           drop every Nth frame (1: all)\n"
           "                     dup              send every frame twice\n"
           "                     delay=MS         hold every frame MS milliseconds\n"
           "                     second-mac=M     precede every answer by a copy from MAC ID M\n"
           "                     bad-fragments=K  K = skip-count, missing-first or truncate\n"
           "                     switches=M/B     MAC ID and baud-rate switches at positions M and B\n"
           "                                      (above 63 and 2: set over the network; 99/9 reports\n"
           "                                      those positions instead of the values in use)\n"
           "                     none             no faults\n"
           "  --help           this text\n"
           "\n"
           "Example: brelinsim --bus tcp://127.0.0.1:35468/can0 --node 63 --serial-pty --log bus.log\n";
}

} // namespace devsim
