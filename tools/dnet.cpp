// dnet: a DeviceNet master on the command line, for scripts and quick looks at a node. It reaches
// the driver library only through its automation interface, as any client program would.
//
//   dnet [--card vora|sst|systec] [--bus BUSSTRING] [--master MAC] [--rate 125|250|500]
//        [--timeout MS] [--trace] [--log FILE] [--json] COMMAND ARGS...
//   dnet [OPTIONS] -e "COMMAND ARGS" [-e "COMMAND ARGS"]...

#include "tools/dnet/CommandLine.h"
#include "tools/dnet/Session.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    using namespace orv::dnet;
    try {
        std::string error;
        const auto options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), error);
        if (!options) {
            std::fprintf(stderr, "dnet: %s (dnet --help shows the usage)\n", error.c_str());
            return kExitUsage;
        }
        if (options->help) {
            std::fputs(UsageText().c_str(), stdout);
            return kExitOk;
        }
        if (!options->bus.empty()) {
            // The SST and VORA cards take the bus from the driver name; the SYSTEC card's library
            // has no name to carry it and reads the environment.
            setenv("ORV_CANBUS", options->bus.c_str(), 1);
        }
        Session session(*options, stdout, stderr);
        return session.Run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "dnet: %s\n", failure.what());
        return kExitFailure;
    }
}
