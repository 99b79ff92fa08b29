#include "viewer/app/DriverClient.h"

namespace orv::viewer {

using com::VARIANT;

com::HRESULT DriverClient::Create(std::string* errorText)
{
    lastStatus_ = driver_.CreateDispatch(kProgId, errorText);
    return lastStatus_;
}

void DriverClient::Attach(com::IDispatch* dispatch)
{
    driver_.AttachDispatch(dispatch, true);
}

void DriverClient::Release()
{
    driver_.ReleaseDispatch();
}

std::int32_t DriverClient::Call(com::DISPID dispId, std::int32_t& rval, std::initializer_list<VARIANT> args)
{
    lastStatus_ = driver_.InvokeMethod(dispId, args);
    if (com::FAILED(lastStatus_)) {
        rval = -1;
    }
    return rval;
}

std::int32_t DriverClient::DNGetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                                          std::int16_t attr, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(kDNGetAttribute, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(clss), VARIANT::I2(instance),
                 VARIANT::I2(attr), VARIANT::Bytes(buffer)});
}

std::int32_t DriverClient::DNSetAttribute(std::int16_t nodeAddress, std::int16_t clss, std::int16_t instance,
                                          std::int16_t attr, std::int16_t rlen, std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(kDNSetAttribute, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(nodeAddress), VARIANT::I2(clss), VARIANT::I2(instance),
                 VARIANT::I2(attr), VARIANT::I2(rlen), VARIANT::Bytes(buffer)});
}

std::int32_t DriverClient::CANRcv(std::int16_t* radd, std::int16_t* rlen, std::uint8_t* buf)
{
    std::int32_t rval = -1;
    return Call(kCANRcv, rval, {VARIANT::Ref(&rval), VARIANT::Ref(radd), VARIANT::Ref(rlen), VARIANT::Bytes(buf)});
}

std::int32_t DriverClient::CANXmit(std::int16_t addr, std::int16_t xlen, std::uint8_t* bptr)
{
    std::int32_t rval = -1;
    return Call(kCANXmit, rval, {VARIANT::Ref(&rval), VARIANT::I2(addr), VARIANT::I2(xlen), VARIANT::Bytes(bptr)});
}

std::int32_t DriverClient::DNPoll(std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid, std::int16_t* nrxbytes,
                                  std::uint8_t* buffer)
{
    std::int32_t rval = -1;
    return Call(kDNPoll, rval,
                {VARIANT::Ref(&rval), VARIANT::I2(txid), VARIANT::I2(ntxbytes), VARIANT::Ref(rxid),
                 VARIANT::Ref(nrxbytes), VARIANT::Bytes(buffer)});
}

bool DriverClient::Init(std::uint8_t* settings)
{
    std::int32_t rval = -1;
    return Call(kInit, rval, {VARIANT::Ref(&rval), VARIANT::Bytes(settings)}) == 0;
}

bool DriverClient::Close()
{
    std::int32_t rval = -1;
    return Call(kClose, rval, {VARIANT::Ref(&rval)}) == 0;
}

// The node address goes as a long to a parameter declared int; the automation layer converts it.
bool DriverClient::OpenModule(std::int32_t address, std::uint8_t* config)
{
    std::int32_t rval = -1;
    return Call(kOpenModule, rval, {VARIANT::Ref(&rval), VARIANT::I4(address), VARIANT::Bytes(config)}) == 0;
}

bool DriverClient::CloseModule(std::int32_t address)
{
    std::int32_t rval = -1;
    return Call(kCloseModule, rval, {VARIANT::Ref(&rval), VARIANT::I4(address)}) == 0;
}

bool DriverClient::IsInitialized()
{
    std::int32_t rval = -1;
    return Call(kIsInitialized, rval, {VARIANT::Ref(&rval)}) == 0;
}

} // namespace orv::viewer
