// The four variants of the virtual card, one per sample type the host plays:
// the CLSID each is registered under (drivers/virtualcard/CMakeLists.txt
// writes the same texts), its registry key name and its sample type.
#pragma once

#include "drivers/kit/GuidText.h"
#include "host/AsioInterface.h"

struct VirtualCardVariant {
    CLSID clsid;
    // The driver name and the key its settings live under; every one sorts
    // after the names of real sound systems, so a real card is opened first.
    const char* name;
    ASIOSampleType type;
};

constexpr CLSID CLSID_VirtualCard16 = GuidFromText("{2631F207-93F0-48D2-BCAA-4E1273588A11}");
constexpr CLSID CLSID_VirtualCard24 = GuidFromText("{4C639CAF-8B92-40EA-8C10-CDDB9139C349}");
constexpr CLSID CLSID_VirtualCard32 = GuidFromText("{D51124CF-E1FA-4043-B18B-94C59BA1CEDB}");
constexpr CLSID CLSID_VirtualCardFloat = GuidFromText("{4AA89145-FC0F-46C8-B3B7-131FE52AEFC8}");

// Not `inline`: a unique symbol would keep the module from unloading.
constexpr VirtualCardVariant kVirtualCardVariants[] = {
    {CLSID_VirtualCard16, "Virtual Card 16-bit", ASIOSTInt16LSB},
    {CLSID_VirtualCard24, "Virtual Card 24-bit", ASIOSTInt24LSB},
    {CLSID_VirtualCard32, "Virtual Card 32-bit", ASIOSTInt32LSB},
    {CLSID_VirtualCardFloat, "Virtual Card float", ASIOSTFloat32LSB},
};
constexpr int kVirtualCardVariantCount =
    static_cast<int>(sizeof kVirtualCardVariants / sizeof kVirtualCardVariants[0]);
static_assert(ListsEachAcceptedTypeOnce(kVirtualCardVariants),
              "one variant per type the host plays");

// The variant made for clsid; the first for a CLSID that is none of them.
constexpr const VirtualCardVariant& FindVirtualCardVariant(REFCLSID clsid)
{
    for (const VirtualCardVariant& variant : kVirtualCardVariants)
        if (variant.clsid == clsid) return variant;
    return kVirtualCardVariants[0];
}
