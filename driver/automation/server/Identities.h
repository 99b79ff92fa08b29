#pragma once
// Who OrvDeviceNetCom is: its class, interface and type library identities, its ProgIDs and the
// dispatch identifiers of IOrvDeviceNetCom's methods. The server registers and serves these;
// clients create the class by the ProgID and call the methods by these DISPIDs. Header only, so a
// client includes it without linking anything of the driver.

#include "platform/automation/Dispatch.h"
#include "platform/automation/Guid.h"

#include <string_view>

namespace orv::automation {

inline constexpr com::CLSID kOrvDeviceNetComClsid = com::MakeGuid("{40140904-0DEF-4027-8512-0AD1B086D999}");
inline constexpr com::IID kIOrvDeviceNetComIid = com::MakeGuid("{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}");
inline constexpr com::GUID kOrvDeviceNetDriverLibId = com::MakeGuid("{FDB652E4-A4AA-40EC-8824-5C44FBBFD39E}");
inline constexpr const char* kOrvDeviceNetComProgId = "OrvDeviceNetDriver.OrvDeviceNetCom.1";
inline constexpr const char* kOrvDeviceNetComIndependentProgId = "OrvDeviceNetDriver.OrvDeviceNetCom";

// DISPIDs of IOrvDeviceNetCom. 16 is not used.
namespace dispid {
inline constexpr com::DISPID kLoadVXD = 1;
inline constexpr com::DISPID kUnloadVXD = 2;
inline constexpr com::DISPID kDNAllocate = 3;
inline constexpr com::DISPID kDNFree = 4;
inline constexpr com::DISPID kDNGetAttribute = 5;
inline constexpr com::DISPID kDNSetAttribute = 6;
inline constexpr com::DISPID kCANRcv = 7;
inline constexpr com::DISPID kCANXmit = 8;
inline constexpr com::DISPID kDNPoll = 9;
inline constexpr com::DISPID kNetworkWho = 10;
inline constexpr com::DISPID kInit = 11;
inline constexpr com::DISPID kClose = 12;
inline constexpr com::DISPID kOpenModule = 13;
inline constexpr com::DISPID kCloseModule = 14;
inline constexpr com::DISPID kIsInitialized = 15;
inline constexpr com::DISPID kSetTimeout = 17;
inline constexpr com::DISPID kGetCANMessage = 18;
inline constexpr com::DISPID kDNService = 19;
} // namespace dispid

} // namespace orv::automation
