#include "platform/automation/TypeInfo.h"

namespace orv::platform::automation {

namespace {

bool IsMissing(const VARIANT& argument)
{
    return argument.vt == VT_ERROR && argument.scode == DISP_E_PARAMNOTFOUND;
}

} // namespace

bool CheckVtableSlots(const InterfaceInfo& info)
{
    for (const MethodInfo& method : info.methods) {
        if (method.implementationSlot == nullptr || method.implementationSlot() != method.vtableSlot) {
            return false;
        }
    }
    return true;
}

const MethodInfo* FindMethod(const InterfaceInfo& info, DISPID dispId)
{
    for (const MethodInfo& method : info.methods) {
        if (method.dispId == dispId) {
            return &method;
        }
    }
    return nullptr;
}

HRESULT DispatchGetTypeInfo(const InterfaceInfo& info, std::uint32_t index, const InterfaceInfo** result)
{
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    if (index != 0) {
        return DISP_E_BADINDEX;
    }
    *result = &info;
    return S_OK;
}

HRESULT DispatchGetIDsOfNames(const InterfaceInfo& info, const char* const* names, std::uint32_t count,
                              DISPID* dispIds)
{
    if (count == 0) {
        return E_INVALIDARG;
    }
    if (names == nullptr || dispIds == nullptr) {
        return E_POINTER;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        dispIds[i] = DISPID_UNKNOWN;
    }
    const MethodInfo* found = nullptr;
    if (names[0] != nullptr) {
        for (const MethodInfo& method : info.methods) {
            if (detail::NamesEqual(method.name, names[0])) {
                found = &method;
                break;
            }
        }
    }
    if (found == nullptr) {
        return DISP_E_UNKNOWNNAME;
    }
    dispIds[0] = found->dispId;
    bool allKnown = true;
    for (std::uint32_t i = 1; i < count; ++i) {
        for (std::size_t position = 0; names[i] != nullptr && position < found->params.size(); ++position) {
            if (detail::NamesEqual(found->params[position].name, names[i])) {
                dispIds[i] = static_cast<DISPID>(position);
                break;
            }
        }
        allKnown = allKnown && dispIds[i] != DISPID_UNKNOWN;
    }
    return allKnown ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT DispatchInvoke(const InterfaceInfo& info, void* object, DISPID dispId, std::uint16_t flags,
                       DISPPARAMS* params, VARIANT* result, std::uint32_t* argErr)
{
    const MethodInfo* method = FindMethod(info, dispId);
    if (method == nullptr || (flags & DISPATCH_METHOD) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr) {
        return E_INVALIDARG;
    }
    if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    const std::size_t count = method->params.size();
    if (params->cArgs != count || count > kMaxParams) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (count > 0 && params->rgvarg == nullptr) {
        return E_INVALIDARG;
    }

    std::array<VARIANT, kMaxParams> converted{};
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t position = static_cast<std::uint32_t>(count - 1 - i);
        const VARIANT& given = params->rgvarg[position];
        HRESULT status = IsMissing(given) ? DISP_E_PARAMNOTOPTIONAL
                                          : VariantChangeType(converted[i], given, method->params[i].type);
        if (FAILED(status)) {
            if (argErr != nullptr) {
                *argErr = position;
            }
            return status;
        }
    }
    if (result != nullptr) {
        *result = VARIANT{};
    }
    return method->thunk(object, converted.data());
}

} // namespace orv::platform::automation
