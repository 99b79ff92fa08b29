#pragma once
// Building blocks of a server: reference counting, aggregation, the class factory and the count
// of objects and locks that DllCanUnloadNow answers from.
//
// An implementation class derives from its interfaces (all derived from IUnknown, with IUnknown's
// functions left pure) and from ObjectRoot, and says in FindInterface which interfaces it has:
//
//     class Calc : public platform::automation::DispatchImpl<ICalc, kCalcInfo>, public platform::automation::ObjectRoot {
//     public:
//         platform::automation::HRESULT Add(std::int32_t* rval, std::int16_t a, std::int16_t b) override;
//     protected:
//         platform::automation::IUnknown* FindInterface(const platform::automation::IID& iid) override
//         {
//             if (iid == platform::automation::IDispatch::kIid || iid == ICalc::kIid) return static_cast<ICalc*>(this);
//             return nullptr;
//         }
//     };
//
// Object<Calc> completes it with IUnknown; CreateObject<Calc>(outer, iid, object) makes one.
//
// Aggregation: an instance created with an outer object hands that object its own IUnknown (the
// non-delegating one), which counts the instance's references and answers QueryInterface from
// FindInterface. The IUnknown functions of the instance's other interfaces delegate to the outer
// object, so a client that holds any interface sees one object: the outer one. Without an outer
// object both are the same.
//
// An object lives on the thread that made it; only the counts are atomic.

#include "platform/automation/Unknown.h"

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

namespace orv::platform::automation {

// Objects alive and server locks held in one server library; DllCanUnloadNow says S_OK only when
// it is zero. A server defines one (a plain global: constant-initialised, no destructor work).
class ServerLockCount {
public:
    constexpr ServerLockCount() = default;
    ServerLockCount(const ServerLockCount&) = delete;
    ServerLockCount& operator=(const ServerLockCount&) = delete;

    void Lock() { count_.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() { count_.fetch_sub(1, std::memory_order_acq_rel); }
    bool IsLocked() const { return count_.load(std::memory_order_acquire) != 0; }
    long Count() const { return count_.load(std::memory_order_acquire); }

private:
    std::atomic<long> count_{0};
};

// Holds one lock on a ServerLockCount for its lifetime: a member of an implementation class keeps
// the server library loaded while the object lives.
class ServerLock {
public:
    explicit ServerLock(ServerLockCount& count) : count_(count) { count_.Lock(); }
    ~ServerLock() { count_.Unlock(); }
    ServerLock(const ServerLock&) = delete;
    ServerLock& operator=(const ServerLock&) = delete;

private:
    ServerLockCount& count_;
};

template <class Impl>
class Object;

class ObjectRoot {
public:
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;

    // The object's own IUnknown: the one an outer object holds.
    IUnknown* NonDelegatingUnknown() { return &inner_; }
    // The IUnknown that stands for the object: the outer object's when aggregated.
    IUnknown* ControllingUnknown() { return outer_ != nullptr ? outer_ : &inner_; }
    bool IsAggregated() const { return outer_ != nullptr; }

protected:
    ObjectRoot() : inner_(*this) {}
    virtual ~ObjectRoot() = default;

    // The object's interface `iid` (the IUnknown at the start of it, which has the interface's
    // address), or null. Not called for IID_IUnknown. Takes no reference.
    virtual IUnknown* FindInterface(const IID& iid) = 0;

private:
    template <class Impl>
    friend class Object;

    class NonDelegating final : public IUnknown {
    public:
        explicit NonDelegating(ObjectRoot& owner) : owner_(owner) {}
        HRESULT QueryInterface(const IID& iid, void** object) override;
        std::uint32_t AddRef() override;
        std::uint32_t Release() override;

    private:
        ObjectRoot& owner_;
    };

    NonDelegating inner_;
    IUnknown* outer_ = nullptr;
    std::atomic<std::uint32_t> references_{0};
};

// Impl completed with the IUnknown functions of its interfaces, which go to the controlling
// IUnknown.
template <class Impl>
class Object final : public Impl {
public:
    template <class... Args>
    explicit Object(IUnknown* outer, Args&&... args) : Impl(std::forward<Args>(args)...)
    {
        this->outer_ = outer;
    }

    HRESULT QueryInterface(const IID& iid, void** object) override
    {
        return this->ControllingUnknown()->QueryInterface(iid, object);
    }
    std::uint32_t AddRef() override { return this->ControllingUnknown()->AddRef(); }
    std::uint32_t Release() override { return this->ControllingUnknown()->Release(); }
};

// A new Impl (constructed from `args`) as its interface `iid`, aggregated into `outer` when not
// null (then `iid` must be IID_IUnknown, else CLASS_E_NOAGGREGATION). The object is destroyed again
// when it lacks `iid`. E_OUTOFMEMORY when it cannot be allocated, E_FAIL when its constructor
// throws.
template <class Impl, class... Args>
HRESULT CreateObject(IUnknown* outer, const IID& iid, void** object, Args&&... args) noexcept
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr && !(iid == IID_IUnknown)) {
        return CLASS_E_NOAGGREGATION;
    }
    Object<Impl>* created = nullptr;
    try {
        created = new Object<Impl>(outer, std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
    IUnknown* own = created->NonDelegatingUnknown();
    own->AddRef();
    const HRESULT result = own->QueryInterface(iid, object);
    own->Release();
    return result;
}

// The class object of one class: a static object of the server. References to it and LockServer
// both count in the server's ServerLockCount, so the library stays loaded while a client holds
// the factory.
class ClassFactory final : public IClassFactory {
public:
    using Creator = HRESULT (*)(IUnknown* outer, const IID& iid, void** object);

    constexpr ClassFactory(Creator creator, ServerLockCount& locks) : creator_(creator), locks_(locks) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    HRESULT QueryInterface(const IID& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override;
    HRESULT LockServer(bool lock) override;

private:
    Creator creator_;
    ServerLockCount& locks_;
};

// The body of a server's DllGetClassObject for one class: `factory` as interface *iid when
// *clsid is `served`, else CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetClassObject(const CLSID* clsid, const IID* iid, void** object, const CLSID& served,
                       IClassFactory& factory);

} // namespace orv::platform::automation
