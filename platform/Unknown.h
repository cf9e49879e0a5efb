// IUnknown, the base of every in-process object: the driver interface and
// the class factories derive from it.
#pragma once

#include "platform/Guid.h"
#include "platform/HResult.h"

class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
