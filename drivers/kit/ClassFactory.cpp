#include "drivers/kit/ClassFactory.h"

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CreateDriverInstance(REFCLSID clsid, DriverCreateFunction create, IUnknown* outer,
                             REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* created = nullptr;
    HRESULT result = create(clsid, &created);
    if (FAILED(result)) return result;
    if (created == nullptr) return E_UNEXPECTED;
    result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    return CreateDriverInstance(clsid, create, outer, iid, object);
}

HRESULT ClassFactory::LockServer(bool lock)
{
    ModuleLock(lock);
    return S_OK;
}

HRESULT ClassFactory::GetClassObject(ClassFactory* factories, int count, REFCLSID clsid, REFIID iid,
                                     void** object)
{
    if (object == nullptr) return E_POINTER;
    for (int i = 0; i < count; ++i)
        if (factories[i].clsid == clsid) return factories[i].QueryInterface(iid, object);
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

RuntimeClassFactory* RuntimeClassFactory::Create(REFCLSID clsid, DriverCreateFunction create)
{
    return new (std::nothrow) RuntimeClassFactory(clsid, create);
}

RuntimeClassFactory::RuntimeClassFactory(REFCLSID clsid, DriverCreateFunction create)
    : clsid(clsid), create(create)
{
    ModuleObjectCreated();
}

RuntimeClassFactory::~RuntimeClassFactory()
{
    ModuleObjectDestroyed();
}

HRESULT RuntimeClassFactory::QueryInterface(REFIID iid, void** object)
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

ULONG RuntimeClassFactory::AddRef()
{
    return nRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG RuntimeClassFactory::Release()
{
    const ULONG count = nRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) delete this;
    return count;
}

HRESULT RuntimeClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    return CreateDriverInstance(clsid, create, outer, iid, object);
}

HRESULT RuntimeClassFactory::LockServer(bool lock)
{
    ModuleLock(lock);
    return S_OK;
}
