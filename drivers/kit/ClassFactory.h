// The class factory of a driver module and the exports the object loader
// calls. A driver module lists its classes once:
//
//   TONEWRIGHT_DRIVER_CLASSES({CLSID_MyCard, NewDriver<MyCard>})
//
// which defines DllGetClassObject answering those CLSIDs and
// DllCanUnloadNow answering from the module's live objects and locks.
#pragma once

#include "drivers/kit/ModuleUsage.h"
#include "platform/InprocObjects.h"

#include <atomic>
#include <new>

// Makes one driver object with one reference for the factory, or says why
// not (no device, no memory); the CLSID tells variants of one class apart.
using DriverCreateFunction = HRESULT (*)(REFCLSID clsid, IUnknown** object);

template <typename Driver> HRESULT NewDriver(REFCLSID clsid, IUnknown** object)
{
    Driver* driver = new (std::nothrow) Driver(clsid);
    if (driver == nullptr) return E_OUTOFMEMORY;
    *object = driver;
    return S_OK;
}

// IClassFactory::CreateInstance over a creation function, for every factory
// of a driver module: no aggregation; the caller's reference comes from
// QueryInterface, so a refused interface takes the object with it.
HRESULT CreateDriverInstance(REFCLSID clsid, DriverCreateFunction create, IUnknown* outer,
                             REFIID iid, void** object);

// Lives as long as the module, so counting its references would only guard
// memory that is never freed; locks are counted, since they keep the
// module loaded.
class ClassFactory final : public IClassFactory {
public:
    constexpr ClassFactory(const CLSID& clsid, DriverCreateFunction create)
        : clsid(clsid), create(create)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT LockServer(bool lock) override;

    // DllGetClassObject for a module's table of factories.
    static HRESULT GetClassObject(ClassFactory* factories, int count, REFCLSID clsid, REFIID iid,
                                  void** object);

    const CLSID clsid;
    const DriverCreateFunction create;
};

// A factory made per request, for a module whose class ids are known only at
// run time (from the registry): reference-counted, and counted among the
// module's live objects while it exists, so the module stays loaded.
class RuntimeClassFactory final : public IClassFactory {
public:
    // With one reference, for the caller to hand on through QueryInterface
    // and then release.
    static RuntimeClassFactory* Create(REFCLSID clsid, DriverCreateFunction create);
    RuntimeClassFactory(const RuntimeClassFactory&) = delete;
    RuntimeClassFactory& operator=(const RuntimeClassFactory&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT LockServer(bool lock) override;

private:
    RuntimeClassFactory(REFCLSID clsid, DriverCreateFunction create);
    ~RuntimeClassFactory();

    const CLSID clsid;
    const DriverCreateFunction create;
    std::atomic<ULONG> nRefCount{1};
};

// The module's exports must stay visible when the rest is built hidden.
#define TONEWRIGHT_DRIVER_EXPORT extern "C" __attribute__((visibility("default")))

#define TONEWRIGHT_DRIVER_CLASSES(...)                                                             \
    TONEWRIGHT_DRIVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)  \
    {                                                                                              \
        static ClassFactory factories[] = {__VA_ARGS__};                                           \
        return ClassFactory::GetClassObject(                                                       \
            factories, static_cast<int>(sizeof factories / sizeof factories[0]), clsid, iid,       \
            object);                                                                               \
    }                                                                                              \
    TONEWRIGHT_DRIVER_EXPORT HRESULT DllCanUnloadNow()                                             \
    {                                                                                              \
        return ModuleInUse() ? S_FALSE : S_OK;                                                     \
    }
