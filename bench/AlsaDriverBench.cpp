// How late the ALSA driver's writer wakes when the system clock paces it:
// the file device (ALSA's file plugin over null, into /dev/null) at 64 frames
// and 96000 Hz, run by hand for a while, idle or with every core kept busy.
// Lateness is the time from the period's deadline (getSamplePosition inside
// bufferSwitch) to the callback; underruns are the driver's resync requests.
//
//   bench_alsa_driver [seconds (60)] [--load]
#include "host/AsioInterface.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifndef TONEWRIGHT_ALSA_MODULE
#error "the bench target must define TONEWRIGHT_ALSA_MODULE"
#endif

namespace {

constexpr const char* kClsid = "{5D0C9B1E-6F42-4A8B-9C3D-2E1F0A4B5C6D}";
constexpr int32_t kFrames = 64;
constexpr double kRate = 96000.0;

IASIO* g_driver = nullptr;
std::vector<uint64_t> g_lateness; // sized before the start; written by the driver's thread
std::atomic<size_t> g_count{0};
std::atomic<int> g_underruns{0};

uint64_t NowNs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void OnBufferSwitch(int32_t, ASIOBool)
{
    const uint64_t now = NowNs();
    ASIOSamples position = {};
    ASIOTimeStamp stamp = {};
    if (g_driver->getSamplePosition(&position, &stamp) != ASE_OK) return;
    const uint64_t due = (static_cast<uint64_t>(stamp.hi) << 32) | stamp.lo;
    const size_t k = g_count.load(std::memory_order_relaxed);
    if (k < g_lateness.size()) {
        g_lateness[k] = now > due ? now - due : 0;
        g_count.store(k + 1, std::memory_order_release);
    }
}

int32_t OnMessage(int32_t selector, int32_t value, void*, double*)
{
    if (selector == kAsioSelectorSupported) return value == kAsioResyncRequest ? 1 : 0;
    if (selector == kAsioResyncRequest) g_underruns.fetch_add(1);
    return 0;
}

void OnRateChanged(ASIOSampleRate) {}

double Microseconds(uint64_t nanoseconds)
{
    return static_cast<double>(nanoseconds) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 60.0;
    bool load = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--load") == 0)
            load = true;
        else
            seconds = std::atof(argv[i]);
    }
    if (seconds <= 0.0) {
        std::fprintf(stderr, "usage: %s [seconds] [--load]\n", argv[0]);
        return 2;
    }

    char folder[] = "/tmp/tonewright-alsa-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    std::ofstream(std::string(folder) + "/alsa.reg")
        << "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\CLSID\\" << kClsid
        << "\\InprocServer32]\n@=\"" << TONEWRIGHT_ALSA_MODULE
        << "\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\ALSA: bench]\n\"CLSID\"=\"" << kClsid
        << "\"\n\"Description\"=\"ALSA: bench\"\n"
           "\"Device\"=\"file:FILE=/dev/null,FORMAT=raw\"\n\"Clock\"=\"system\"\n"
           "\"SampleType\"=\"Int32LSB\"\n\"BufferSize\"=dword:00000040\n";
    setenv("TONEWRIGHT_REGISTRY", folder, 1);
    RegistryReload();

    CoInitialize(nullptr);
    CLSID clsid = {};
    CLSIDFromString(kClsid, &clsid);
    void* object = nullptr;
    if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid, &object) != S_OK) {
        std::fprintf(stderr, "the ALSA driver was not created\n");
        return 1;
    }
    g_driver = static_cast<IASIO*>(object);
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {nullptr, nullptr}},
                               {ASIOFalse, 1, {nullptr, nullptr}}};
    ASIOCallbacks callbacks = {OnBufferSwitch, OnRateChanged, OnMessage, nullptr};
    if (g_driver->setSampleRate(kRate) != ASE_OK ||
        g_driver->createBuffers(infos, 2, kFrames, &callbacks) != ASE_OK) {
        std::fprintf(stderr, "the ALSA driver refused 96000 Hz or 64 frames\n");
        return 1;
    }
    g_lateness.assign(static_cast<size_t>(seconds * kRate / kFrames) + 1024, 0);

    std::atomic<bool> busy{load};
    std::vector<std::thread> burners;
    if (load) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i)
            burners.emplace_back([&busy] {
                volatile uint64_t spin = 0;
                while (busy.load(std::memory_order_relaxed))
                    spin = spin + 1;
            });
    }

    g_driver->start();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    g_driver->stop();
    busy.store(false);
    for (std::thread& burner : burners)
        burner.join();
    g_driver->disposeBuffers();
    g_driver->Release();
    g_driver = nullptr;
    CoUninitialize();
    std::filesystem::remove_all(folder);

    const size_t count = g_count.load(std::memory_order_acquire);
    std::vector<uint64_t> sorted(g_lateness.begin(), g_lateness.begin() + count);
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty()) {
        std::fprintf(stderr, "no buffer switch came\n");
        return 1;
    }
    const double expected = seconds * kRate / kFrames;
    std::printf("ALSA file device, system clock, %d frames at %.0f Hz, %.0f s, %s\n", kFrames,
                kRate, seconds, load ? "every core busy" : "idle");
    std::printf("periods %zu (%.0f expected)  lateness median %.1f us  p99 %.1f us  max %.1f us"
                "  underruns %d\n",
                count, expected, Microseconds(sorted[sorted.size() / 2]),
                Microseconds(sorted[sorted.size() * 99 / 100]), Microseconds(sorted.back()),
                g_underruns.load());
    return 0;
}
