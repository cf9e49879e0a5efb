#include "drivers/alsa/AlsaClassFactory.h"

#include "drivers/kit/ModuleUsage.h"

AlsaClassFactory::AlsaClassFactory(REFCLSID clsid, DriverCreateFunction create)
    : clsid(clsid), create(create)
{
    ModuleObjectCreated();
}

AlsaClassFactory::~AlsaClassFactory()
{
    ModuleObjectDestroyed();
}

HRESULT AlsaClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG AlsaClassFactory::AddRef()
{
    return nRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG AlsaClassFactory::Release()
{
    const ULONG count = nRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) delete this;
    return count;
}

HRESULT AlsaClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    return CreateDriverInstance(clsid, create, outer, iid, object);
}

HRESULT AlsaClassFactory::LockServer(bool lock)
{
    ModuleLock(lock);
    return S_OK;
}
