#include "platform/InprocObjects.h"

#include "platform/Registry.h"

#include <cstdarg>
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
thread_local char t_failure[768] = "";

// Sets this thread's failure text and passes the code on.
__attribute__((format(printf, 2, 3))) HRESULT Fail(HRESULT result, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(t_failure, sizeof t_failure, format, arguments);
    va_end(arguments);
    return result;
}

// The codes a user is most likely to meet, in words.
struct CodeMeaning {
    HRESULT code;
    const char* words;
};
constexpr CodeMeaning kCodeMeanings[] = {
    {E_FAIL, "unspecified failure"},
    {E_OUTOFMEMORY, "out of memory"},
    {E_NOINTERFACE, "the interface asked for is not offered"},
    {E_NOTIMPL, "not implemented"},
    {E_INVALIDARG, "invalid argument"},
    {E_UNEXPECTED, "unexpected failure"},
    {CLASS_E_CLASSNOTAVAILABLE, "the module does not serve this class"},
};

// The code as the user may look it up, with its meaning where it is a common one.
const char* CodeWords(HRESULT result, char* text, size_t size)
{
    const char* words = nullptr;
    for (const CodeMeaning& meaning : kCodeMeanings)
        if (meaning.code == result) words = meaning.words;
    std::snprintf(text, size, "code 0x%08X%s%s", static_cast<unsigned>(result),
                  words != nullptr ? ", " : "", words != nullptr ? words : "");
    return text;
}

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
    if (handle == nullptr)
        return Fail(CO_E_DLLNOTFOUND, "module %s does not load: %s", path.c_str(), dlerror());
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
    dlclose(handle);
    return Fail(CO_E_ERRORINDLL, "module %s has no DllGetClassObject", path.c_str());
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
    t_failure[0] = '\0';
    if (object == nullptr) return Fail(E_POINTER, "no place for the object was given");
    *object = nullptr;
    if (t_initializations == 0)
        return Fail(CO_E_NOTINITIALIZED, "this thread has not initialised COM");
    if (outer != nullptr) return Fail(CLASS_E_NOAGGREGATION, "aggregation is not offered");
    char name[kGuidStringSize];
    StringFromGUID2(clsid, name, sizeof name);
    if ((context & CLSCTX_INPROC_SERVER) == 0)
        return Fail(REGDB_E_CLASSNOTREG, "class %s: only in-process servers are offered", name);

    std::string path;
    HRESULT result = FindModulePath(clsid, path);
    if (FAILED(result))
        return Fail(result, "class %s has no module registered under InprocServer32", name);
    DllGetClassObjectFunc getClassObject = nullptr;
    result = LoadModule(path, &getClassObject);
    if (FAILED(result)) return result;

    char code[96];
    void* factoryPointer = nullptr;
    result = getClassObject(clsid, IID_IClassFactory, &factoryPointer);
    if (FAILED(result))
        return Fail(result, "module %s gives no factory for class %s (%s)", path.c_str(), name,
                    CodeWords(result, code, sizeof code));
    if (factoryPointer == nullptr)
        return Fail(E_UNEXPECTED, "module %s gave an empty factory", path.c_str());
    auto* factory = static_cast<IClassFactory*>(factoryPointer);
    result = factory->CreateInstance(nullptr, iid, object);
    factory->Release();
    if (FAILED(result)) {
        *object = nullptr;
        return Fail(result, "module %s refused to create the object (%s)", path.c_str(),
                    CodeWords(result, code, sizeof code));
    }
    if (*object == nullptr) return Fail(E_UNEXPECTED, "module %s made no object", path.c_str());
    return result;
}

const char* CoCreateInstanceFailure()
{
    return t_failure;
}
