#include "viewer/app/DriverClient.h"

#include "platform/automation/Result.h"

namespace orv::viewer {

using platform::automation::VARIANT;
namespace dispid = automation::dispid;

platform::automation::HRESULT DriverClient::Create(std::string* errorText)
{
    lastStatus_ = driver_.CreateDispatch(kProgId, errorText);
    return lastStatus_;
}

void DriverClient::Attach(platform::automation::IDispatch* dispatch)
{
    driver_.AttachDispatch(dispatch, true);
}

void DriverClient::Release()
{
    driver_.ReleaseDispatch();
}

std::int32_t DriverClient::Call(platform::automation::DISPID dispId, std::int32_t& rval, std::initializer_list<VARIANT> args)
{
    invokeError_.clear();
    lastStatus_ = driver_.InvokeMethod(dispId, args);
    if (platform::automation::FAILED(lastStatus_)) {
        invokeError_ = (driver_ ? platform::automation::ResultText(lastStatus_) : std::string("no driver object")) + " (DISPID " +
                       std::to_string(dispId) + ")";
        rval = -1;
    }
    lastRval_ = rval;
    return rval;
}

std::int32_t DriverClient::DNGetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                                          std::int16_t attr, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNGetAttribute, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(clss), VARIANT::I2(instance),
                 VARIANT::I2(attr), VARIANT::Bytes(buffer)});
}

std::int32_t DriverClient::DNSetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                                          std::int16_t attr, std::int16_t rlen, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNSetAttribute, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(clss), VARIANT::I2(instance),
                 VARIANT::I2(attr), VARIANT::I2(rlen), VARIANT::Bytes(buffer)});
}

std::int32_t DriverClient::CANRcv(std::int16_t* radd, std::int16_t* rlen, std::uint8_t* buf)
{
    std::int32_t rval = -1;
    return Call(dispid::kCANRcv, rval,
                {VARIANT::Ref(&rval), VARIANT::Ref(radd), VARIANT::Ref(rlen), VARIANT::Bytes(buf)});
}

std::int32_t DriverClient::CANXmit(std::int16_t addr, std::int16_t xlen, std::uint8_t* bptr)
{
    std::int32_t rval = -1;
    return Call(dispid::kCANXmit, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(addr), VARIANT::I2(xlen), VARIANT::Bytes(bptr)});
}

std::int32_t DriverClient::DNPoll(std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid, std::int16_t* nrxbytes,
                                  std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNPoll, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(txid), VARIANT::I2(ntxbytes), VARIANT::Ref(rxid),
                 VARIANT::Ref(nrxbytes), VARIANT::Bytes(buffer)});
}

bool DriverClient::Init(std::uint8_t* settings)
{
    std::int32_t rval = -1;
    return Call(dispid::kInit, rval, {VARIANT::Ref(&rval), VARIANT::Bytes(settings)}) == 0;
}

bool DriverClient::Close()
{
    std::int32_t rval = -1;
    return Call(dispid::kClose, rval, {VARIANT::Ref(&rval)}) == 0;
}

// The node address goes as a long to a parameter declared int; the automation layer converts it.
bool DriverClient::OpenModule(std::int32_t address, std::uint8_t* config)
{
    std::int32_t rval = -1;
    return Call(dispid::kOpenModule, rval, {VARIANT::Ref(&rval), VARIANT::I4(address), VARIANT::Bytes(config)}) == 0;
}

bool DriverClient::CloseModule(std::int32_t address)
{
    std::int32_t rval = -1;
    return Call(dispid::kCloseModule, rval, {VARIANT::Ref(&rval), VARIANT::I4(address)}) == 0;
}

bool DriverClient::IsInitialized()
{
    std::int32_t rval = -1;
    return Call(dispid::kIsInitialized, rval, {VARIANT::Ref(&rval)}) == 0;
}

std::int32_t DriverClient::SetTimeout(std::uint32_t milliseconds)
{
    std::int32_t rval = -1;
    return Call(dispid::kSetTimeout, rval, {VARIANT::Ref(&rval), VARIANT::UI4(milliseconds)});
}

std::int32_t DriverClient::DNAllocate(std::int16_t nodeAddress, std::int16_t connectionType, std::uint8_t* scratch)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNAllocate, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(connectionType), VARIANT::Bytes(scratch)});
}

std::int32_t DriverClient::DNFree(std::int16_t nodeAddress, std::int16_t connectionType, std::uint8_t* scratch)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNFree, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(connectionType), VARIANT::Bytes(scratch)});
}

std::int32_t DriverClient::DNService(std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst, std::int16_t srv,
                                     std::int16_t len, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(dispid::kDNService, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(cls), VARIANT::I2(inst), VARIANT::I2(srv),
                 VARIANT::I2(len), VARIANT::Bytes(buffer)});
}

std::int32_t DriverClient::GetCANMessage(char* text)
{
    std::int32_t rval = -1;
    return Call(dispid::kGetCANMessage, rval, {VARIANT::Ref(&rval), VARIANT::Bytes(text)});
}

} // namespace orv::viewer
