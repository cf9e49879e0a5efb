// What keeps a driver module in use: its live driver objects and the locks
// its class factories were given. The module's DllCanUnloadNow answers from
// it, so the loader never closes a module whose code still runs.
#pragma once

void ModuleObjectCreated();
void ModuleObjectDestroyed();
void ModuleLock(bool lock);
bool ModuleInUse();
