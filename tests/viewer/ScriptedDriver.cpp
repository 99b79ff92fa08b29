#include "tests/viewer/ScriptedDriver.h"

#include <algorithm>

namespace orv::viewer::test {

std::size_t ScriptedDriver::Count(platform::automation::DISPID dispId) const
{
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [dispId](const Call& call) { return call.dispId == dispId; }));
}

platform::automation::HRESULT ScriptedDriver::QueryInterface(const platform::automation::IID& iid, void** object)
{
    if (iid == platform::automation::IID_IUnknown || iid == platform::automation::IID_IDispatch) {
        *object = this;
        return platform::automation::S_OK;
    }
    *object = nullptr;
    return platform::automation::E_NOINTERFACE;
}

platform::automation::HRESULT ScriptedDriver::Invoke(platform::automation::DISPID dispId, std::uint16_t, platform::automation::DISPPARAMS* params, platform::automation::VARIANT*,
                                    std::uint32_t*)
{
    // First to last; the first is rval.
    std::vector<platform::automation::VARIANT*> args;
    for (std::uint32_t i = params->cArgs; i-- > 0;) {
        args.push_back(&params->rgvarg[i]);
    }
    Call call{dispId, {}};
    for (std::size_t i = 1; i < args.size(); ++i) {
        if ((args[i]->vt & platform::automation::VT_BYREF) == 0) {
            call.values.push_back(args[i]->vt == platform::automation::VT_I2 ? args[i]->iVal : args[i]->lVal);
        }
    }
    calls.push_back(call);
    const auto value = [&](std::size_t i) { return static_cast<int>(args[i]->vt == platform::automation::VT_I2 ? args[i]->iVal : args[i]->lVal); };
    const auto bytes = [&](std::size_t i) { return static_cast<std::uint8_t*>(args[i]->byref); };
    const auto shortRef = [&](std::size_t i) { return static_cast<std::int16_t*>(args[i]->byref); };
    std::int32_t rval = -1;
    switch (dispId) {
    case dispid::kDNGetAttribute:
        if (get) {
            rval = get(value(1), value(2), value(3), value(4), bytes(5));
        }
        break;
    case dispid::kDNSetAttribute:
        if (set) {
            rval = set(value(1), value(2), value(3), value(4), value(5), bytes(6));
        }
        break;
    case dispid::kDNPoll:
        if (poll) {
            rval = poll(value(1), value(2), shortRef(3), shortRef(4), bytes(5));
        }
        break;
    case dispid::kCANXmit:
        if (transmit) {
            rval = transmit(value(1), value(2), bytes(3));
        }
        break;
    case dispid::kCANRcv:
        if (receive) {
            rval = receive(shortRef(1), shortRef(2), bytes(3));
        }
        break;
    case dispid::kOpenModule:
        rval = openModule ? openModule(value(1), bytes(2)) : 0;
        break;
    case dispid::kCloseModule: rval = closeModuleAnswer; break;
    case dispid::kDNAllocate: rval = allocate ? allocate(value(1), value(2)) : 0; break;
    default: break;
    }
    *args[0]->plVal = rval;
    return platform::automation::S_OK;
}

void PutReply(std::uint8_t* buffer, std::uint8_t service, const std::vector<std::uint8_t>& data)
{
    const std::size_t length = data.size() + 2;
    buffer[4] = static_cast<std::uint8_t>(length);
    buffer[5] = static_cast<std::uint8_t>(length >> 8);
    buffer[6] = 0;
    buffer[7] = service;
    std::copy(data.begin(), data.end(), buffer + 8);
}

TableDevice::TableDevice(int node)
{
    driver.get = [this](int, int cls, int inst, int attr, std::uint8_t* buffer) {
        const auto found = values.find({cls, inst, attr});
        PutReply(buffer, found != values.end() ? 0x8E : 0x94, found != values.end() ? found->second : Bytes{0x14});
        return 0;
    };
    driver.set = [this](int, int cls, int inst, int attr, int length, std::uint8_t* buffer) {
        values[{cls, inst, attr}] = Bytes(buffer, buffer + length);
        PutReply(buffer, 0x90, {});
        return 0;
    };
    client.Attach(&driver);
    module.SetAddress(node);
    module.SetDriver(&client);
    module.Open(Allocation::kExplicit);
}

std::vector<TableDevice::Path> TableDevice::TakeReads()
{
    std::vector<Path> reads;
    for (const auto& call : driver.calls) {
        if (call.dispId == dispid::kDNGetAttribute) {
            reads.emplace_back(call.values[1], call.values[2], call.values[3]);
        }
    }
    driver.calls.clear();
    return reads;
}

} // namespace orv::viewer::test
