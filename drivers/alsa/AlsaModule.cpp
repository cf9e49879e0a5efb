// The ALSA module's exports. Unlike the kit's fixed class table, any CLSID
// that a registry entry carries is served, so a user adds a device with a
// `.reg` file alone.
#include "drivers/alsa/AlsaDriver.h"
#include "drivers/alsa/AlsaDriverKey.h"
#include "drivers/kit/ClassFactory.h"
#include "drivers/kit/ModuleUsage.h"
#include "platform/Registry.h"

#include <new>

TONEWRIGHT_DRIVER_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    // The module keeps a registry of its own, read once; entries added or
    // changed since the module was loaded must be seen by this creation.
    RegistryReload();
    char keyName[128];
    if (!FindAlsaDriverKey(clsid, keyName, sizeof keyName)) return CLASS_E_CLASSNOTAVAILABLE;
    RuntimeClassFactory* factory = RuntimeClassFactory::Create(clsid, CreateAlsaDriver);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

TONEWRIGHT_DRIVER_EXPORT HRESULT DllCanUnloadNow()
{
    return ModuleInUse() ? S_FALSE : S_OK;
}
