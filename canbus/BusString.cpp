#include "canbus/BusString.h"

#include <charconv>

namespace canbus {
namespace {

constexpr std::string_view kSimPrefix = "sim";
constexpr std::string_view kTcpPrefix = "tcp://";
constexpr std::string_view kSocketCanPrefix = "socketcan:";
constexpr std::size_t kMaxInterfaceName = 15; // IFNAMSIZ less the terminating zero

std::string_view Trim(std::string_view text)
{
    constexpr std::string_view blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool Fail(std::string& error, std::string_view text, std::string_view problem)
{
    error = "bad bus '";
    error += text;
    error += "': ";
    error += problem;
    error += "; ";
    error += kBusForms;
    return false;
}

// A plain decimal number: digits only, no sign, no blanks.
bool ParseDecimal(std::string_view digits, std::uint64_t max, std::uint64_t& value)
{
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return ec == std::errc() && end == digits.data() + digits.size() && value <= max;
}

bool ParseSim(std::string_view text, BusAddress& address, std::string& error)
{
    address = BusAddress{};
    address.kind = BusAddress::Kind::Sim;
    if (text.size() == kSimPrefix.size()) {
        return true;
    }
    std::string_view options = text.substr(kSimPrefix.size() + 1); // after "sim:"
    bool haveNode = false;
    bool haveTiming = false;
    while (true) {
        const auto comma = options.find(',');
        const std::string_view option = options.substr(0, comma);
        if (option.empty()) {
            return Fail(error, text, "empty option");
        }
        const auto equals = option.find('=');
        const std::string_view name = option.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
        if (name == "node") {
            if (haveNode) {
                return Fail(error, text, "option 'node' given twice");
            }
            haveNode = true;
            std::uint64_t node = 0;
            if (!ParseDecimal(value, 63, node)) {
                return Fail(error, text, "node '" + std::string(value) + "' is not a MAC ID 0..63");
            }
            address.node = static_cast<std::uint8_t>(node);
        } else if (name == "timing") {
            if (haveTiming) {
                return Fail(error, text, "option 'timing' given twice");
            }
            haveTiming = true;
            if (value != "wire") {
                return Fail(error, text, "timing '" + std::string(value) + "' is unknown (the only timing is wire)");
            }
            address.wireTiming = true;
        } else {
            return Fail(error, text, "unknown option '" + std::string(name) + "' (sim takes node=N and timing=wire)");
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        options.remove_prefix(comma + 1);
    }
}

bool ParseTcp(std::string_view text, BusAddress& address, std::string& error)
{
    address = BusAddress{};
    address.kind = BusAddress::Kind::Tcp;
    std::string_view rest = text.substr(kTcpPrefix.size());
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return Fail(error, text, "missing /canN after host and port");
    }
    std::string_view authority = rest.substr(0, slash);
    const std::string_view path = rest.substr(slash + 1);

    std::string_view host;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            return Fail(error, text, "unclosed '[' in host");
        }
        host = authority.substr(1, close - 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return Fail(error, text, "expected ':' after ']'");
            }
            port = after.substr(1);
            if (port.empty()) {
                return Fail(error, text, "empty port");
            }
        }
    } else {
        const auto colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) {
                return Fail(error, text, "empty port");
            }
        }
    }
    if (host.empty()) {
        return Fail(error, text, "missing host");
    }
    if (host.find_first_of(" \t/[]") != std::string_view::npos) {
        return Fail(error, text, "host '" + std::string(host) + "' is not a host name or address");
    }
    if (!port.empty()) {
        std::uint64_t number = 0;
        if (!ParseDecimal(port, 65535, number) || number == 0) {
            return Fail(error, text, "port '" + std::string(port) + "' is not a number 1..65535");
        }
        address.port = static_cast<std::uint16_t>(number);
    }
    std::uint64_t channel = 0;
    if (!path.starts_with("can") || !ParseDecimal(path.substr(3), 0xFFFFFFFF, channel)) {
        return Fail(error, text, "channel '" + std::string(path) + "' is not canN");
    }
    address.host = std::string(host);
    address.channel = static_cast<std::uint32_t>(channel);
    return true;
}

bool ParseSocketCan(std::string_view text, BusAddress& address, std::string& error)
{
    address = BusAddress{};
    address.kind = BusAddress::Kind::SocketCan;
    const std::string_view name = text.substr(kSocketCanPrefix.size());
    if (name.empty()) {
        return Fail(error, text, "missing interface name");
    }
    if (name.size() > kMaxInterfaceName) {
        return Fail(error, text, "interface name is longer than 15 characters");
    }
    if (name.find_first_of(" \t/:") != std::string_view::npos) {
        return Fail(error, text, "interface name contains a blank, '/' or ':'");
    }
    address.interface = std::string(name);
    return true;
}

} // namespace

bool ParseBusString(std::string_view text, BusAddress& address, std::string& error)
{
    text = Trim(text);
    if (text.empty()) {
        error = "no bus given: ";
        error += kBusForms;
        return false;
    }
    if (text == kSimPrefix || (text.starts_with(kSimPrefix) && text[kSimPrefix.size()] == ':')) {
        return ParseSim(text, address, error);
    }
    if (text.starts_with(kTcpPrefix)) {
        return ParseTcp(text, address, error);
    }
    if (text.starts_with(kSocketCanPrefix)) {
        return ParseSocketCan(text, address, error);
    }
    error = "unknown bus '";
    error += text;
    error += "': ";
    error += kBusForms;
    return false;
}

} // namespace canbus
