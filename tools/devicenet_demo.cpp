// A short DeviceNet master session through the driver object: open a card on a bus, open the node
// with its explicit and poll connections, read the Identity object, exchange one poll and print
// the CAN trace.
//
//   devicenet_demo [--card sst|systec|vora] [--bus BUSSTRING] [--node N] [--rate 125|250|500]

#include "driver/automation/DriverObject.h"
#include "driver/automation/CardFactory.h"
#include "driver/cards/CardTypes.h"
#include "driver/devicenet/ByteOrder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace orv::automation;

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: devicenet_demo [--card sst|systec|vora] [--bus BUSSTRING] [--node N] "
                         "[--rate 125|250|500]\n");
    return 2;
}

void PrintHex(const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        std::printf("%02X ", bytes[i]);
    }
}

// One Get_Attribute_Single; prints the value and returns its bytes in `buffer` from byte 8.
int Get(int node, int cls, int inst, int attr, const char* name, std::uint8_t* buffer, bool text = false)
{
    std::int32_t rval = -1;
    methods::DNGetAttribute(rval, static_cast<std::int16_t>(node), static_cast<std::int16_t>(cls),
                            static_cast<std::int16_t>(inst), static_cast<std::int16_t>(attr), buffer);
    std::printf("  %-22s ", name);
    if (rval != 0) {
        std::printf("no answer\n");
        return -1;
    }
    const int replyLength = orv::devicenet::GetLe16(buffer + 4);
    if (buffer[7] != 0x8E) {
        std::printf("error response %02X/%02X\n", buffer[8], buffer[9]);
        return -1;
    }
    const int valueLength = replyLength - 2;
    PrintHex(buffer + 8, static_cast<std::size_t>(valueLength));
    if (text && valueLength > 1) {
        std::printf(" \"%.*s\"", buffer[8], reinterpret_cast<const char*>(buffer + 9));
    }
    std::printf("\n");
    return valueLength;
}

} // namespace

int main(int argc, char** argv)
{
    int cardType = 1;
    int node = 63;
    int rate = 0;
    std::string bus;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (value == nullptr) {
            return Usage();
        }
        if (arg == "--card") {
            const std::string_view card = value;
            cardType = card == "vora" ? 0 : card == "sst" ? 1 : card == "systec" ? 2 : -1;
        } else if (arg == "--bus") {
            bus = value;
        } else if (arg == "--node") {
            node = std::atoi(value);
        } else if (arg == "--rate") {
            const std::string_view r = value;
            rate = r == "125" ? 0 : r == "250" ? 1 : r == "500" ? 2 : -1;
        } else {
            return Usage();
        }
        ++i;
        if (cardType < 0 || rate < 0 || node < 0 || node > 63) {
            return Usage();
        }
    }
    if (!bus.empty()) {
        setenv("ORV_CANBUS", bus.c_str(), 1); // for the card whose library takes no bus name
    }
    SetCardFactory(orv::cards::CreateCardOfType);

    DriverSettings settings;
    settings.SetDriverType(cardType);
    settings.SetDataRate(rate);
    settings.SetDriverName(bus);
    std::int32_t rval = -1;
    methods::Init(rval, settings.Data());
    if (rval != 0) {
        std::fprintf(stderr, "devicenet_demo: the card did not open (%d)\n", rval);
        return 3;
    }

    ModuleConfig module;
    module.SetExplicitEnabled(1);
    module.SetPollEnabled(1);
    module.SetExplicitPacketRate(2500);
    module.SetPollPacketRate(1000);
    methods::OpenModule(rval, node, module.Data());
    if (rval != 0) {
        std::fprintf(stderr, "devicenet_demo: node %d did not open\n", node);
        methods::Close(rval);
        return 3;
    }
    std::printf("Node %d open (explicit and poll connections)\n", node);

    std::uint8_t buffer[257] = {};
    std::printf("Identity object\n");
    Get(node, 1, 1, 1, "vendor id", buffer);
    Get(node, 1, 1, 2, "device type", buffer);
    Get(node, 1, 1, 3, "product code", buffer);
    Get(node, 1, 1, 4, "revision", buffer);
    Get(node, 1, 1, 6, "serial number", buffer);
    Get(node, 1, 1, 7, "product name", buffer, true);

    std::printf("Poll connection\n");
    const int produced = Get(node, 5, 2, 7, "produced size", buffer) == 2 ? orv::devicenet::GetLe16(buffer + 8) : -1;
    const int consumed = Get(node, 5, 2, 8, "consumed size", buffer) == 2 ? orv::devicenet::GetLe16(buffer + 8) : -1;
    if (produced >= 0 && consumed >= 0) {
        std::uint8_t io[512] = {};
        for (int i = 0; i < consumed; ++i) {
            io[i] = static_cast<std::uint8_t>('A' + i % 26);
        }
        std::uint16_t rxId = 0;
        std::uint16_t rxLength = static_cast<std::uint16_t>(produced);
        methods::DNPoll(rval, static_cast<std::int16_t>(0x405 + 8 * node), static_cast<std::int16_t>(consumed), &rxId,
                        &rxLength, io);
        std::printf("  poll: %d bytes out, ", consumed);
        if (rval == 0 && rxLength == produced) {
            std::printf("%d bytes back on %03X: ", rxLength, rxId);
            PrintHex(io, rxLength);
            std::printf("\n");
        } else {
            std::printf("failed (%d, %d bytes)\n", rval, rxLength);
        }
    }

    char trace[1032] = {};
    methods::GetCANMessage(rval, reinterpret_cast<std::uint8_t*>(trace));
    std::printf("CAN trace\n%s", rval == 0 ? trace : "  (this card keeps no trace)\n");

    methods::CloseModule(rval, node);
    methods::Close(rval);
    return 0;
}
