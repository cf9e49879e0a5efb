#include "host/ConfigFile.h"

#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/UserFolders.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kConfigName[] = "ASIOConfig.txt";
std::string g_strConfigFolder;

// The file opened without blocking and kept only when it is a regular file,
// so that a FIFO in its place never holds start-up up; -1 otherwise.
int OpenRegular(int flags)
{
    const std::string path = ConfigFilePath();
    const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
    close(fd);
    static bool said = false;
    if (!said)
        std::fprintf(stderr,
                     "tonewright: %s is not a regular file; it is neither read nor written\n",
                     path.c_str());
    said = true;
    return -1;
}

} // namespace

void SetConfigFolder(const std::string& folder)
{
    g_strConfigFolder = folder;
}

std::string ConfigFilePath()
{
    return g_strConfigFolder.empty() ? std::string(kConfigName)
                                     : g_strConfigFolder + "/" + kConfigName;
}

int32_t ReadConfigDriverNum()
{
    const int fd = OpenRegular(O_RDONLY);
    if (fd < 0) return 0;
    DbgLog("Found ASIO Configuration file!");
    unsigned char first = 0;
    const int character = read(fd, &first, 1) == 1 ? first : EOF; // EOF (-1) for an empty file
    close(fd);
    const int32_t n = character - 0x30;
    nRequestedDrvNum = n;
    if (n < 0) {
        DbgLog("Error reading configuration file!");
        return 0;
    }
    DbgLogTwoInts("nRequestedDrvNum", "Num devices", n, lnumDevs);
    if (n < lnumDevs) return n;
    DbgLogInt("nRequestedDrvNum > lnumDevs!", lnumDevs);
    return 0;
}

void WriteConfigDriverNum(int32_t index)
{
    if (index == nRequestedDrvNum) return;
    // Only indexes the one-character form can hold ("0" to "?").
    if (index < 0 || index >= kMaxDrivers) return;
    nRequestedDrvNum = index;
    if (!g_strConfigFolder.empty()) MakeUserFolder(g_strConfigFolder);
    const int fd = OpenRegular(O_WRONLY | O_CREAT);
    if (fd < 0) return;
    DbgLog("Updating ASIO Configuration file!");
    const char character = static_cast<char>(0x30 + index);
    if (ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t written = write(fd, &character, 1);
    }
    close(fd);
}
