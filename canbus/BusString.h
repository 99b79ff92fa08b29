#pragma once
// The bus string that names a bus, parsed:
//   sim | sim:OPTION[,OPTION]   OPTION is node=N (0..63, default 63) or timing=wire
//   tcp://HOST[:PORT]/canN      PORT defaults to 35468; HOST a name, an IPv4 address or [IPv6]
//   socketcan:IFACE             a network interface name (at most 15 characters)

#include <cstdint>
#include <string>
#include <string_view>

namespace canbus {

inline constexpr std::uint16_t kDefaultTcpPort = 35468;
inline constexpr std::uint8_t kDefaultSimNode = 63;

// The forms a bus string may take, as error messages quote them.
inline constexpr std::string_view kBusForms =
    "expected sim[:node=N][,timing=wire], tcp://HOST:PORT/canN or socketcan:IFACE";

struct BusAddress {
    enum class Kind { Sim, Tcp, SocketCan };
    Kind kind = Kind::Sim;

    // sim
    std::uint8_t node = kDefaultSimNode;
    bool wireTiming = false;

    // tcp
    std::string host;
    std::uint16_t port = kDefaultTcpPort;
    std::uint32_t channel = 0; // canN

    // socketcan
    std::string interface;
};

// Parses `text` (surrounding blanks ignored). On failure returns false and sets `error` to one
// line that says what is wrong and which forms exist.
bool ParseBusString(std::string_view text, BusAddress& address, std::string& error);

} // namespace canbus
