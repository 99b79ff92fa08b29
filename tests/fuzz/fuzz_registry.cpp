// The class registry's reader. A registry that parses must still parse, with the same keys and
// values, after a registration's edit is written back: a rewrite never breaks a registry.

#include "platform/automation/Registry.h"
#include "tests/fuzz/FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using orv::com::RegistryDocument;

// Every key with its values, in order.
std::string Dump(const RegistryDocument& document)
{
    std::string dump;
    for (const std::string& key : document.Keys()) {
        dump += '[' + key + "]\n";
        for (const auto& [name, value] : document.Values(key)) {
            dump += name + '=' + value + '\n';
        }
    }
    return dump;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<RegistryDocument> document = RegistryDocument::Parse(text);
    if (!document) {
        return 0;
    }
    const std::optional<RegistryDocument> unchanged = RegistryDocument::Parse(document->Text());
    if (!unchanged || Dump(*unchanged) != Dump(*document)) {
        __builtin_trap();
    }
    // What a registration does: rewrite one class's tree, touch a shared parent.
    document->RemoveTree("CLSID\\{A}");
    if (!document->SetValue("CLSID\\{A}\\InprocServer32", {}, "/usr/lib/a.so") ||
        !document->SetValue("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Apartment") ||
        !document->CreateKey("CLSID")) {
        __builtin_trap();
    }
    const std::optional<RegistryDocument> edited = RegistryDocument::Parse(document->Text());
    if (!edited || Dump(*edited) != Dump(*document)) {
        __builtin_trap();
    }
    return 0;
}
