// Fixed-width stand-ins for the Windows integer types, so that code written
// against the registry, object and window calls keeps its declarations.
// Included by the other platform headers; Windows' `long` is 32-bit.
#pragma once

#include <cstdint>

using BYTE = uint8_t;
using LONG = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
