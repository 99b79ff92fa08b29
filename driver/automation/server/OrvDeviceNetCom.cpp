#include "driver/automation/server/OrvDeviceNetCom.h"

#include "driver/automation/DriverObject.h"

namespace orv::automation {

namespace {

// The caller's buffer as the bytes it is: the declared element type says nothing of the data.
std::uint8_t* Bytes(std::int16_t* buffer)
{
    return reinterpret_cast<std::uint8_t*>(buffer);
}

// A 16-bit value of the caller's that a card writes as unsigned.
std::uint16_t* Unsigned(std::int16_t* value)
{
    return reinterpret_cast<std::uint16_t*>(value);
}

// Every method forwards to the process's driver object. The dispatch layer never hands a null
// rval; a caller through the vtable might, and gets E_POINTER since there is nowhere to report.
class OrvDeviceNetCom : public platform::automation::DispatchImpl<IOrvDeviceNetCom, kOrvDeviceNetComInfo>, public platform::automation::ObjectRoot {
public:
    OrvDeviceNetCom() : lock_(OrvDeviceNetComLocks()) {}

    platform::automation::HRESULT LoadVXD(std::int32_t* rval, std::int16_t portAddress, std::int16_t irq,
                         std::int16_t* Config) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::LoadVXD(*rval, portAddress, irq, Bytes(Config));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT UnloadVXD(std::int32_t* rval) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::UnloadVXD(*rval);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNAllocate(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                            std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNAllocate(*rval, nodeAddress, connectionType, Bytes(buffer));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNFree(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                        std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNFree(*rval, nodeAddress, connectionType, Bytes(buffer));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNGetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                std::int16_t instance, std::int16_t attr, std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNGetAttribute(*rval, nodeAddress, clss, instance, attr, Bytes(buffer));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNSetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                std::int16_t instance, std::int16_t attr, std::int16_t rlen,
                                std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNSetAttribute(*rval, nodeAddress, clss, instance, attr, rlen, Bytes(buffer));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT CANRcv(std::int32_t* rval, std::int16_t* radd, std::int16_t* rlen, std::int16_t* buf) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::CANRcv(*rval, Unsigned(radd), Unsigned(rlen), Bytes(buf));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT CANXmit(std::int32_t* rval, std::int16_t addr, std::int16_t xlen, std::int16_t* bptr) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::CANXmit(*rval, addr, xlen, Bytes(bptr));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNPoll(std::int32_t* rval, std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid,
                        std::int16_t* nrxbytes, std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNPoll(*rval, txid, ntxbytes, Unsigned(rxid), Unsigned(nrxbytes), Bytes(buffer));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT NetworkWho(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t* buf) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::NetworkWho(*rval, nodeAddress, Bytes(buf));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT Init(std::int32_t* rval, std::uint8_t* dwParam) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::Init(*rval, dwParam);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT Close(std::int32_t* rval) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::Close(*rval);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT OpenModule(std::int32_t* rval, std::int32_t Address, std::uint8_t* dwParam) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::OpenModule(*rval, Address, dwParam);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT CloseModule(std::int32_t* rval, std::int32_t Address) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::CloseModule(*rval, Address);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT IsInitialized(std::int32_t* rval) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::IsInitialized(*rval);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT SetTimeout(std::int32_t* rval, std::uint32_t iTimeout) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::SetTimeout(*rval, iTimeout);
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT GetCANMessage(std::int32_t* rval, std::int16_t* str) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::GetCANMessage(*rval, Bytes(str));
        return platform::automation::S_OK;
    }

    platform::automation::HRESULT DNService(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst,
                           std::int16_t srv, std::int16_t len, std::int16_t* buffer) override
    {
        if (rval == nullptr) {
            return platform::automation::E_POINTER;
        }
        methods::DNService(*rval, nodeAddress, cls, inst, srv, len, Bytes(buffer));
        return platform::automation::S_OK;
    }

protected:
    platform::automation::IUnknown* FindInterface(const platform::automation::IID& iid) override
    {
        if (iid == platform::automation::IID_IDispatch || iid == IOrvDeviceNetCom::kIid) {
            return static_cast<IOrvDeviceNetCom*>(this);
        }
        return nullptr;
    }

private:
    platform::automation::ServerLock lock_;
};

} // namespace

platform::automation::ServerLockCount& OrvDeviceNetComLocks()
{
    static platform::automation::ServerLockCount locks;
    return locks;
}

platform::automation::HRESULT CreateOrvDeviceNetCom(platform::automation::IUnknown* outer, const platform::automation::IID& iid, void** object)
{
    return platform::automation::CreateObject<OrvDeviceNetCom>(outer, iid, object);
}

} // namespace orv::automation
