#include "platform/automation/DispatchDriver.h"

#include "platform/automation/Creation.h"

#include <array>

namespace orv::platform::automation {

HRESULT InvokeMethod(IDispatch* dispatch, DISPID dispId, std::span<const VARIANT> args, std::uint32_t* argErr)
{
    if (dispatch == nullptr) {
        return E_POINTER;
    }
    if (args.size() > kMaxInvokeArgs) {
        return DISP_E_BADPARAMCOUNT;
    }
    std::array<VARIANT, kMaxInvokeArgs> reversed{};
    const std::size_t count = args.size();
    for (std::size_t i = 0; i < count; ++i) {
        reversed[count - 1 - i] = args[i];
    }
    DISPPARAMS params;
    params.rgvarg = count != 0 ? reversed.data() : nullptr;
    params.cArgs = static_cast<std::uint32_t>(count);
    std::uint32_t refused = 0;
    const HRESULT result = dispatch->Invoke(dispId, DISPATCH_METHOD, &params, nullptr, &refused);
    if (FAILED(result) && argErr != nullptr && refused < count) {
        *argErr = static_cast<std::uint32_t>(count - 1 - refused);
    }
    return result;
}

HRESULT DispatchDriver::CreateDispatch(std::string_view progId, std::string* errorText)
{
    ReleaseDispatch();
    ComPtr<IDispatch> created;
    const HRESULT result = platform::automation::CreateDispatch(progId, created, errorText);
    if (SUCCEEDED(result)) {
        AttachDispatch(created.Detach(), true);
    }
    return result;
}

void DispatchDriver::AttachDispatch(IDispatch* dispatch, bool autoRelease)
{
    ReleaseDispatch();
    dispatch_ = dispatch;
    autoRelease_ = autoRelease;
}

IDispatch* DispatchDriver::DetachDispatch()
{
    IDispatch* dispatch = dispatch_;
    dispatch_ = nullptr;
    autoRelease_ = false;
    return dispatch;
}

void DispatchDriver::ReleaseDispatch()
{
    if (dispatch_ != nullptr && autoRelease_) {
        dispatch_->Release();
    }
    dispatch_ = nullptr;
    autoRelease_ = false;
}

HRESULT DispatchDriver::GetIDOfName(const char* name, DISPID* dispId) const
{
    if (dispatch_ == nullptr) {
        return E_POINTER;
    }
    return dispatch_->GetIDsOfNames(&name, 1, dispId);
}

} // namespace orv::platform::automation
