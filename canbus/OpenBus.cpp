#include "canbus/Bus.h"
#include "canbus/BusString.h"
#include "canbus/SimBus.h"
#include "canbus/SocketCanBus.h"
#include "canbus/TcpBus.h"

namespace canbus {

std::unique_ptr<Bus> OpenBus(std::string_view busString, std::uint32_t bitrate, std::string& error,
                             const OpenOptions& options)
{
    try {
        BusAddress address;
        if (!ParseBusString(busString, address, error)) {
            return nullptr;
        }
        switch (address.kind) {
        case BusAddress::Kind::Sim: return OpenSimBus(address, bitrate, error);
        case BusAddress::Kind::Tcp: {
            TcpBus::Limits limits;
            limits.joinOnly = options.joinOnly;
            return TcpBus::Open(address, error, limits);
        }
        case BusAddress::Kind::SocketCan: return SocketCanBus::Open(address.interface, error);
        }
        error = "unknown bus kind";
    } catch (const std::exception& failure) {
        error = std::string("cannot open bus: ") + failure.what();
    }
    return nullptr;
}

} // namespace canbus
