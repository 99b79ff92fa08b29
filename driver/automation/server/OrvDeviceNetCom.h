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

namespace com = orv::com;

class IOrvDeviceNetCom : public com::IDispatch {
public:
    static constexpr com::IID kIid = kIOrvDeviceNetComIid;

    virtual com::HRESULT LoadVXD(std::int32_t* rval, std::int16_t portAddress, std::int16_t irq,
                                 std::int16_t* Config) = 0;
    virtual com::HRESULT UnloadVXD(std::int32_t* rval) = 0;
    virtual com::HRESULT DNAllocate(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                                    std::int16_t* buffer) = 0;
    virtual com::HRESULT DNFree(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t connectionType,
                                std::int16_t* buffer) = 0;
    virtual com::HRESULT DNGetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                        std::int16_t instance, std::int16_t attr, std::int16_t* buffer) = 0;
    virtual com::HRESULT DNSetAttribute(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t clss,
                                        std::int16_t instance, std::int16_t attr, std::int16_t rlen,
                                        std::int16_t* buffer) = 0;
    virtual com::HRESULT CANRcv(std::int32_t* rval, std::int16_t* radd, std::int16_t* rlen, std::int16_t* buf) = 0;
    virtual com::HRESULT CANXmit(std::int32_t* rval, std::int16_t addr, std::int16_t xlen, std::int16_t* bptr) = 0;
    virtual com::HRESULT DNPoll(std::int32_t* rval, std::int16_t txid, std::int16_t ntxbytes, std::int16_t* rxid,
                                std::int16_t* nrxbytes, std::int16_t* buffer) = 0;
    virtual com::HRESULT NetworkWho(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t* buf) = 0;
    virtual com::HRESULT Init(std::int32_t* rval, std::uint8_t* dwParam) = 0;
    virtual com::HRESULT Close(std::int32_t* rval) = 0;
    virtual com::HRESULT OpenModule(std::int32_t* rval, std::int32_t Address, std::uint8_t* dwParam) = 0;
    virtual com::HRESULT CloseModule(std::int32_t* rval, std::int32_t Address) = 0;
    virtual com::HRESULT IsInitialized(std::int32_t* rval) = 0;
    virtual com::HRESULT SetTimeout(std::int32_t* rval, std::uint32_t iTimeout) = 0;
    virtual com::HRESULT GetCANMessage(std::int32_t* rval, std::int16_t* str) = 0;
    virtual com::HRESULT DNService(std::int32_t* rval, std::int16_t nodeAddress, std::int16_t cls, std::int16_t inst,
                                   std::int16_t srv, std::int16_t len, std::int16_t* buffer) = 0;

protected:
    ~IOrvDeviceNetCom() = default;
};

