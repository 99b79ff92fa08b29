#pragma once
// VARIANT: one automation argument. Only the kinds the automation interfaces of this system use:
// 16- and 32-bit integers, signed and unsigned, by value and by reference, by-reference byte
// buffers, and the "missing argument" marker. A VARIANT owns nothing, so it copies freely; a
// by-reference VARIANT holds the caller's address, and writes through it reach the caller.

#include "platform/automation/Result.h"

#include <cstdint>

namespace orv::platform::automation {

using VARTYPE = std::uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;     // signed 16-bit ("short")
inline constexpr VARTYPE VT_I4 = 3;     // signed 32-bit ("long")
inline constexpr VARTYPE VT_ERROR = 10; // a result code; DISP_E_PARAMNOTFOUND marks a missing argument
inline constexpr VARTYPE VT_UI1 = 17;   // only by reference: a byte buffer of the caller's
inline constexpr VARTYPE VT_UI2 = 18;   // unsigned 16-bit
inline constexpr VARTYPE VT_UI4 = 19;   // unsigned 32-bit ("unsigned long")
inline constexpr VARTYPE VT_INT = 22;   // signed 32-bit ("int")
inline constexpr VARTYPE VT_UINT = 23;  // unsigned 32-bit ("unsigned int")
inline constexpr VARTYPE VT_BYREF = 0x4000;
inline constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    // The member that vt names is the one that holds the value.
    union {
        std::int16_t iVal;
        std::uint16_t uiVal;
        std::int32_t lVal;
        std::uint32_t ulVal;
        std::int32_t intVal;
        std::uint32_t uintVal;
        HRESULT scode;
        std::int16_t* piVal;
        std::uint16_t* puiVal;
        std::int32_t* plVal;
        std::uint32_t* pulVal;
        std::int32_t* pintVal;
        std::uint32_t* puintVal;
        std::uint8_t* pbVal;
        void* byref = nullptr;
    };

    static VARIANT I2(std::int16_t value);
    static VARIANT UI2(std::uint16_t value);
    static VARIANT I4(std::int32_t value);
    static VARIANT UI4(std::uint32_t value);
    static VARIANT Int(std::int32_t value);
    static VARIANT UInt(std::uint32_t value);
    // By reference; a 32-bit signed pointer is VT_I4 | VT_BYREF, RefInt and RefUInt make the
    // VT_INT and VT_UINT kinds.
    static VARIANT Ref(std::int16_t* pointer);
    static VARIANT Ref(std::uint16_t* pointer);
    static VARIANT Ref(std::int32_t* pointer);
    static VARIANT Ref(std::uint32_t* pointer);
    static VARIANT RefInt(std::int32_t* pointer);
    static VARIANT RefUInt(std::uint32_t* pointer);
    // A byte buffer of the caller's, VT_UI1 | VT_BYREF. The size never travels.
    static VARIANT Bytes(void* buffer);
    // The marker of an argument left out (VT_ERROR holding DISP_E_PARAMNOTFOUND).
    static VARIANT Missing();
};

// True for the kinds above (by value: VT_EMPTY, VT_ERROR and the six integer kinds; by reference:
// the six integer kinds and VT_UI1).
bool IsSupportedType(VARTYPE type);

// Converts `source` to the kind `target`, storing the result in `destination`.
//
// By value, any integer kind (held by value or by reference) converts to any other when the
// target can hold the value; otherwise DISP_E_OVERFLOW. Signed to unsigned is range-checked like
// the rest: -1 does not become 0xFFFFFFFF (that is what automation's own conversions do, and it
// keeps a negative count or time-out from turning into a huge one). A byte buffer has no value:
// DISP_E_TYPEMISMATCH.
//
// By reference, the source must be by reference too (DISP_E_TYPEMISMATCH for a value) and the
// address is passed on unchanged, so the pointee must have the size the target declares: the
// 32-bit kinds (I4, UI4, INT, UINT) stand for each other, as do the 16-bit ones and byte buffers
// (I2, UI2, UI1), since a 16-bit integer by reference is how the interfaces of this system pass a
// byte buffer. Anything else is DISP_E_TYPEMISMATCH.
//
// A null address (by reference) is E_POINTER; VT_EMPTY and VT_ERROR convert to nothing
// (DISP_E_TYPEMISMATCH); an unsupported kind on either side is DISP_E_BADVARTYPE. `destination` is
// left unchanged on failure; it may be the same object as `source`.
HRESULT VariantChangeType(VARIANT& destination, const VARIANT& source, VARTYPE target);

} // namespace orv::platform::automation
