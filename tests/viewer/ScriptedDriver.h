#pragma once
// An IDispatch standing in for OrvDeviceNetCom in model tests: each method a test scripts answers
// through a handler; every call is recorded by DISPID with the arguments as they arrived.

#include "driver/automation/server/Identities.h"
#include "platform/automation/Dispatch.h"
#include "viewer/app/DriverClient.h"
#include "viewer/model/Module.h"

#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

namespace orv::viewer::test {

namespace dispid = automation::dispid;

class ScriptedDriver final : public platform::automation::IDispatch {
public:
    struct Call {
        platform::automation::DISPID dispId;
        std::vector<std::int32_t> values; // by-value arguments after rval, in order
    };

    // Handlers return rval. Unscripted methods answer -1, but for OpenModule, CloseModule and
    // DNAllocate.
    std::function<std::int32_t(int node, int cls, int inst, int attr, std::uint8_t* buffer)> get;
    std::function<std::int32_t(int node, int cls, int inst, int attr, int length, std::uint8_t* buffer)> set;
    std::function<std::int32_t(int txid, int txLength, std::int16_t* rxid, std::int16_t* rxLength,
                               std::uint8_t* buffer)>
        poll;
    std::function<std::int32_t(int identifier, int length, const std::uint8_t* data)> transmit;
    std::function<std::int32_t(std::int16_t* identifier, std::int16_t* length, std::uint8_t* buffer)> receive;
    std::function<std::int32_t(int node, const std::uint8_t* config)> openModule;
    // DNAllocate; unscripted it answers 0, as a node that is there.
    std::function<std::int32_t(int node, int connectionType)> allocate;
    std::int32_t closeModuleAnswer = 0;

    std::vector<Call> calls;

    std::size_t Count(platform::automation::DISPID dispId) const;

    platform::automation::HRESULT QueryInterface(const platform::automation::IID& iid, void** object) override;
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; } // lives on the test's stack
    platform::automation::HRESULT GetTypeInfoCount(std::uint32_t* count) override
    {
        *count = 0;
        return platform::automation::S_OK;
    }
    platform::automation::HRESULT GetTypeInfo(std::uint32_t, const platform::automation::InterfaceInfo**) override { return platform::automation::DISP_E_BADINDEX; }
    platform::automation::HRESULT GetIDsOfNames(const char* const*, std::uint32_t, platform::automation::DISPID*) override
    {
        return platform::automation::DISP_E_UNKNOWNNAME;
    }
    platform::automation::HRESULT Invoke(platform::automation::DISPID dispId, std::uint16_t flags, platform::automation::DISPPARAMS* params, platform::automation::VARIANT* result,
                        std::uint32_t* argErr) override;
};

// Writes a reply into a ReplyBuffer: length (2 + data bytes) at 4, header 0 at 6, `service` at 7,
// `data` from 8.
void PutReply(std::uint8_t* buffer, std::uint8_t service, const std::vector<std::uint8_t>& data);

// A node that answers from a table of attribute values through a scripted driver object, with an
// open module on it: a read of a path not in the table gets an error reply; a write stores its
// bytes.
class TableDevice {
public:
    using Path = std::tuple<int, int, int>;
    using Bytes = std::vector<std::uint8_t>;

    explicit TableDevice(int node = 63);

    // The paths read, in order, since the last call.
    std::vector<Path> TakeReads();

    std::map<Path, Bytes> values;
    ScriptedDriver driver;
    DriverClient client;
    Module module;
};

} // namespace orv::viewer::test
