#include "log/DebugLog.h"

#include <cstdarg>
#include <fcntl.h>
#include <locale.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

FILE* g_pDbgFile = nullptr;
std::mutex* g_hDbgMutex = nullptr;

namespace {

const char kLogName[] = "Dbg.Log";
const char kLog1Name[] = "Dbg1.Log";
const char kLog2Name[] = "Dbg2.Log";

// Empty: the working directory. Set on the user-interface thread before the
// log opens.
std::string g_strDbgFolder;

std::string LogFile(const char* name)
{
    return g_strDbgFolder.empty() ? std::string(name) : g_strDbgFolder + "/" + name;
}

// The folder and its missing parents, private to the user as the XDG rules ask.
void MakeFolder(const std::string& path)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    mkdir(path.c_str(), 0700);
}

// "Dbg.Log" emptied for writing, or null. Opened without blocking and
// checked before anything is cut, so that a FIFO or a device in its place is
// neither waited on nor written.
FILE* CreateLogFile(const std::string& path)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        std::fprintf(stderr, "tonewright: %s is not a regular file; no debug log this run\n",
                     path.c_str());
        return nullptr;
    }
    FILE* file = ftruncate(fd, 0) == 0 ? fdopen(fd, "w") : nullptr;
    if (file == nullptr) close(fd);
    return file;
}

class DbgLock {
public:
    DbgLock() : m_pMutex(g_hDbgMutex)
    {
        if (m_pMutex != nullptr) m_pMutex->lock();
    }
    ~DbgLock()
    {
        if (m_pMutex != nullptr) m_pMutex->unlock();
    }
    DbgLock(const DbgLock&) = delete;
    DbgLock& operator=(const DbgLock&) = delete;

private:
    std::mutex* m_pMutex;
};

// Composes the line in a buffer of the writer's size and writes it with one
// string write. A line that does not fit is written whole, straight from the
// format, rather than cut: the host logs whole command lines.
template <size_t Size>
void WriteComposed(bool flush, const char* format, ...) __attribute__((format(printf, 2, 3)));

template <size_t Size> void WriteComposed(bool flush, const char* format, ...)
{
    DbgLock lock;
    if (g_pDbgFile == nullptr) return;
    char line[Size];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(line, Size, format, args);
    if (length >= 0 && static_cast<size_t>(length) < Size)
        std::fputs(line, g_pDbgFile);
    else if (length >= 0)
        std::vfprintf(g_pDbgFile, format, again);
    va_end(again);
    va_end(args);
    if (flush) std::fflush(g_pDbgFile);
}

void LocalNow(std::tm& local, int32_t& milliseconds)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    milliseconds = static_cast<int32_t>(now.tv_nsec / 1000000);
}

} // namespace

void DbgFormatDate(char* out, size_t size, const std::tm& local)
{
    if (out == nullptr || size == 0) return;
    // The C locale's English names, whatever locale the program runs under.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t{});
    if (cLocale == locale_t{} || strftime_l(out, size, "%A, %B/%d/%Y ", &local, cLocale) == 0)
        out[0] = '\0';
}

void DbgFormatTime(char* out, size_t size, const std::tm& local, int32_t milliseconds)
{
    if (out == nullptr || size == 0) return;
    std::snprintf(out, size, "%02d:%02d:%02d %03d\n", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(milliseconds));
}

void DbgLogDate()
{
    std::tm local{};
    int32_t milliseconds = 0;
    LocalNow(local, milliseconds);
    char text[kDbgDateSize];
    DbgFormatDate(text, sizeof text, local);
    WriteComposed<kDbgDateSize>(false, "%s", text);
}

void DbgLogTime()
{
    std::tm local{};
    int32_t milliseconds = 0;
    LocalNow(local, milliseconds);
    char text[kDbgDateSize];
    DbgFormatTime(text, sizeof text, local, milliseconds);
    WriteComposed<kDbgDateSize>(false, "%s", text);
}

