// orvregsvr: registers an in-process server library in the class registry by calling its
// DllRegisterServer (or, with /u, its DllUnregisterServer); /v prints its version record.
//
//   orvregsvr [/u | /v] PATH
//   orvregsvr [/u] (--system | --registry FILE) PATH
//
// The registry is $ORV_REGISTRY, else $XDG_CONFIG_HOME/orv/registry.ini; --system writes the
// machine's (/etc/xdg/orv/registry.ini, as a package's maintainer scripts do), --registry FILE
// that file. A registry that cannot be read or parsed is left as it is. Exit status 0 on success,
// 1 when the library cannot be loaded, lacks the export or the export fails, or the registry
// cannot be read, parsed or written; 2 for a usage error.

#include "driver/regsvr/ModuleVersion.h"
#include "platform/automation/Registration.h"
#include "platform/automation/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace {

namespace com = orv::com;

enum class Action { Register, Unregister, ShowVersion };

int Usage()
{
    std::fprintf(stderr, "usage: orvregsvr [/u | /v] PATH\n"
                         "       orvregsvr [/u] (--system | --registry FILE) PATH\n"
                         "  registers the server library PATH in the class registry (DllRegisterServer)\n"
                         "  /u               unregisters it (DllUnregisterServer)\n"
                         "  /v               prints its version record\n"
                         "  --system         in the registry of the whole machine, %s\n"
                         "  --registry FILE  in FILE (default: $ORV_REGISTRY, else the user's registry)\n",
                 com::Registry::SystemPath().c_str());
    return 2;
}

int ShowVersion(const std::filesystem::path& path)
{
    std::string why;
    const std::optional<orv::regsvr::ModuleVersion> version = orv::regsvr::ReadModuleVersion(path, &why);
    if (!version) {
        std::fprintf(stderr, "orvregsvr: %s\n", why.c_str());
        return 1;
    }
    for (const auto& [key, value] : version->Entries()) {
        std::printf("%s=%s\n", key.c_str(), value.c_str());
    }
    return 0;
}

// The registry the export will write, when it is there and cannot be read or parsed: why.
std::optional<std::string> RegistryProblem()
{
    std::string why;
    if (com::Registry().Load(&why)) {
        return std::nullopt;
    }
    return "the class registry " + why + "; it was left unchanged";
}

} // namespace

int main(int argc, char** argv)
{
    Action action = Action::Register;
    std::string file;
    std::optional<std::string> registry;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "/u" || arg == "/U" || arg == "-u") {
            action = Action::Unregister;
        } else if (arg == "/v" || arg == "/V" || arg == "-v") {
            action = Action::ShowVersion;
        } else if (arg == "--system" && !registry) {
            registry = com::Registry::SystemPath().string();
        } else if (arg == "--registry" && !registry && i + 1 < argc && argv[i + 1][0] != '\0') {
            registry = argv[++i];
        } else if (arg.starts_with('-') || (arg.size() == 2 && arg[0] == '/') || !file.empty()) {
            return Usage();
        } else {
            file = arg;
        }
    }
    if (file.empty() || (registry && action == Action::ShowVersion)) {
        return Usage();
    }
    // Absolute, so that the library is loaded from that file (a bare name would go through the
    // library search) and registered under its full path.
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(file, error).lexically_normal();
    if (error) {
        std::fprintf(stderr, "orvregsvr: %s: %s\n", file.c_str(), error.message().c_str());
        return 1;
    }
    // Loading or reading a FIFO or a device would wait for a writer or never end.
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error)) {
        std::fprintf(stderr, "orvregsvr: %s is not a regular file\n", path.c_str());
        return 1;
    }
    if (action == Action::ShowVersion) {
        return ShowVersion(path);
    }
    // The library's registration writes the registry this process's environment names.
    if (registry && setenv("ORV_REGISTRY", registry->c_str(), 1) != 0) {
        std::fprintf(stderr, "orvregsvr: cannot select the registry %s\n", registry->c_str());
        return 1;
    }
    if (const std::optional<std::string> problem = RegistryProblem()) {
        std::fprintf(stderr, "orvregsvr: %s\n", problem->c_str());
        return 1;
    }

    const char* exportName = action == Action::Register ? "DllRegisterServer" : "DllUnregisterServer";
    std::string why;
    const com::HRESULT result = action == Action::Register ? com::RegisterServerLibrary(path, &why)
                                                           : com::UnregisterServerLibrary(path, &why);
    if (com::FAILED(result)) {
        // The registry may have broken since it was checked.
        const std::optional<std::string> problem = RegistryProblem();
        std::fprintf(stderr, "orvregsvr: %s (0x%08X)\n", problem ? problem->c_str() : why.c_str(),
                     static_cast<unsigned>(result));
        return 1;
    }
    std::printf("orvregsvr: %s in %s succeeded (registry %s).\n", exportName, path.c_str(),
                com::Registry::DefaultPath().c_str());
    return 0;
}
