#include "platform/InprocObjects.h"

#include "platform/Registry.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct LoadedModule {
    void* handle; // the one dlopen reference we hold
    DllGetClassObjectFunc getClassObject;
};

struct LoaderState {
    std::mutex mutex;
    int initializations = 0; // every thread's CoInitialize calls still open
    std::vector<LoadedModule> modules;
};

LoaderState& Loader()
{
    static LoaderState state;
    return state;
}

thread_local int t_initializations = 0;

// The module path registered for clsid, or REGDB_E_CLASSNOTREG.
HRESULT FindModulePath(REFCLSID clsid, std::string& path)
{
    char subKey[96] = "CLSID\\";
    const size_t prefix = std::strlen(subKey);
    StringFromGUID2(clsid, subKey + prefix, static_cast<int>(sizeof(subKey) - prefix));
    std::strcat(subKey, "\\InprocServer32");

    HKEY server = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &server) != ERROR_SUCCESS)
        return REGDB_E_CLASSNOTREG;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(server, nullptr, nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS && type == REG_SZ && size > 1) {
        path.resize(size);
        result = RegQueryValueExA(server, nullptr, nullptr, &type,
                                  reinterpret_cast<BYTE*>(path.data()), &size);
        path.resize(result == ERROR_SUCCESS && size > 0 ? size - 1 : 0);
    } else {
        path.clear();
    }
    RegCloseKey(server);
    return path.empty() ? REGDB_E_CLASSNOTREG : S_OK;
}

// The module's class-object entry, loading the module on first use.
// dlopen runs outside the lock, since a module's initialisers may call back in.
HRESULT LoadModule(const std::string& path, DllGetClassObjectFunc* entry)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "tonewright: module %s does not load: %s\n", path.c_str(), dlerror());
        return CO_E_DLLNOTFOUND;
    }
    LoaderState& loader = Loader();
    {
        std::lock_guard<std::mutex> lock(loader.mutex);
        for (const LoadedModule& module : loader.modules) {
            if (module.handle == handle) {
                // Already held once; this call's reference is not needed.
                dlclose(handle);
                *entry = module.getClassObject;
                return S_OK;
            }
        }
        void* symbol = dlsym(handle, "DllGetClassObject");
        if (symbol != nullptr) {
            *entry = reinterpret_cast<DllGetClassObjectFunc>(symbol);
            loader.modules.push_back(LoadedModule{handle, *entry});
            return S_OK;
        }
    }
    std::fprintf(stderr, "tonewright: module %s has no DllGetClassObject\n", path.c_str());
    dlclose(handle);
    return CO_E_ERRORINDLL;
}

// Called once no thread is initialised, so no object creation can race it.
void UnloadModules()
{
    LoaderState& loader = Loader();
    std::vector<LoadedModule> modules;
    {
        std::lock_guard<std::mutex> lock(loader.mutex);
        modules.swap(loader.modules);
    }
    std::vector<LoadedModule> kept;
    for (const LoadedModule& module : modules) {
        auto canUnload =
            reinterpret_cast<DllCanUnloadNowFunc>(dlsym(module.handle, "DllCanUnloadNow"));
        if (canUnload != nullptr && canUnload() != S_OK) {
            std::fprintf(stderr, "tonewright: a module still has live objects; it stays loaded\n");
            kept.push_back(module);
        } else {
            dlclose(module.handle);
        }
    }
    std::lock_guard<std::mutex> lock(loader.mutex);
    loader.modules.insert(loader.modules.end(), kept.begin(), kept.end());
}

} // namespace

HRESULT CoInitialize(void* reserved)
{
    (void)reserved;
    LoaderState& loader = Loader();
    std::lock_guard<std::mutex> lock(loader.mutex);
    ++loader.initializations;
    return ++t_initializations == 1 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_initializations == 0) return;
    --t_initializations;
    LoaderState& loader = Loader();
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(loader.mutex);
        last = --loader.initializations == 0;
    }
    if (last) UnloadModules();
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (t_initializations == 0) return CO_E_NOTINITIALIZED;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;

    std::string path;
    HRESULT result = FindModulePath(clsid, path);
    if (FAILED(result)) return result;
    DllGetClassObjectFunc getClassObject = nullptr;
    result = LoadModule(path, &getClassObject);
    if (FAILED(result)) return result;

    void* factoryPointer = nullptr;
    result = getClassObject(clsid, IID_IClassFactory, &factoryPointer);
    if (FAILED(result)) return result;
    if (factoryPointer == nullptr) return E_UNEXPECTED;
    auto* factory = static_cast<IClassFactory*>(factoryPointer);
    result = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    if (FAILED(result)) {
        *object = nullptr;
        return result;
    }
    return *object != nullptr ? result : E_UNEXPECTED;
}
