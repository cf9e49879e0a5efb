// Which registry entry a driver object serves: the module is registered
// under any number of CLSIDs, one per entry, and the entry whose "CLSID"
// value is the one the object was created for names the driver and holds its
// settings. Host thread, at creation.
#pragma once

#include "platform/Guid.h"

#include <cstdint>

// The subkey name under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO into name; false
// when no entry carries clsid.
bool FindAlsaDriverKey(REFCLSID clsid, char* name, uint32_t size);
