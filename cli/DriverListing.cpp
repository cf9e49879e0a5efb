#include "cli/DriverListing.h"

void PrintDriverListing(std::FILE* out, HostSession& session)
{
    std::fprintf(out, "Drivers (\"*\" and \" N/A\": failed to open):\n");
    const auto& names = session.DriverEntries();
    for (size_t i = 0; i < names.size(); ++i) {
        const bool open = static_cast<int32_t>(i) == session.OpenDriver();
        std::fprintf(out, "  %zu  %s%s\n", i, names[i].c_str(), open ? "  (open)" : "");
    }
    if (names.empty()) std::fprintf(out, "  none\n");
    if (!session.SetupStands()) return;

    const DriverDescription driver = session.Describe();
    std::fprintf(out, "Output pairs of %s:\n", driver.name.c_str());
    for (size_t i = 0; i < driver.pairs.size(); ++i)
        std::fprintf(out, "  %zu  %s\n", i, driver.pairs[i].c_str());
    std::fprintf(out, "Sample rates:");
    for (uint32_t rate : session.AcceptedRates())
        std::fprintf(out, " %u", rate);
    std::fprintf(out, " (now %d)\n", session.SampleRate());
    std::fprintf(out, "Sample type: %s\n", driver.sampleType);
    std::fprintf(out, "Input pairs of %s:\n", driver.name.c_str());
    for (size_t i = 0; i < driver.inputPairs.size(); ++i)
        std::fprintf(out, "  %zu  %s\n", i, driver.inputPairs[i].c_str());
    if (driver.inputPairs.empty()) std::fprintf(out, "  none\n");
}
