// How late the ALSA driver's writer wakes when the system clock paces it:
// the file device (ALSA's file plugin over null, into /dev/null) at 64 frames
// and 96000 Hz, beside a baseline thread of the same policy, priority and
// period that only sleeps (PacingBaseline.h); each phase, idle and then with
// a busy loop on every core, runs three times. Lateness is the time from the
// period's deadline (getSamplePosition inside bufferSwitch) to the callback;
// underruns are the driver's resync requests.
//
//   bench_alsa_driver [seconds per run (30)]
#include "bench/PacingBaseline.h"
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

constexpr double kPeriodNs = kFrames * 1e9 / kRate;
constexpr int kRuns = 3;

IASIO* g_driver = nullptr;
LatenessLog g_lateness; // sized before the start; written by the driver's thread
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
    g_lateness.Add(static_cast<int64_t>(now) - static_cast<int64_t>(due));
}

int32_t OnMessage(int32_t selector, int32_t value, void*, double*)
{
    if (selector == kAsioSelectorSupported) return value == kAsioResyncRequest ? 1 : 0;
    if (selector == kAsioResyncRequest) g_underruns.fetch_add(1);
    return 0;
}

void OnRateChanged(ASIOSampleRate) {}

// One run: the baseline and the writer side by side for the given seconds.
void Run(BaselineThread& baseline, double seconds, PacingFigures& ours, PacingFigures& base)
{
    g_lateness.Clear();
    baseline.Start(static_cast<uint32_t>(kRate), kFrames);
    g_driver->start();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    g_driver->stop();
    baseline.Stop();
    ours = Figures(g_lateness, kPeriodNs);
    base = Figures(baseline.log, kPeriodNs);
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    if (seconds <= 0.0) {
        std::fprintf(stderr, "usage: %s [seconds per run]\n", argv[0]);
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
    const size_t periods = static_cast<size_t>(seconds * kRate / kFrames * 1.1) + 1024;
    g_lateness.Reserve(periods);
    BaselineThread baseline;
    baseline.log.Reserve(periods);
    std::printf("ALSA file device, system clock, %d frames at %.0f Hz, %.0f s per run, late: more "
                "than one period (%.1f us) after the deadline\n",
                kFrames, kRate, seconds, kPeriodNs / 1000);

    for (const char* phase : {"idle", "loaded"}) {
        const std::vector<pid_t> busy =
            std::strcmp(phase, "loaded") == 0 ? StartBusyLoops() : std::vector<pid_t>();
        if (!busy.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::vector<PacingFigures> ours(kRuns), base(kRuns);
        for (int run = 0; run < kRuns; ++run) {
            g_underruns.store(0);
            Run(baseline, seconds, ours[run], base[run]);
            PrintRun(phase, run + 1, ours[run], base[run]);
            std::printf("%-6s run %d  underruns %d\n", phase, run + 1, g_underruns.load());
        }
        StopBusyLoops(busy);
        PrintPhaseSummary(phase, ours, base);
    }

    g_driver->disposeBuffers();
    g_driver->Release();
    g_driver = nullptr;
    CoUninitialize();
    std::filesystem::remove_all(folder);
    return 0;
}
