// The ALSA module's class factory. The module serves every CLSID that a
// registry entry gives it, so factories are made per request for the CLSID
// asked for, and counted among the module's live objects while they exist.
#pragma once

#include "drivers/kit/ClassFactory.h"
#include "platform/InprocObjects.h"

#include <atomic>

class AlsaClassFactory final : public IClassFactory {
public:
    AlsaClassFactory(REFCLSID clsid, DriverCreateFunction create);
    ~AlsaClassFactory();
    AlsaClassFactory(const AlsaClassFactory&) = delete;
    AlsaClassFactory& operator=(const AlsaClassFactory&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT LockServer(bool lock) override;

private:
    const CLSID clsid;
    const DriverCreateFunction create;
    std::atomic<ULONG> nRefCount{1};
};
