#include "platform/automation/Object.h"

namespace orv::platform::automation {

HRESULT ObjectRoot::NonDelegating::QueryInterface(const IID& iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    IUnknown* found = owner_.FindInterface(iid);
    if (found == nullptr) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = found;
    // Through the interface, so that an aggregated object counts the reference on its outer one.
    found->AddRef();
    return S_OK;
}

std::uint32_t ObjectRoot::NonDelegating::AddRef()
{
    return owner_.references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t ObjectRoot::NonDelegating::Release()
{
    const std::uint32_t remaining = owner_.references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (remaining == 0) {
        delete &owner_;
    }
    return remaining;
}

HRESULT ClassFactory::QueryInterface(const IID& iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

// The factory is static; its count is the server's.
std::uint32_t ClassFactory::AddRef()
{
    locks_.Lock();
    return 2;
}

std::uint32_t ClassFactory::Release()
{
    locks_.Unlock();
    return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const IID& iid, void** object)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    return creator_(outer, iid, object);
}

HRESULT ClassFactory::LockServer(bool lock)
{
    if (lock) {
        locks_.Lock();
    } else {
        locks_.Unlock();
    }
    return S_OK;
}

HRESULT GetClassObject(const CLSID* clsid, const IID* iid, void** object, const CLSID& served,
                       IClassFactory& factory)
{
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (clsid == nullptr || iid == nullptr) {
        return E_INVALIDARG;
    }
    if (!(*clsid == served)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return factory.QueryInterface(*iid, object);
}

} // namespace orv::platform::automation
