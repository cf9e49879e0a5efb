// How long a large registry takes to load and list its drivers: a generated
// 8 MB `.reg` file with 100,000 values under one driver's key, read and
// parsed, then the driver list built from it, as the host does at start-up.
// The budget is one second. Run by hand:
//   bench_registry [values, default 100000]
// Exits 1 when over budget; on a shared machine, run it again before
// believing a single slow figure.
#include "host/AsioDriverList.h"
#include "platform/Registry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    const long values = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    char pattern[] = "/tmp/tonewright-bench-registry-XXXXXX";
    if (values <= 0 || mkdtemp(pattern) == nullptr) return 2;
    const fs::path folder = pattern;

    // The driver's module file must exist; this program will do.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 2;
    const char kClsid[] = "{0B3E1C55-7A2D-4E19-9C44-6D0F5A1B2C3D}";
    {
        std::ofstream out(folder / "bulk.reg", std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\CLSID\\" << kClsid
            << "\\InprocServer32]\n@=\"" << self << "\"\n\n"
            << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Bulk Card]\n\"CLSID\"=\"" << kClsid
            << "\"\n\"Description\"=\"A card with many settings\"\n";
        char line[128];
        for (long i = 0; i < values; ++i) {
            std::snprintf(line, sizeof line, "\"Setting%06ld\"=\"%062ld\"\n", i, i * 7919);
            out << line;
        }
    }
    std::error_code ignored;
    const double megabytes = static_cast<double>(fs::file_size(folder / "bulk.reg", ignored)) / 1e6;

    setenv("TONEWRIGHT_REGISTRY", folder.c_str(), 1);
    const auto start = std::chrono::steady_clock::now();
    RegistryReload();
    const auto parsed = std::chrono::steady_clock::now();
    int32_t drivers = 0;
    {
        AsioDriverList list;
        drivers = list.asioDriverCount();
    }
    const auto listed = std::chrono::steady_clock::now();
    fs::remove_all(folder, ignored);

    const double parseSeconds = std::chrono::duration<double>(parsed - start).count();
    const double totalSeconds = std::chrono::duration<double>(listed - start).count();
    std::printf("%.1f MB, %ld values under one key: parsed in %.3f s, %d driver(s) listed after "
                "%.3f s (budget 1 s)\n",
                megabytes, values, parseSeconds, drivers, totalSeconds);
    return totalSeconds < 1.0 && drivers == 1 ? 0 : 1;
}
