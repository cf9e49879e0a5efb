#include "drivers/jack/JackLibraryPin.h"

#include <dlfcn.h>
#include <jack/jack.h>

void KeepJackLibraryLoaded()
{
    // Whichever libjack the module was bound to (jackd2's or PipeWire's).
    Dl_info info = {};
    if (dladdr(reinterpret_cast<void*>(&jack_client_open), &info) == 0 || info.dli_fname == nullptr)
        return;
    // NODELETE stays with the library after this handle is closed.
    void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    if (handle != nullptr) dlclose(handle);
}
