#include "cardlibs/StandIn.h"

#include "devsim/SimBusDevice.h"

#include <cstdio>
#include <cstdlib>

namespace orv::cardlibs {

std::string ChooseBus(std::string_view cardName)
{
    const std::string_view name = cardName.substr(0, cardName.find('\0'));
    if (name.starts_with("sim") || name.starts_with("tcp://") || name.starts_with("socketcan:")) {
        return std::string(name);
    }
    if (const char* env = std::getenv("ORV_CANBUS"); env != nullptr && *env != '\0') {
        return env;
    }
    return "sim";
}

std::unique_ptr<canbus::Bus> OpenChosenBus(std::string_view cardName, std::uint32_t bitrate)
{
    const std::string busString = ChooseBus(cardName);
    devsim::RegisterSimulatedDevice(); // the device a `sim` bus carries
    std::string error;
    auto bus = canbus::OpenBus(busString, bitrate, error);
    if (!bus) {
        std::fprintf(stderr, "card library: cannot open bus '%s': %s\n", busString.c_str(), error.c_str());
    }
    return bus;
}

bool Refuses(std::string_view function)
{
    const char* env = std::getenv("ORV_CARDLIB_REFUSE");
    if (env == nullptr) {
        return false;
    }
    std::string_view list(env);
    while (!list.empty()) {
        const auto comma = list.find(',');
        if (list.substr(0, comma) == function) {
            return true;
        }
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    return false;
}

void LeaveBus(SharedBus& bus)
{
    if (bus) {
        bus->Close();
        bus.reset();
    }
}

bool TakeDataFrame(canbus::Bus& bus, canbus::Frame& frame)
{
    while (bus.TryReceive(frame)) {
        if (!frame.extended && !frame.remote) {
            return true;
        }
    }
    return false;
}

} // namespace orv::cardlibs
