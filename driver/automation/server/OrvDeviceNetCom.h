#pragma once
// The automation interface of the driver library: IOrvDeviceNetCom, its dispatch description, the
// identities of the class OrvDeviceNetCom and what registration writes for it.
//
// Every method returns S_OK to the automation layer and reports its outcome only in `rval`, which
// it sets to -1 first (see driver/automation/DriverObject.h). Parameters declared as a short by
// reference are byte arrays of the caller's, whatever their declared element type; the two
// addresses of records (Init and OpenModule dwParam) travel pointer-sized as byte buffers.

#include "driver/automation/server/Identities.h"
#include "platform/automation/Object.h"
#include "platform/automation/Registration.h"
#include "platform/automation/TypeInfo.h"

#include <cstdint>

namespace orv::automation {


class IOrvDeviceNetCom : public platform::automation::IDispatch {
public:
    static constexpr platform::automation::IID kIid = kIOrvDeviceNetComIid;

    virtual platform::automation::HRESULT LoadVXD(std::int32_t* rval, std::int16_t portAddress, std::int16_t irq,
                                 std::int16_t* Config) = 0;
    virtual platform::automation::HRESULT UnloadVXD(std::int32_t* rval) = 0;
    virtual platform::automation::HRESULT DNAllocate(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                                    std::int16_t* buffer) = 0;
    virtual platform::automation::HRESULT DNFree(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                                std::int16_t* buffer) = 0;
    virtual platform::automation::HRESULT DNGetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                        std::int16_t instance, std::int16_t attr, std::int16_t* buffer) = 0;
    virtual platform::automation::HRESULT DNSetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                        std::int16_t instance, std::int16_t attr, std::int16_t rlen,
                                        std::int16_t* buffer) = 0;
    virtual platform::automation::HRESULT CANRcv(std::int32_t* rval, std::int16_t* radd, std::int16_t* rlen, std::int16_t* buf) = 0;
    virtual platform::automation::HRESULT CANXmit(std::int32_t* rval, std::int16_t addr, std::int16_t xlen, std::int16_t* bptr) = 0;
    virtual platform::automation::HRESULT DNPoll(std::int32_t* rval, std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid,
                                std::int16_t* nrxbytes, std::int16_t* buffer) = 0;
    virtual platform::automation::HRESULT NetworkWho(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t* buf) = 0;
    virtual platform::automation::HRESULT Init(std::int32_t* rval, std::uint8_t* dwParam) = 0;
    virtual platform::automation::HRESULT Close(std::int32_t* rval) = 0;
    virtual platform::automation::HRESULT OpenModule(std::int32_t* rval, std::int32_t Address, std::uint8_t* dwParam) = 0;
    virtual platform::automation::HRESULT CloseModule(std::int32_t* rval, std::int32_t Address) = 0;
    virtual platform::automation::HRESULT IsInitialized(std::int32_t* rval) = 0;
    virtual platform::automation::HRESULT SetTimeout(std::int32_t* rval, std::uint32_t iTimeout) = 0;
    virtual platform::automation::HRESULT GetCANMessage(std::int32_t* rval, std::int16_t* str) = 0;
    virtual platform::automation::HRESULT DNService(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst,
                                   std::int16_t srv, std::int16_t len, std::int16_t* buffer) = 0;

protected:
    ~IOrvDeviceNetCom() = default;
};

