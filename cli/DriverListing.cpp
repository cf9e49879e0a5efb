#include "cli/DriverListing.h"

#include "host/HostState.h"
#include "host/SampleRateControl.h"

namespace {

// The rates asked of the card: the dialog's three and their usual kin.
constexpr double kListedRates[] = {22050.0, 32000.0, 44100.0,  48000.0,
                                   88200.0, 96000.0, 176400.0, 192000.0};

struct TypeName {
    ASIOSampleType type;
    const char* name;
};
// Only these four can stand behind a successful setup.
constexpr TypeName kPlayableTypes[] = {
    {ASIOSTInt16LSB, "ASIOSTInt16LSB"},
    {ASIOSTInt24LSB, "ASIOSTInt24LSB"},
    {ASIOSTInt32LSB, "ASIOSTInt32LSB"},
    {ASIOSTFloat32LSB, "ASIOSTFloat32LSB"},
};

} // namespace

const char* PlayableSampleTypeName(int32_t type)
{
    for (const TypeName& entry : kPlayableTypes)
        if (entry.type == type) return entry.name;
    return nullptr;
}

void PrintDriverListing(std::FILE* out, const CollectingCombo& drivers,
                        const CollectingCombo& outputs, bool setupStands)
{
    std::fprintf(out, "Drivers (\"*\" and \" N/A\": failed to open):\n");
    const auto& names = drivers.Entries();
    for (size_t i = 0; i < names.size(); ++i) {
        const bool open = static_cast<int32_t>(i) == drivers.Selection();
        std::fprintf(out, "  %zu  %s%s\n", i, names[i].c_str(), open ? "  (open)" : "");
    }
    if (names.empty()) std::fprintf(out, "  none\n");
    if (!setupStands || pASIOBuffers == nullptr || ptrASIO == nullptr) return;

    std::fprintf(out, "Output pairs of %s:\n", pASIOBuffers->szDriverName);
    const auto& pairs = outputs.Entries();
    for (size_t i = 0; i < pairs.size(); ++i)
        std::fprintf(out, "  %zu  %s\n", i, pairs[i].c_str());

    std::fprintf(out, "Sample rates:");
    for (double rate : kListedRates)
        if (ptrASIO->canSampleRate(rate) == ASE_OK) std::fprintf(out, " %.0f", rate);
    std::fprintf(out, " (now %d)\n", ASIOGetSampleRate());
    const char* typeName = PlayableSampleTypeName(pASIOBuffers->lSampleType);
    std::fprintf(out, "Sample type: %s\n", typeName != nullptr ? typeName : "unknown");
}
