#pragma once
// Type information: the static description of a dispatch interface, from which names resolve to
// dispatch identifiers and calls are checked, converted and made.
//
// A server describes each method once, with the member function that implements it:
//
//     class ICalc : public platform::automation::IDispatch {
//     public:
//         static constexpr platform::automation::IID kIid = platform::automation::MakeGuid("{...}");
//         virtual platform::automation::HRESULT Add(std::int32_t* rval, std::int16_t a, std::int16_t b) = 0;
//     protected:
//         ~ICalc() = default;
//     };
//     inline constexpr platform::automation::ParamInfo kAddParams[] = {
//         {"rval", platform::automation::VT_I4 | platform::automation::VT_BYREF}, {"a", platform::automation::VT_I2}, {"b", platform::automation::VT_I2}};
//     inline constexpr platform::automation::MethodInfo kCalcMethods[] = {
//         platform::automation::Method<&ICalc::Add>("Add", 1, 7, "method Add", kAddParams)};
//     inline constexpr platform::automation::InterfaceInfo kCalcInfo{"ICalc", ICalc::kIid, "ICalc Interface", kCalcMethods};
//
// and derives its class from DispatchImpl<ICalc, kCalcInfo>, which implements the four IDispatch
// functions from the description. Method() checks at compile time that the declared types fit
// the member's C++ parameters (VT_I2: std::int16_t, VT_UI2: std::uint16_t, VT_I4 and VT_INT:
// std::int32_t, VT_UI4 and VT_UINT: std::uint32_t, the same by reference as pointers, and
// VT_UI1 | VT_BYREF: std::uint8_t*), and DispatchImpl that the description is consistent.
//
// Invoke, for a DISPATCH_METHOD call, in this order and before any code of the server runs:
// an unknown DISPID is DISP_E_MEMBERNOTFOUND; named arguments DISP_E_NONAMEDARGS; an argument
// count other than the declared one DISP_E_BADPARAMCOUNT; then each argument, first to last, is
// converted to its declared type (VariantChangeType): a missing argument is
// DISP_E_PARAMNOTOPTIONAL, a failed conversion its result (DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW,
// E_POINTER for a null reference), each with *argErr = the argument's index in rgvarg. Then the
// member is called through the interface's vtable with the converted arguments in declaration
// order, and its result is Invoke's. An exception thrown by the member ends as E_OUTOFMEMORY
// (std::bad_alloc) or E_FAIL.

#include "platform/automation/Dispatch.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