namespace orvdevicenetcom {

inline constexpr platform::automation::VARTYPE kLongRef = platform::automation::VT_I4 | platform::automation::VT_BYREF;
inline constexpr platform::automation::VARTYPE kShortRef = platform::automation::VT_I2 | platform::automation::VT_BYREF;
inline constexpr platform::automation::VARTYPE kAddress = platform::automation::VT_UI1 | platform::automation::VT_BYREF;

inline constexpr platform::automation::ParamInfo kLoadVXDParams[] = {
    {"rval", kLongRef}, {"portAddress", platform::automation::VT_I2}, {"irq", platform::automation::VT_I2}, {"Config", kShortRef}};
inline constexpr platform::automation::ParamInfo kUnloadVXDParams[] = {{"rval", kLongRef}};
inline constexpr platform::automation::ParamInfo kDNAllocateParams[] = {
    {"rval", kLongRef}, {"nodeAddress", platform::automation::VT_I2}, {"connectionType", platform::automation::VT_I2}, {"buffer", kShortRef}};
inline constexpr platform::automation::ParamInfo kDNFreeParams[] = {
    {"rval", kLongRef}, {"nodeAddress", platform::automation::VT_I2}, {"connectionType", platform::automation::VT_I2}, {"buffer", kShortRef}};
inline constexpr platform::automation::ParamInfo kDNGetAttributeParams[] = {
    {"rval", kLongRef},      {"nodeAddress", platform::automation::VT_I2}, {"clss", platform::automation::VT_I2},
    {"instance", platform::automation::VT_I2}, {"attr", platform::automation::VT_I2},        {"buffer", kShortRef}};
inline constexpr platform::automation::ParamInfo kDNSetAttributeParams[] = {
    {"rval", kLongRef},  {"nodeAddress", platform::automation::VT_I2}, {"clss", platform::automation::VT_I2},   {"instance", platform::automation::VT_I2},
    {"attr", platform::automation::VT_I2}, {"rlen", platform::automation::VT_I2},        {"buffer", kShortRef}};
inline constexpr platform::automation::ParamInfo kCANRcvParams[] = {
    {"rval", kLongRef}, {"radd", kShortRef}, {"rlen", kShortRef}, {"buf", kShortRef}};
inline constexpr platform::automation::ParamInfo kCANXmitParams[] = {
    {"rval", kLongRef}, {"addr", platform::automation::VT_I2}, {"xlen", platform::automation::VT_I2}, {"bptr", kShortRef}};
inline constexpr platform::automation::ParamInfo kDNPollParams[] = {{"rval", kLongRef},      {"txid", platform::automation::VT_I2},
                                                   {"ntxbytes", platform::automation::VT_I2}, {"rxid", kShortRef},
                                                   {"nrxbytes", kShortRef},  {"buffer", kShortRef}};
inline constexpr platform::automation::ParamInfo kNetworkWhoParams[] = {
    {"rval", kLongRef}, {"nodeAddress", platform::automation::VT_I2}, {"buf", kShortRef}};
inline constexpr platform::automation::ParamInfo kInitParams[] = {{"rval", kLongRef}, {"dwParam", kAddress}};
inline constexpr platform::automation::ParamInfo kCloseParams[] = {{"rval", kLongRef}};
inline constexpr platform::automation::ParamInfo kOpenModuleParams[] = {
    {"rval", kLongRef}, {"Address", platform::automation::VT_INT}, {"dwParam", kAddress}};
inline constexpr platform::automation::ParamInfo kCloseModuleParams[] = {{"rval", kLongRef}, {"Address", platform::automation::VT_INT}};
inline constexpr platform::automation::ParamInfo kIsInitializedParams[] = {{"rval", kLongRef}};
inline constexpr platform::automation::ParamInfo kSetTimeoutParams[] = {{"rval", kLongRef}, {"iTimeout", platform::automation::VT_UI4}};
inline constexpr platform::automation::ParamInfo kGetCANMessageParams[] = {{"rval", kLongRef}, {"str", kShortRef}};
inline constexpr platform::automation::ParamInfo kDNServiceParams[] = {
    {"rval", kLongRef},  {"nodeAddress", platform::automation::VT_I2}, {"cls", platform::automation::VT_I2},  {"inst", platform::automation::VT_I2},
    {"srv", platform::automation::VT_I2}, {"len", platform::automation::VT_I2},         {"buffer", kShortRef}};

using I = IOrvDeviceNetCom;

inline constexpr platform::automation::MethodInfo kMethods[] = {
    platform::automation::Method<&I::LoadVXD>("LoadVXD", dispid::kLoadVXD, 7, "method LoadVXD", kLoadVXDParams),
    platform::automation::Method<&I::UnloadVXD>("UnloadVXD", dispid::kUnloadVXD, 8, "method UnloadVXD", kUnloadVXDParams),
    platform::automation::Method<&I::DNAllocate>("DNAllocate", dispid::kDNAllocate, 9, "method DNAllocate", kDNAllocateParams),
    platform::automation::Method<&I::DNFree>("DNFree", dispid::kDNFree, 10, "method DNFree", kDNFreeParams),
    platform::automation::Method<&I::DNGetAttribute>("DNGetAttribute", dispid::kDNGetAttribute, 11, "method DNGetAttribute", kDNGetAttributeParams),
    platform::automation::Method<&I::DNSetAttribute>("DNSetAttribute", dispid::kDNSetAttribute, 12, "method DNSetAttribute", kDNSetAttributeParams),
    platform::automation::Method<&I::CANRcv>("CANRcv", dispid::kCANRcv, 13, "method CANRcv", kCANRcvParams),
    platform::automation::Method<&I::CANXmit>("CANXmit", dispid::kCANXmit, 14, "method CANXmit", kCANXmitParams),
    platform::automation::Method<&I::DNPoll>("DNPoll", dispid::kDNPoll, 15, "method DNPoll", kDNPollParams),
    platform::automation::Method<&I::NetworkWho>("NetworkWho", dispid::kNetworkWho, 16, "method NetworkWho", kNetworkWhoParams),
    platform::automation::Method<&I::Init>("Init", dispid::kInit, 17, "method Init", kInitParams),
    platform::automation::Method<&I::Close>("Close", dispid::kClose, 18, "method Close", kCloseParams),
    platform::automation::Method<&I::OpenModule>("OpenModule", dispid::kOpenModule, 19, "method OpenModule", kOpenModuleParams),
    platform::automation::Method<&I::CloseModule>("CloseModule", dispid::kCloseModule, 20, "method CloseModule", kCloseModuleParams),
    platform::automation::Method<&I::IsInitialized>("IsInitialized", dispid::kIsInitialized, 21, "method IsInitialized", kIsInitializedParams),
    platform::automation::Method<&I::SetTimeout>("SetTimeout", dispid::kSetTimeout, 22, "method SetTimeout", kSetTimeoutParams),
    platform::automation::Method<&I::GetCANMessage>("GetCANMessage", dispid::kGetCANMessage, 23, "method GetCANMessage", kGetCANMessageParams),
    platform::automation::Method<&I::DNService>("DNService", dispid::kDNService, 24, "method DNService", kDNServiceParams),
};

} // namespace orvdevicenetcom

