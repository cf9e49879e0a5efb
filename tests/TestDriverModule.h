// The test driver module as a test reaches it: the same module (same dlopen
// handle) that CoCreateInstance loads from the registry, and its script.
// CMake gives the module's path and the build's registry folder.
#pragma once

#include "drivers/testdriver/TestDriverScript.h"

#include <dlfcn.h>

#ifndef TONEWRIGHT_TEST_DRIVER_MODULE
#error "the test target must define TONEWRIGHT_TEST_DRIVER_MODULE"
#endif

// Held for the whole process, so the script outlives every CoUninitialize.
inline void* TestDriverModuleHandle()
{
    static void* const handle = dlopen(TONEWRIGHT_TEST_DRIVER_MODULE, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

// Null when the module or its export is missing.
inline TestDriverScript* OpenTestDriverScript()
{
    void* handle = TestDriverModuleHandle();
    if (handle == nullptr) return nullptr;
    auto* scriptOf =
        reinterpret_cast<TestDriverScriptOfFunction*>(dlsym(handle, "TestDriverScriptOf"));
    return scriptOf != nullptr ? scriptOf() : nullptr;
}
