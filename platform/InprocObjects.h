// In-process objects: the IClassFactory interface, the IIDs of it and IUnknown,
// and the loader that creates an object from a module registered under
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32. Used by the driver list; the
// interfaces and IIDs alone by every driver module.
#pragma once

#include "platform/Guid.h"
#include "platform/HResult.h"
#include "platform/Unknown.h"
#include "platform/WinTypes.h"

// Our own interface identifiers; modules and host only have to agree with
// each other. Not `inline`: GCC gives inline variables unique-symbol binding,
// and a module holding such a symbol can never be unloaded.
constexpr IID IID_IUnknown = {
    0x7d1c0a10, 0x5b3e, 0x4f21, {0x9a, 0x61, 0x2e, 0x44, 0x0c, 0x8f, 0x71, 0x01}};
constexpr IID IID_IClassFactory = {
    0x7d1c0a10, 0x5b3e, 0x4f21, {0x9a, 0x61, 0x2e, 0x44, 0x0c, 0x8f, 0x71, 0x02}};

// Makes the objects of one class; what a module's DllGetClassObject hands out.
class IClassFactory : public IUnknown {
public:
    // outer is always null here: aggregation is not offered, and a factory
    // given one answers CLASS_E_NOAGGREGATION.
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    // Asks the module to stay loaded (lock true) regardless of live objects.
    virtual HRESULT LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Every module exports, unmangled:
//   extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
// and may export
//   extern "C" HRESULT DllCanUnloadNow();   (S_OK when no object or lock is left)
using DllGetClassObjectFunc = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFunc = HRESULT (*)();

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = 0x17;

// Counted per thread: the first call on a thread gives S_OK, later ones
// S_FALSE, and each needs its CoUninitialize. reserved is ignored.
HRESULT CoInitialize(void* reserved);
// When the last initialisation of the whole process ends, the modules loaded
// since are closed, except one whose DllCanUnloadNow says objects still live:
// closing it would pull the code from under them, so it stays loaded.
void CoUninitialize();

// Creates an object of a registered class from its in-process module, which
// stays loaded until the last CoUninitialize. Only CLSCTX_INPROC_SERVER is
// served. Results: S_OK with *object set; E_POINTER; CO_E_NOTINITIALIZED on a
// thread without CoInitialize; CLASS_E_NOAGGREGATION when outer is given;
// REGDB_E_CLASSNOTREG when the class or its module path is not registered;
// CO_E_DLLNOTFOUND when the module does not load; CO_E_ERRORINDLL when it has
// no DllGetClassObject; otherwise the module's or its factory's own failure,
// unchanged. *object is null on every failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Why the last CoCreateInstance on this thread failed, in words for the user:
// the class, the module's path, the loader's own text, the code. Empty after
// a success. Nothing is printed by the loader itself; its caller decides
// where the reason goes, so that it is said once.
const char* CoCreateInstanceFailure();
