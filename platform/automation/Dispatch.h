#pragma once
// The IDispatch-shaped interface: calls by dispatch identifier with arguments in VARIANTs.
//
// Compared with automation's own IDispatch, names are UTF-8 C strings, and the interface
// identifier, locale and exception record of Invoke are left out: there is one locale, no named
// dispatch interface other than the object's own, and methods report through their result only.

#include "platform/automation/Unknown.h"
#include "platform/automation/Variant.h"

#include <cstdint>

namespace orv::platform::automation {

struct InterfaceInfo;

using DISPID = std::int32_t;

inline constexpr DISPID DISPID_UNKNOWN = -1;

// Invoke's kinds of call; the methods of this system are called with DISPATCH_METHOD.
inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;

// The arguments of one call. As in automation, rgvarg holds them in reverse: rgvarg[0] is the last
// argument, rgvarg[cArgs - 1] the first. Named arguments are not supported (cNamedArgs must be 0).
struct DISPPARAMS {
    VARIANT* rgvarg = nullptr;
    DISPID* rgdispidNamedArgs = nullptr;
    std::uint32_t cArgs = 0;
    std::uint32_t cNamedArgs = 0;
};

class IDispatch : public IUnknown {
public:
    static constexpr IID kIid = IID_IDispatch;

    // 1 when the object describes itself through GetTypeInfo, else 0.
    virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
    // The static description of the object's dispatch interface (index 0 only, else
    // DISP_E_BADINDEX). It lives as long as the server library stays loaded.
    virtual HRESULT GetTypeInfo(std::uint32_t index, const InterfaceInfo** info) = 0;
    // names[0] is a member name, the other names are parameters of that member. Stores their
    // identifiers in dispIds (a parameter's identifier is its position, from 0); names match
    // without regard to ASCII case. DISP_E_UNKNOWNNAME, with DISPID_UNKNOWN in place of each name
    // not found, when any is unknown.
    virtual HRESULT GetIDsOfNames(const char* const* names, std::uint32_t count, DISPID* dispIds) = 0;
    // Calls member `dispId`. `result` (may be null) receives the member's value: VT_EMPTY for the
    // methods of this system, whose outputs are by-reference arguments. When the runtime refuses
    // an argument, *argErr (may be null) receives its index in params->rgvarg.
    virtual HRESULT Invoke(DISPID dispId, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           std::uint32_t* argErr) = 0;

protected:
    ~IDispatch() = default;
};

} // namespace orv::platform::automation