void DbgFormatFixed(char* out, size_t size, double value, int32_t decimals)
{
    if (out == nullptr || size == 0) return;
    if (decimals < 0) decimals = 0;
    // "%.*f" yields the same sign, digits and point position as the classic
    // fixed-point conversion; only the bare trailing point of 0 decimals
    // differs.
    const int length = std::snprintf(out, size, "%.*f", static_cast<int>(decimals), value);
    if (decimals == 0 && length >= 0 && static_cast<size_t>(length) + 1 < size) {
        out[length] = '.';
        out[length + 1] = '\0';
    }
}

void DbgLog(const char* text)
{
    WriteComposed<kDbgLineSize>(true, "%s\n", text != nullptr ? text : "");
}

void DbgLogText(const char* text)
{
    WriteComposed<kDbgLineSize>(false, "%s", text != nullptr ? text : "");
}

void DbgLogInt(const char* label, int32_t value)
{
    WriteComposed<kDbgLabelIntSize>(true, "%s: %ld\n", label != nullptr ? label : "",
                                    static_cast<long>(value));
}

void DbgLogIntPart(const char* label, int32_t value)
{
    WriteComposed<kDbgLabelIntSize>(true, "%s: %ld - ", label != nullptr ? label : "",
                                    static_cast<long>(value));
}

void DbgLogTwoInts(const char* label1, const char* label2, int32_t value1, int32_t value2)
{
    WriteComposed<kDbgTwoIntsSize>(true, "%s: %ld, %s: %ld\n", label1 != nullptr ? label1 : "",
                                   static_cast<long>(value1), label2 != nullptr ? label2 : "",
                                   static_cast<long>(value2));
}

void DbgLogDouble(const char* label, double value, int32_t decimals)
{
    char number[kDbgDoubleTextSize] = "0";
    if (value != 0.0) DbgFormatFixed(number, sizeof number, value, decimals);
    WriteComposed<kDbgLabelDoubleSize>(true, "%s: %s\n", label != nullptr ? label : "", number);
}

void DbgLogSetFolder(const char* folder)
{
    g_strDbgFolder = folder != nullptr ? folder : "";
}

std::string DbgLogPath()
{
    if (!g_strDbgFolder.empty() && g_strDbgFolder[0] == '/') return LogFile(kLogName);
    char here[4096];
    if (getcwd(here, sizeof here) == nullptr) return LogFile(kLogName);
    return std::string(here) + "/" + LogFile(kLogName);
}

void DbgLogOpen()
{
    if (g_pDbgFile != nullptr) return;
    if (!g_strDbgFolder.empty()) MakeFolder(g_strDbgFolder);
    const std::string log = LogFile(kLogName);
    const std::string log1 = LogFile(kLog1Name);
    const std::string log2 = LogFile(kLog2Name);
    std::remove(log2.c_str());
    std::rename(log1.c_str(), log2.c_str());
    std::rename(log.c_str(), log1.c_str());

    FILE* file = CreateLogFile(log);
    if (file == nullptr) return;
    g_pDbgFile = file;
    g_hDbgMutex = new (std::nothrow) std::mutex;

    DbgLogText("Debug log\n\n");
    DbgLogText("Date: ");
    DbgLogDate();
    DbgLogText("- Time started: ");
    DbgLogTime();
    DbgLogText("\n");
}

void DbgLogClose()
{
    if (g_pDbgFile != nullptr) {
        DbgLogText("\n\nShutting down debug logging system...\n");
        DbgLogText("Date: ");
        DbgLogDate();
        DbgLogText("- Time: ");
        DbgLogTime();
    }
    std::mutex* mutex = g_hDbgMutex;
    if (mutex != nullptr) mutex->lock();
    if (g_pDbgFile != nullptr) {
        std::fflush(g_pDbgFile);
        std::fclose(g_pDbgFile);
        g_pDbgFile = nullptr;
    }
    g_hDbgMutex = nullptr;
    if (mutex != nullptr) {
        mutex->unlock();
        delete mutex;
    }
}