inline constexpr platform::automation::InterfaceInfo kOrvDeviceNetComInfo{"IOrvDeviceNetCom", IOrvDeviceNetCom::kIid,
                                                         "IOrvDeviceNetCom Interface", orvdevicenetcom::kMethods};

inline constexpr const char* kOrvDeviceNetComDescription = "OrvDeviceNetCom Class";
inline constexpr const char* kOrvDeviceNetDriverLibDescription = "OrvDeviceNetDriver 1.0 Type Library";

inline constexpr const platform::automation::InterfaceInfo* kOrvDeviceNetDriverInterfaces[] = {&kOrvDeviceNetComInfo};

inline constexpr platform::automation::ServerRegistration kOrvDeviceNetComRegistration{kOrvDeviceNetComClsid,
                                                                      kOrvDeviceNetComDescription,
                                                                      kOrvDeviceNetComProgId,
                                                                      kOrvDeviceNetComIndependentProgId,
                                                                      "Apartment",
                                                                      kOrvDeviceNetDriverLibId,
                                                                      "1.0",
                                                                      0x409,
                                                                      kOrvDeviceNetDriverLibDescription,
                                                                      kOrvDeviceNetDriverInterfaces};

// Objects of the class alive and server locks held; DllCanUnloadNow answers from it.
platform::automation::ServerLockCount& OrvDeviceNetComLocks();

// A new OrvDeviceNetCom as interface `iid`, aggregated into `outer` when not null. The instance
// answers IUnknown, IDispatch and IOrvDeviceNetCom and forwards every method to the process's one
// driver object.
platform::automation::HRESULT CreateOrvDeviceNetCom(platform::automation::IUnknown* outer, const platform::automation::IID& iid, void** object);

} // namespace orv::automation
