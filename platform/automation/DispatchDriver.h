#pragma once
// The client side of a dispatch interface: calling a method by DISPID with its arguments in the
// order they are declared, and DispatchDriver, an IDispatch pointer that releases itself.
//
//     platform::automation::DispatchDriver driver;
//     std::string why;
//     if (FAILED(driver.CreateDispatch("Maker.Class.1", &why))) { show(why); }
//     std::int32_t rval = -1;
//     std::uint8_t buffer[152] = {};
//     platform::automation::HRESULT status = driver.InvokeMethod(5, {platform::automation::VARIANT::Ref(&rval), platform::automation::VARIANT::I2(node),
//                                                   ..., platform::automation::VARIANT::Bytes(buffer)});

#include "platform/automation/Dispatch.h"
#include "platform/automation/Unknown.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace orv::platform::automation {

// Calls method `dispId` of `dispatch` (DISPATCH_METHOD) with `args` first to last; they are
// handed to Invoke reversed, as DISPPARAMS holds them. No return value is asked for. At most
// kMaxInvokeArgs arguments (else DISP_E_BADPARAMCOUNT); a null `dispatch` is E_POINTER. `argErr`
// (may be null) receives the index in `args` of an argument Invoke refused.
inline constexpr std::size_t kMaxInvokeArgs = 16;
HRESULT InvokeMethod(IDispatch* dispatch, DISPID dispId, std::span<const VARIANT> args,
                     std::uint32_t* argErr = nullptr);

class DispatchDriver {
public:
    DispatchDriver() = default;
    DispatchDriver(const DispatchDriver&) = delete;
    DispatchDriver& operator=(const DispatchDriver&) = delete;
    ~DispatchDriver() { ReleaseDispatch(); }

    // Creates an object of the class `progId` names (ProgID or "{CLSID}") and keeps its IDispatch,
    // released on destruction. On failure the driver stays empty and `errorText` (may be null)
    // says why (see Creation.h).
    HRESULT CreateDispatch(std::string_view progId, std::string* errorText = nullptr);

    // Keeps `dispatch` (whose reference the caller hands over); releases it on destruction when
    // `autoRelease`.
    void AttachDispatch(IDispatch* dispatch, bool autoRelease = true);
    // Gives the pointer (and its reference) back to the caller.
    IDispatch* DetachDispatch();
    // Releases the pointer now (when it is ours to release) and becomes empty.
    void ReleaseDispatch();

    IDispatch* Dispatch() const { return dispatch_; }
    explicit operator bool() const { return dispatch_ != nullptr; }

    HRESULT InvokeMethod(DISPID dispId, std::initializer_list<VARIANT> args, std::uint32_t* argErr = nullptr) const
    {
        return platform::automation::InvokeMethod(dispatch_, dispId, std::span<const VARIANT>(args.begin(), args.size()), argErr);
    }
    HRESULT InvokeMethod(DISPID dispId, std::span<const VARIANT> args, std::uint32_t* argErr = nullptr) const
    {
        return platform::automation::InvokeMethod(dispatch_, dispId, args, argErr);
    }

    // The DISPID of member `name`.
    HRESULT GetIDOfName(const char* name, DISPID* dispId) const;

private:
    IDispatch* dispatch_ = nullptr;
    bool autoRelease_ = false;
};

} // namespace orv::platform::automation
