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