namespace orv::platform::automation {

struct ParamInfo {
    const char* name;
    // An integer kind by value or by reference, or VT_UI1 | VT_BYREF for a byte buffer.
    VARTYPE type;
};

// Calls the implementation on `object` (the interface pointer) with `args` converted to the
// declared types, in declaration order.
using MethodThunk = HRESULT (*)(void* object, const VARIANT* args);

struct MethodInfo {
    const char* name;
    DISPID dispId;
    // Position in the interface's vtable, counting QueryInterface as 0; the methods of an
    // interface derived from IDispatch start at 7.
    std::uint32_t vtableSlot;
    const char* helpString;
    std::span<const ParamInfo> params;
    MethodThunk thunk;
    // The interface whose member the thunk calls, and where the compiler put that member in its
    // vtable (for CheckVtableSlots).
    IID owner;
    std::uint32_t (*implementationSlot)();
};

struct InterfaceInfo {
    const char* name;
    IID iid;
    const char* helpString;
    std::span<const MethodInfo> methods;
};

inline constexpr std::size_t kMaxParams = 16;

namespace detail {

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool NamesEqual(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

// How a C++ parameter type of an implementation takes its value from a converted VARIANT.
template <class T>
struct ArgKind; // no definition: a parameter of any other type does not compile

template <>
struct ArgKind<std::int16_t> {
    static constexpr bool Accepts(VARTYPE type) { return type == VT_I2; }
    static std::int16_t Get(const VARIANT& v) { return v.iVal; }
};
template <>
struct ArgKind<std::uint16_t> {
    static constexpr bool Accepts(VARTYPE type) { return type == VT_UI2; }
    static std::uint16_t Get(const VARIANT& v) { return v.uiVal; }
};
template <>
struct ArgKind<std::int32_t> {
    static constexpr bool Accepts(VARTYPE type) { return type == VT_I4 || type == VT_INT; }
    static std::int32_t Get(const VARIANT& v) { return v.lVal; }
};
template <>
struct ArgKind<std::uint32_t> {
    static constexpr bool Accepts(VARTYPE type) { return type == VT_UI4 || type == VT_UINT; }
    static std::uint32_t Get(const VARIANT& v) { return v.ulVal; }
};
template <>
struct ArgKind<std::int16_t*> {
    static constexpr bool Accepts(VARTYPE type) { return type == (VT_I2 | VT_BYREF); }
    static std::int16_t* Get(const VARIANT& v) { return static_cast<std::int16_t*>(v.byref); }
};
template <>
struct ArgKind<std::uint16_t*> {
    static constexpr bool Accepts(VARTYPE type) { return type == (VT_UI2 | VT_BYREF); }
    static std::uint16_t* Get(const VARIANT& v) { return static_cast<std::uint16_t*>(v.byref); }
};
template <>
struct ArgKind<std::int32_t*> {
    static constexpr bool Accepts(VARTYPE type) { return type == (VT_I4 | VT_BYREF) || type == (VT_INT | VT_BYREF); }
    static std::int32_t* Get(const VARIANT& v) { return static_cast<std::int32_t*>(v.byref); }
};
template <>
struct ArgKind<std::uint32_t*> {
    static constexpr bool Accepts(VARTYPE type) { return type == (VT_UI4 | VT_BYREF) || type == (VT_UINT | VT_BYREF); }
    static std::uint32_t* Get(const VARIANT& v) { return static_cast<std::uint32_t*>(v.byref); }
};
template <>
struct ArgKind<std::uint8_t*> {
    static constexpr bool Accepts(VARTYPE type) { return type == (VT_UI1 | VT_BYREF); }
    static std::uint8_t* Get(const VARIANT& v) { return v.pbVal; }
};

template <class M>
struct MemberTraits;
template <class C, class... P>
struct MemberTraits<HRESULT (C::*)(P...)> {
    using Class = C;
    template <template <class...> class F>
    using Apply = F<P...>;
};
template <class C, class... P>
struct MemberTraits<HRESULT (C::*)(P...) noexcept> : MemberTraits<HRESULT (C::*)(P...)> {};

template <class... P>
struct ParamList {
    static constexpr std::size_t kCount = sizeof...(P);

    static constexpr bool Fits(std::span<const ParamInfo> params)
    {
        if (params.size() != kCount) {
            return false;
        }
        return [&]<std::size_t... N>(std::index_sequence<N...>) {
            return (ArgKind<P>::Accepts(params[N].type) && ...);
        }(std::index_sequence_for<P...>{});
    }

    template <auto Member, class C>
    static HRESULT Call(void* object, const VARIANT* args) noexcept
    {
        (void)args;
        try {
            return [&]<std::size_t... N>(std::index_sequence<N...>) {
                return (static_cast<C*>(object)->*Member)(ArgKind<P>::Get(args[N])...);
            }(std::index_sequence_for<P...>{});
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_FAIL;
        }
    }
};

// The vtable slot of a pointer to a virtual member function, as the Itanium C++ ABI (GCC and
// Clang on Linux) encodes it; UINT32_MAX for a non-virtual one.
template <auto Member>
std::uint32_t VtableSlotOf()
{
    struct Encoded {
        std::uintptr_t pointer;
        std::ptrdiff_t adjustment;
    };
    static_assert(sizeof(Member) == sizeof(Encoded));
    const Encoded encoded = std::bit_cast<Encoded>(Member);
#if defined(__aarch64__) || defined(__arm__)
    if ((encoded.adjustment & 1) == 0) {
        return UINT32_MAX;
    }
    return static_cast<std::uint32_t>(encoded.pointer / sizeof(void*));
#else
    if ((encoded.pointer & 1) == 0) {
        return UINT32_MAX;
    }
    return static_cast<std::uint32_t>((encoded.pointer - 1) / sizeof(void*));
#endif
}

// Not constexpr: a method description that reaches one of these does not compile, and the name
// in the compiler's message says why.
void DeclaredParametersDoNotMatchTheMemberFunction();
void TooManyParameters();

} // namespace detail

// The description of one method implemented by `Member`, a pointer to a member function of an
// interface class returning HRESULT. The declared parameter types must fit its C++ parameters.
template <auto Member>
consteval MethodInfo Method(const char* name, DISPID dispId, std::uint32_t vtableSlot, const char* helpString,
                            std::span<const ParamInfo> params)
{
    using Traits = detail::MemberTraits<decltype(Member)>;
    using Class = typename Traits::Class;
    using Params = typename Traits::template Apply<detail::ParamList>;
    if (Params::kCount > kMaxParams) {
        detail::TooManyParameters();
    }
    if (!Params::Fits(params)) {
        detail::DeclaredParametersDoNotMatchTheMemberFunction();
    }
    return MethodInfo{name,
                      dispId,
                      vtableSlot,
                      helpString,
                      params,
                      &Params::template Call<Member, Class>,
                      Class::kIid,
                      &detail::VtableSlotOf<Member>};
}

// True when the description belongs to the interface `iid` and is consistent: every method is a
// member of that interface, has a DISPID other than DISPID_UNKNOWN, and no two methods share a
// DISPID or a name (names compare without regard to ASCII case).
constexpr bool IsConsistent(const InterfaceInfo& info, const IID& iid)
{
    if (!(info.iid == iid)) {
        return false;
    }
    for (std::size_t i = 0; i < info.methods.size(); ++i) {
        const MethodInfo& method = info.methods[i];
        if (!(method.owner == iid) || method.dispId == DISPID_UNKNOWN || method.params.size() > kMaxParams) {
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (info.methods[j].dispId == method.dispId || detail::NamesEqual(info.methods[j].name, method.name)) {
                return false;
            }
        }
    }
    return true;
}

// True when every method's vtableSlot is where the compiler put its member function.
bool CheckVtableSlots(const InterfaceInfo& info);

// The method with `dispId`, or null.
const MethodInfo* FindMethod(const InterfaceInfo& info, DISPID dispId);

// The IDispatch functions, served from `info`; `object` is the interface pointer its thunks call.
HRESULT DispatchGetTypeInfo(const InterfaceInfo& info, std::uint32_t index, const InterfaceInfo** result);
HRESULT DispatchGetIDsOfNames(const InterfaceInfo& info, const char* const* names, std::uint32_t count,
                              DISPID* dispIds);
HRESULT DispatchInvoke(const InterfaceInfo& info, void* object, DISPID dispId, std::uint16_t flags,
                       DISPPARAMS* params, VARIANT* result, std::uint32_t* argErr);

// Implements IDispatch for an interface class `Interface` (derived from IDispatch) described by
// `Info`. The class that derives from it implements the interface's own methods and IUnknown
// (see Object.h).
template <class Interface, const InterfaceInfo& Info>
class DispatchImpl : public Interface {
    static_assert(std::is_base_of_v<IDispatch, Interface>);
    static_assert(IsConsistent(Info, Interface::kIid),
                  "the description names another interface, a member of another interface, or a "
                  "DISPID or name twice");

public:
    HRESULT GetTypeInfoCount(std::uint32_t* count) override
    {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t index, const InterfaceInfo** info) override
    {
        return DispatchGetTypeInfo(Info, index, info);
    }
    HRESULT GetIDsOfNames(const char* const* names, std::uint32_t count, DISPID* dispIds) override
    {
        return DispatchGetIDsOfNames(Info, names, count, dispIds);
    }
    HRESULT Invoke(DISPID dispId, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   std::uint32_t* argErr) override
    {
        return DispatchInvoke(Info, static_cast<Interface*>(this), dispId, flags, params, result, argErr);
    }

protected:
    ~DispatchImpl() = default;
};

} // namespace orv::platform::automation
