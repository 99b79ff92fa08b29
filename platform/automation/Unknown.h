#pragma once
// The IUnknown- and IClassFactory-shaped interfaces, and ComPtr, the reference-counting pointer.
//
// Interfaces are abstract classes whose virtual functions lie in the order automation gives them
// (QueryInterface, AddRef, Release first), with protected non-virtual destructors so that nothing
// but Release ends an object. Every function reports through its result; no exception leaves one.
// Each interface names its identifier as the static member kIid.

#include "platform/automation/Guid.h"
#include "platform/automation/Result.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace orv::platform::automation {

class IUnknown {
public:
    static constexpr IID kIid = IID_IUnknown;

    // Stores in *object the object's interface `iid`, counted as one more reference; null and
    // E_NOINTERFACE when the object has no such interface; E_POINTER when `object` is null.
    // Asking any interface of an object for IID_IUnknown yields the same pointer, the object's
    // identity.
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    // The new reference count, for diagnostics only.
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

class IClassFactory : public IUnknown {
public:
    static constexpr IID kIid = IID_IClassFactory;

    // A new instance of the class, as its interface `iid`. With an `outer` object (aggregation)
    // `iid` must be IID_IUnknown and the result is the instance's own, non-delegating IUnknown;
    // otherwise CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    // Keeps the server library loaded (lock) or lets it go again (unlock).
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Holds one reference to an interface pointer. T is an interface class with a kIid member.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Shares `pointer`: takes a reference of its own.
    explicit ComPtr(T* pointer) : pointer_(pointer)
    {
        if (pointer_ != nullptr) {
            pointer_->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.pointer_) {}
    ComPtr(ComPtr&& other) noexcept : pointer_(other.Detach()) {}
    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* pointer)
    {
        ComPtr result;
        result.pointer_ = pointer;
        return result;
    }

    T* Get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }

    void Reset()
    {
        if (T* old = std::exchange(pointer_, nullptr); old != nullptr) {
            old->Release();
        }
    }

    // Gives up the reference to the caller.
    T* Detach() { return std::exchange(pointer_, nullptr); }

    void Swap(ComPtr& other) noexcept { std::swap(pointer_, other.pointer_); }

    // For a function that hands out a new reference through `void** object`:
    // `factory->CreateInstance(nullptr, IDispatch::kIid, pointer.Receive())`. The pointer is
    // released first and takes the result when the full expression ends.
    class Receiver {
    public:
        explicit Receiver(ComPtr& owner) : owner_(owner) {}
        Receiver(const Receiver&) = delete;
        Receiver& operator=(const Receiver&) = delete;
        ~Receiver() { owner_.pointer_ = static_cast<T*>(value_); }
        operator void**() { return &value_; }

    private:
        ComPtr& owner_;
        void* value_ = nullptr;
    };
    Receiver Receive()
    {
        Reset();
        return Receiver(*this);
    }

    // This object's interface U, or an empty pointer (and the failure) when it has none.
    template <class U>
    HRESULT As(ComPtr<U>& other) const
    {
        if (pointer_ == nullptr) {
            other.Reset();
            return E_POINTER;
        }
        return pointer_->QueryInterface(U::kIid, other.Receive());
    }

private:
    T* pointer_ = nullptr;
};

} // namespace orv::platform::automation
