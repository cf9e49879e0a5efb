// How punctually the virtual card's clock thread calls the host: the
// lateness of each bufferSwitch against the deadline the card's clock set
// for it (getSamplePosition's time stamp), at 64 frames and 96000 Hz with 16
// output pairs recorded, first on an idle machine, then with two busy-loop
// processes loading both cores. Run by hand:
//   bench_virtual_card [seconds per phase, default 60] [silent]
// "silent" renders silence into every pair, so nothing is recorded.
#include "drivers/virtualcard/VirtualCardVariants.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#ifndef TONEWRIGHT_PRODUCT_REGISTRY
#error "the bench target must define TONEWRIGHT_PRODUCT_REGISTRY"
#endif

namespace {

constexpr int32_t kChannels = 32;
constexpr int32_t kFrames = 64;
constexpr double kRate = 96000.0;
constexpr double kPeriodNs = kFrames * 1e9 / kRate;

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
std::vector<int64_t> g_lateness;
std::atomic<size_t> g_count{0};
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
    const size_t n = g_count.load(std::memory_order_relaxed);
    if (n == 0) g_policy = sched_getscheduler(0);
    if (n < g_lateness.size())
        g_lateness[n] = static_cast<int64_t>(entered) - static_cast<int64_t>(deadline);

    auto* left = static_cast<int32_t*>(g_infos[0].buffers[index]);
    for (int32_t i = 0; i < kFrames; ++i) {
        g_phase = (g_phase + 1) % 96;
        left[i] = g_silent ? 0 : static_cast<int32_t>(1e9 * std::sin(g_phase * (2 * M_PI / 96)));
    }
    std::memcpy(g_infos[1].buffers[index], left, kFrames * sizeof(int32_t));
    for (int32_t c = 2; c < kChannels; ++c)
        std::memset(g_infos[c].buffers[index], 0, kFrames * sizeof(int32_t));
    g_driver->outputReady();
    g_count.store(n + 1, std::memory_order_relaxed);
}

void OnSampleRateChanged(ASIOSampleRate) {}
int32_t OnAsioMessage(int32_t, int32_t, void*, double*)
{
    return 0;
}
ASIOCallbacks g_callbacks = {OnBufferSwitch, OnSampleRateChanged, OnAsioMessage, nullptr};

pid_t StartBusyLoop()
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", "while :; do :; done", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void Report(const char* phase, int seconds)
{
    const size_t count = std::min(g_count.load(), g_lateness.size());
    std::vector<int64_t> lateness(g_lateness.begin(), g_lateness.begin() + count);
    size_t missed = 0;
    size_t worst = 0;
    for (size_t k = 0; k < count; ++k) {
        if (lateness[k] > kPeriodNs) ++missed;
        if (lateness[k] > lateness[worst]) worst = k;
    }
    std::sort(lateness.begin(), lateness.end());
    auto at = [&](double q) {
        return count == 0 ? 0.0 : lateness[static_cast<size_t>(q * (count - 1))] / 1000.0;
    };
    std::printf("%-7s %3d s  switches %7zu (expected %7.0f)  lateness us: median %7.1f  "
                "p99 %7.1f  max %8.1f (switch %zu)  missed %zu\n",
                phase, seconds, count, seconds * kRate / kFrames, at(0.5), at(0.99), at(1.0), worst,
                missed);
}

bool RunPhase(const char* phase, int seconds)
{
    g_count.store(0);
    if (g_driver->start() != ASE_OK) return false;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    g_driver->stop();
    Report(phase, seconds);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    g_silent = argc > 2 && std::strcmp(argv[2], "silent") == 0;
    g_lateness.assign(static_cast<size_t>(seconds * kRate / kFrames * 1.1) + 1000, 0);

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

    bool ok = RunPhase("idle", seconds);
    std::printf("        clock thread policy: %s\n", g_policy == SCHED_FIFO    ? "SCHED_FIFO"
                                                     : g_policy == SCHED_OTHER ? "SCHED_OTHER"
                                                                               : "other");
    std::filesystem::remove(dir + "/take-001.wav");

    const pid_t busy[2] = {StartBusyLoop(), StartBusyLoop()};
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ok = RunPhase("loaded", seconds) && ok;
    for (pid_t pid : busy)
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }

    g_driver->disposeBuffers();
    g_driver->Release();
    g_driver = nullptr;
    CoUninitialize();
    std::filesystem::remove_all(dir);
    return ok ? 0 : 1;
}
