#include "platform/UserFolders.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    // A service or a test may run without HOME; the password entry still knows.
    passwd entry{};
    passwd* found = nullptr;
    char text[4096];
    if (getpwuid_r(getuid(), &entry, text, sizeof text, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    return std::string();
}

std::string ProgramFolder(const char* variable, const char* belowHome)
{
    if (const char* base = std::getenv(variable); base != nullptr && base[0] == '/')
        return std::string(base) + "/tonewright";
    const std::string home = HomeFolder();
    if (home.empty()) return std::string();
    return home + belowHome + "/tonewright";
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string UserStateFolder()
{
    return ProgramFolder("XDG_STATE_HOME", "/.local/state");
}

std::string UserConfigFolder()
{
    return ProgramFolder("XDG_CONFIG_HOME", "/.config");
}

bool MakeUserFolder(const std::string& path)
{
    if (path.empty()) return false;
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return IsFolder(path);
    return false;
}
