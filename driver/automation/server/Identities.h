#pragma once
// Who OrvDeviceNetCom is: its class, interface and type library identities, its ProgIDs and the
// dispatch identifiers of IOrvDeviceNetCom's methods. The server registers and serves these;
// clients create the class by the ProgID and call the methods by these DISPIDs. Header only, so a
// client includes it without linking anything of the driver.

#include "platform/automation/Dispatch.h"
#include "platform/automation/Guid.h"

#include <string_view>

namespace orv::automation {

inline constexpr platform::automation::CLSID kOrvDeviceNetComClsid = platform::automation::MakeGuid("{40140904-0DEF-4027-8512-0AD1B086D999}");
inline constexpr platform::automation::IID kIOrvDeviceNetComIid = platform::automation::MakeGuid("{12F6DD73-229D-4CF6-ACB4-5F0EFC132684}");
inline constexpr platform::automation::GUID kOrvDeviceNetDriverLibId = platform::automation::MakeGuid("{FDB652E4-A4AA-40EC-8824-5C44FBBFD39E}");
inline constexpr const char* kOrvDeviceNetComProgId = "OrvDeviceNetDriver.OrvDeviceNetCom.1";
inline constexpr const char* kOrvDeviceNetComIndependentProgId = "OrvDeviceNetDriver.OrvDeviceNetCom";

// DISPIDs of IOrvDeviceNetCom. 16 is not used.
namespace dispid {
inline constexpr platform::automation::DISPID kLoadVXD = 1;
inline constexpr platform::automation::DISPID kUnloadVXD = 2;
inline constexpr platform::automation::DISPID kDNAllocate = 3;
inline constexpr platform::automation::DISPID kDNFree = 4;
inline constexpr platform::automation::DISPID kDNGetAttribute = 5;
inline constexpr platform::automation::DISPID kDNSetAttribute = 6;
inline constexpr platform::automation::DISPID kCANRcv = 7;
inline constexpr platform::automation::DISPID kCANXmit = 8;
inline constexpr platform::automation::DISPID kDNPoll = 9;
inline constexpr platform::automation::DISPID kNetworkWho = 10;
inline constexpr platform::automation::DISPID kInit = 11;
inline constexpr platform::automation::DISPID kClose = 12;
inline constexpr platform::automation::DISPID kOpenModule = 13;
inline constexpr platform::automation::DISPID kCloseModule = 14;
inline constexpr platform::automation::DISPID kIsInitialized = 15;
inline constexpr platform::automation::DISPID kSetTimeout = 17;
inline constexpr platform::automation::DISPID kGetCANMessage = 18;
inline constexpr platform::automation::DISPID kDNService = 19;
} // namespace dispid

} // namespace orv::automation
