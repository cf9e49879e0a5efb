#include "cli/DriverListing.h"

void PrintDriverListing(std::FILE* out, HostSession& session)
{
    std::fprintf(out, "Drivers (description, then the registry key; \"*\" and \" N/A\": failed "
                      "to open, with the reason):\n");
    const auto& names = session.DriverEntries();
    for (size_t i = 0; i < names.size(); ++i) {
        const auto index = static_cast<int32_t>(i);
        const std::string failure = session.DriverFailure(index);
        std::fprintf(out, "  %zu  %s%s  key \"%s\"%s%s\n", i, names[i].c_str(),
                     index == session.OpenDriver() ? "  (open)" : "",
                     session.DriverKeyName(index).c_str(), failure.empty() ? "" : ": ",
                     failure.c_str());
    }
    if (names.empty()) std::fprintf(out, "  none\n");
    for (const std::string& note : session.DriverNotes())
        std::fprintf(out, "  not listed: %s\n", note.c_str());
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
