// How punctually the virtual card's clock thread calls the host: the
// lateness of each bufferSwitch against the deadline the card's clock set
// for it (getSamplePosition's time stamp), at 64 frames and 96000 Hz with 16
// output pairs recorded, beside a baseline thread of the same policy,
// priority and period that only sleeps (PacingBaseline.h). Each phase, idle
// and then with a busy loop on every core, runs three times. Run by hand:
//   bench_virtual_card [seconds per run, default 30] [silent]
// "silent" renders silence into every pair, so nothing is recorded.
#include "bench/PacingBaseline.h"
#include "drivers/virtualcard/VirtualCardVariants.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the bench target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

namespace {

constexpr int32_t kChannels = 32;
constexpr int32_t kFrames = 64;
constexpr double kRate = 96000.0;
constexpr double kPeriodNs = kFrames * 1e9 / kRate;
constexpr int kRuns = 3;

uint64_t NowNs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// What the callback writes into; preallocated, touched only by the card's thread
// while it runs.
IASIO* g_driver = nullptr;
ASIOBufferInfo g_infos[kChannels];
LatenessLog g_lateness;
std::atomic<bool> g_first{true};
uint64_t g_phase = 0;
int g_policy = -1;
bool g_silent = false;

// As the host renders: a tone into pair 0, silence into the other 15 pairs.
void OnBufferSwitch(int32_t index, ASIOBool)
{
    const uint64_t entered = NowNs();
    ASIOSamples position = {};
    ASIOTimeStamp stamp = {};
    g_driver->getSamplePosition(&position, &stamp);
    const uint64_t deadline = (static_cast<uint64_t>(stamp.hi) << 32) | stamp.lo;
    if (g_first.exchange(false, std::memory_order_relaxed)) g_policy = sched_getscheduler(0);
    g_lateness.Add(static_cast<int64_t>(entered) - static_cast<int64_t>(deadline));

    auto* left = static_cast<int32_t*>(g_infos[0].buffers[index]);
    for (int32_t i = 0; i < kFrames; ++i) {
        g_phase = (g_phase + 1) % 96;
        left[i] = g_silent ? 0 : static_cast<int32_t>(1e9 * std::sin(g_phase * (2 * M_PI / 96)));
    }
    std::memcpy(g_infos[1].buffers[index], left, kFrames * sizeof(int32_t));
    for (int32_t c = 2; c < kChannels; ++c)
        std::memset(g_infos[c].buffers[index], 0, kFrames * sizeof(int32_t));
    g_driver->outputReady();
}

void OnSampleRateChanged(ASIOSampleRate) {}
int32_t OnAsioMessage(int32_t, int32_t, void*, double*)
{
    return 0;
}
ASIOCallbacks g_callbacks = {OnBufferSwitch, OnSampleRateChanged, OnAsioMessage, nullptr};

// One run: the baseline and the card side by side for the given seconds.
bool Run(BaselineThread& baseline, int seconds, PacingFigures& ours, PacingFigures& base)
{
    g_lateness.Clear();
    baseline.Start(static_cast<uint32_t>(kRate), kFrames);
    const bool started = g_driver->start() == ASE_OK;
    if (started) std::this_thread::sleep_for(std::chrono::seconds(seconds));
    if (started) g_driver->stop();
    baseline.Stop();
    ours = Figures(g_lateness, kPeriodNs);
    base = Figures(baseline.log, kPeriodNs);
    return started;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    g_silent = argc > 2 && std::strcmp(argv[2], "silent") == 0;
    const size_t periods = static_cast<size_t>(seconds * kRate / kFrames * 1.1) + 1000;
    g_lateness.Reserve(periods);
    BaselineThread baseline;
    baseline.log.Reserve(periods);

    char folder[] = "/tmp/tonewright-card-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return 1;
    const std::string dir = folder;
    const VirtualCardVariant& variant = kVirtualCardVariants[2];
    std::filesystem::create_directories(dir + "/registry.d");
    std::ofstream(dir + "/registry.d/bench.reg")
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\" << variant.name << "]\n"
        << "\"Channels\"=dword:00000020\n\"BufferSize\"=dword:00000040\n"
        << "\"SampleRate\"=dword:00017700\n\"RecordFile\"=\"" << dir << "/take.wav\"\n";
    const std::string folders =
        std::string(TONEWRIGHT_PRODUCT_REGISTRY) + ":" + dir + "/registry.d";
    setenv("TONEWRIGHT_REGISTRY", folders.c_str(), 1);
    RegistryReload();

    CoInitialize(nullptr);
    void* object = nullptr;
    if (CoCreateInstance(variant.clsid, nullptr, CLSCTX_INPROC_SERVER, variant.clsid, &object) !=
            S_OK ||
        object == nullptr) {
        std::fprintf(stderr, "cannot create %s\n", variant.name);
        return 1;
    }
    g_driver = static_cast<IASIO*>(object);
    g_driver->init(nullptr);
    for (int32_t c = 0; c < kChannels; ++c)
        g_infos[c] = {ASIOFalse, c, {nullptr, nullptr}};
    if (g_driver->createBuffers(g_infos, kChannels, kFrames, &g_callbacks) != ASE_OK) {
        std::fprintf(stderr, "createBuffers failed\n");
        return 1;
    }
    std::printf("%s, %d outputs (16 pairs), %d frames at %.0f Hz, period %.1f us, %s %s\n",
                variant.name, kChannels, kFrames, kRate, kPeriodNs / 1000,
                g_silent ? "silent, nothing recorded; folder" : "recording to", dir.c_str());

    std::printf("%d s per run, late: more than one period (%.1f us) after the deadline\n", seconds,
                kPeriodNs / 1000);
    bool ok = true;
    for (const char* phase : {"idle", "loaded"}) {
        const std::vector<pid_t> busy =
            std::strcmp(phase, "loaded") == 0 ? StartBusyLoops() : std::vector<pid_t>();
        if (!busy.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        std::vector<PacingFigures> ours(kRuns), base(kRuns);
        for (int run = 0; run < kRuns && ok; ++run) {
            ok = Run(baseline, seconds, ours[run], base[run]);
            for (const auto& entry : std::filesystem::directory_iterator(dir))
                if (entry.path().extension() == ".wav") std::filesystem::remove(entry.path());
            if (ok) PrintRun(phase, run + 1, ours[run], base[run]);
        }
        StopBusyLoops(busy);
        if (!ok) break;
        PrintPhaseSummary(phase, ours, base);
    }
    auto name = [](int policy) {
        return policy == SCHED_FIFO    ? "SCHED_FIFO"
               : policy == SCHED_OTHER ? "SCHED_OTHER"
                                       : "other";
    };
    std::printf("clock thread policy: %s, baseline policy: %s\n", name(g_policy),
                name(baseline.Policy()));

    g_driver->disposeBuffers();
    g_driver->Release();
    g_driver = nullptr;
    CoUninitialize();
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
