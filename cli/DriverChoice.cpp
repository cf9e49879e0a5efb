#include "cli/DriverChoice.h"

#include "cli/ExitStatus.h"
#include "cli/PlayArguments.h"
#include "host/HostSession.h"
#include "platform/Registry.h"

#include <cctype>
#include <vector>

namespace {

bool StartsWithIgnoringCase(const std::string& text, const std::string& start)
{
    if (start.size() > text.size()) return false;
    for (size_t i = 0; i < start.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(start[i])))
            return false;
    return true;
}

bool SameIgnoringCase(const std::string& text, const std::string& other)
{
    return text.size() == other.size() && StartsWithIgnoringCase(text, other);
}

DriverChoice Failed(int status, std::string error)
{
    return {-1, status, std::move(error)};
}

} // namespace

std::string NoDriverRegistered()
{
    std::string text = "no driver is registered; searched:";
    const char* separator = " ";
    for (const std::string& folder : RegistryFolders()) {
        text += separator + folder;
        separator = ", ";
    }
    return text;
}

DriverChoice ResolveDriverChoice(const std::string& text)
{
    if (text.empty()) return {-1, 0, {}};
    const std::vector<InstalledDriver> drivers = HostSession::InstalledDrivers();
    const int32_t count = static_cast<int32_t>(drivers.size());

    if (count == 0) return Failed(kExitHostFailure, NoDriverRegistered());
    uint32_t number = 0;
    if (ParseUnsigned(text.c_str(), number)) {
        if (number >= static_cast<uint32_t>(count))
            return Failed(kExitHostFailure, "there is no driver " + Shown(text) +
                                                " (drivers 0 to " + std::to_string(count - 1) +
                                                " can be used)");
        return {static_cast<int32_t>(number), 0, {}};
    }

    std::vector<int32_t> matches;
    for (int32_t i = 0; i < count; ++i) {
        const InstalledDriver& driver = drivers[i];
        if (SameIgnoringCase(driver.keyName, text) || SameIgnoringCase(driver.description, text))
            return {i, 0, {}};
        if (StartsWithIgnoringCase(driver.keyName, text) ||
            StartsWithIgnoringCase(driver.description, text))
            matches.push_back(i);
    }
    if (matches.size() == 1) return {matches[0], 0, {}};
    // Appended piece by piece: GCC 12 warns falsely about "text" + std::string&&.
    const std::string shown = Shown(text);
    std::string error = matches.empty() ? "no installed driver is named '" : "'";
    error += shown;
    if (matches.empty()) {
        error += "' (tonewright-play --list shows them)";
        return Failed(kExitHostFailure, error);
    }
    error += "' names several drivers:";
    for (int32_t i : matches) {
        error += ' ';
        error += std::to_string(i) + " (" + drivers[i].keyName + ")";
    }
    return Failed(kExitUsage, error);
}