namespace orvdevicenetcom {

inline constexpr com::VARTYPE kLongRef = com::VT_I4 | com::VT_BYREF;
inline constexpr com::VARTYPE kShortRef = com::VT_I2 | com::VT_BYREF;
inline constexpr com::VARTYPE kAddress = com::VT_UI1 | com::VT_BYREF;

inline constexpr com::ParamInfo kLoadVXDParams[] = {
    {"rval", kLongRef}, {"portAddress", com::VT_I2}, {"irq", com::VT_I2}, {"Config", kShortRef}};
inline constexpr com::ParamInfo kUnloadVXDParams[] = {{"rval", kLongRef}};
inline constexpr com::ParamInfo kDNAllocateParams[] = {
    {"rval", kLongRef}, {"nodeAddress", com::VT_I2}, {"connectionType", com::VT_I2}, {"buffer", kShortRef}};
inline constexpr com::ParamInfo kDNFreeParams[] = {
    {"rval", kLongRef}, {"nodeAddress", com::VT_I2}, {"connectionType", com::VT_I2}, {"buffer", kShortRef}};
inline constexpr com::ParamInfo kDNGetAttributeParams[] = {
    {"rval", kLongRef},      {"nodeAddress", com::VT_I2}, {"clss", com::VT_I2},
    {"instance", com::VT_I2}, {"attr", com::VT_I2},        {"buffer", kShortRef}};
inline constexpr com::ParamInfo kDNSetAttributeParams[] = {
    {"rval", kLongRef},  {"nodeAddress", com::VT_I2}, {"clss", com::VT_I2},   {"instance", com::VT_I2},
    {"attr", com::VT_I2}, {"rlen", com::VT_I2},        {"buffer", kShortRef}};
inline constexpr com::ParamInfo kCANRcvParams[] = {
    {"rval", kLongRef}, {"radd", kShortRef}, {"rlen", kShortRef}, {"buf", kShortRef}};
inline constexpr com::ParamInfo kCANXmitParams[] = {
    {"rval", kLongRef}, {"addr", com::VT_I2}, {"xlen", com::VT_I2}, {"bptr", kShortRef}};
inline constexpr com::ParamInfo kDNPollParams[] = {{"rval", kLongRef},      {"txid", com::VT_I2},
                                                   {"ntxbytes", com::VT_I2}, {"rxid", kShortRef},
                                                   {"nrxbytes", kShortRef},  {"buffer", kShortRef}};
inline constexpr com::ParamInfo kNetworkWhoParams[] = {
    {"rval", kLongRef}, {"nodeAddress", com::VT_I2}, {"buf", kShortRef}};
inline constexpr com::ParamInfo kInitParams[] = {{"rval", kLongRef}, {"dwParam", kAddress}};
inline constexpr com::ParamInfo kCloseParams[] = {{"rval", kLongRef}};
inline constexpr com::ParamInfo kOpenModuleParams[] = {
    {"rval", kLongRef}, {"Address", com::VT_INT}, {"dwParam", kAddress}};
inline constexpr com::ParamInfo kCloseModuleParams[] = {{"rval", kLongRef}, {"Address", com::VT_INT}};
inline constexpr com::ParamInfo kIsInitializedParams[] = {{"rval", kLongRef}};
inline constexpr com::ParamInfo kSetTimeoutParams[] = {{"rval", kLongRef}, {"iTimeout", com::VT_UI4}};
inline constexpr com::ParamInfo kGetCANMessageParams[] = {{"rval", kLongRef}, {"str", kShortRef}};
inline constexpr com::ParamInfo kDNServiceParams[] = {
    {"rval", kLongRef},  {"nodeAddress", com::VT_I2}, {"cls", com::VT_I2},  {"inst", com::VT_I2},
    {"srv", com::VT_I2}, {"len", com::VT_I2},         {"buffer", kShortRef}};

using I = IOrvDeviceNetCom;

inline constexpr com::MethodInfo kMethods[] = {
    com::Method<&I::LoadVXD>("LoadVXD", dispid::kLoadVXD, 7, "method LoadVXD", kLoadVXDParams),
    com::Method<&I::UnloadVXD>("UnloadVXD", dispid::kUnloadVXD, 8, "method UnloadVXD", kUnloadVXDParams),
    com::Method<&I::DNAllocate>("DNAllocate", dispid::kDNAllocate, 9, "method DNAllocate", kDNAllocateParams),
    com::Method<&I::DNFree>("DNFree", dispid::kDNFree, 10, "method DNFree", kDNFreeParams),
    com::Method<&I::DNGetAttribute>("DNGetAttribute", dispid::kDNGetAttribute, 11, "method DNGetAttribute", kDNGetAttributeParams),
    com::Method<&I::DNSetAttribute>("DNSetAttribute", dispid::kDNSetAttribute, 12, "method DNSetAttribute", kDNSetAttributeParams),
    com::Method<&I::CANRcv>("CANRcv", dispid::kCANRcv, 13, "method CANRcv", kCANRcvParams),
    com::Method<&I::CANXmit>("CANXmit", dispid::kCANXmit, 14, "method CANXmit", kCANXmitParams),
    com::Method<&I::DNPoll>("DNPoll", dispid::kDNPoll, 15, "method DNPoll", kDNPollParams),
    com::Method<&I::NetworkWho>("NetworkWho", dispid::kNetworkWho, 16, "method NetworkWho", kNetworkWhoParams),
    com::Method<&I::Init>("Init", dispid::kInit, 17, "method Init", kInitParams),
    com::Method<&I::Close>("Close", dispid::kClose, 18, "method Close", kCloseParams),
    com::Method<&I::OpenModule>("OpenModule", dispid::kOpenModule, 19, "method OpenModule", kOpenModuleParams),
    com::Method<&I::CloseModule>("CloseModule", dispid::kCloseModule, 20, "method CloseModule", kCloseModuleParams),
    com::Method<&I::IsInitialized>("IsInitialized", dispid::kIsInitialized, 21, "method IsInitialized", kIsInitializedParams),
    com::Method<&I::SetTimeout>("SetTimeout", dispid::kSetTimeout, 22, "method SetTimeout", kSetTimeoutParams),
    com::Method<&I::GetCANMessage>("GetCANMessage", dispid::kGetCANMessage, 23, "method GetCANMessage", kGetCANMessageParams),
    com::Method<&I::DNService>("DNService", dispid::kDNService, 24, "method DNService", kDNServiceParams),
};

} // namespace orvdevicenetcom

inline constexpr com::InterfaceInfo kOrvDeviceNetComInfo{"IOrvDeviceNetCom", IOrvDeviceNetCom::kIid,
                                                         "IOrvDeviceNetCom Interface", orvdevicenetcom::kMethods};

inline constexpr const char* kOrvDeviceNetComDescription = "OrvDeviceNetCom Class";
inline constexpr const char* kOrvDeviceNetDriverLibDescription = "OrvDeviceNetDriver 1.0 Type Library";

inline constexpr const com::InterfaceInfo* kOrvDeviceNetDriverInterfaces[] = {&kOrvDeviceNetComInfo};

inline constexpr com::ServerRegistration kOrvDeviceNetComRegistration{kOrvDeviceNetComClsid,
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
com::ServerLockCount& OrvDeviceNetComLocks();

// A new OrvDeviceNetCom as interface `iid`, aggregated into `outer` when not null. The instance
// answers IUnknown, IDispatch and IOrvDeviceNetCom and forwards every method to the process's one
// driver object.
com::HRESULT CreateOrvDeviceNetCom(com::IUnknown* outer, const com::IID& iid, void** object);

} // namespace orv::automation
