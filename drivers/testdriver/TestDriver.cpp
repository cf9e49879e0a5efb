// The scriptable driver host tests load like any driver, and its module: one
// script for all its objects, the record of calls and the class factory. The
// driver runs buffer switches on a thread of its own only when asked to.
#include "drivers/kit/ClassFactory.h"
#include "drivers/kit/DriverBase.h"
#include "drivers/testdriver/TestDriverScript.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

class TestDriver;

class ModuleTestDriverScript final : public TestDriverScript {
public:
    void Reset() override
    {
        static_cast<TestDriverAnswers&>(*this) = TestDriverAnswers();
        ForgetCalls();
    }

    int32_t LiveDrivers() const override { return nLive.load(std::memory_order_acquire); }
    int32_t SendMessage(int32_t selector, int32_t value, void* message, double* opt) override;
    bool DriveSwitches(int32_t count) override;

    std::vector<std::string> Calls() const override
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        return {calls.begin(), calls.end()};
    }

    void ForgetCalls() override
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        calls.clear();
    }

    void Record(const char* name)
    {
        std::lock_guard<std::mutex> lock(callsMutex);
        calls.push_back(name);
    }

    // A driver made (the latest) or deleted.
    void Track(TestDriver* driver, bool alive)
    {
        std::lock_guard<std::mutex> lock(latestMutex);
        if (alive || pLatest == driver) pLatest = alive ? driver : nullptr;
        nLive.fetch_add(alive ? 1 : -1, std::memory_order_acq_rel);
    }

private:
    // A reference for the length of one test call, so the driver cannot go
    // away under it; the lock is not held while the driver runs.
    TestDriver* AcquireLatest();

    mutable std::mutex callsMutex;
    std::vector<const char*> calls;
    std::atomic<int32_t> nLive{0};
    std::mutex latestMutex;
    TestDriver* pLatest = nullptr;
};

ModuleTestDriverScript g_script;

class TestDriver final : public DriverBase {
public:
    explicit TestDriver(REFCLSID clsid) : DriverBase(clsid, g_script.driverName)
    {
        std::memcpy(outputs, g_script.outputs, sizeof outputs);
        channels.Describe(true, g_script.numInputs, ASIOSTInt32LSB, "In");
        channels.Describe(false, g_script.numOutputs, ASIOSTInt32LSB, "Out");
        for (int32_t i = 0; i < channels.Count(false); ++i)
            channels.SetChannel(false, i, outputs[i].name, outputs[i].type, 0);
        SetBufferSizes(32, 4096, g_script.preferredSize, -1);
        SetLatencies(256, 512);
        SetSampleRates(&g_script.sampleRate, 1, g_script.sampleRate);
        g_script.Track(this, true);
    }
    ~TestDriver() override { g_script.Track(this, false); }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        // The creation hands its object out here: a scripted S_FALSE reaches the host.
        const HRESULT result = DriverBase::QueryInterface(iid, object);
        return result == S_OK && g_script.createResult > S_OK ? g_script.createResult : result;
    }

    ASIOBool init(void* sysHandle) override
    {
        DriverBase::init(sysHandle);
        if (g_script.initResult == ASIOFalse) SetErrorMessage(g_script.errorMessage);
        return g_script.initResult;
    }

    ASIOError start() override
    {
        g_script.Record("start");
        return g_script.startResult != ASE_OK ? g_script.startResult : DriverBase::start();
    }

    ASIOError stop() override
    {
        g_script.Record("stop");
        return DriverBase::stop();
    }

    ASIOError canSampleRate(ASIOSampleRate) override { return g_script.canSampleRateResult; }
    ASIOError outputReady() override
    {
        g_script.Record("outputReady");
        return ASE_OK;
    }

    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override
    {
        if (g_script.getSampleRateResult != ASE_OK) return g_script.getSampleRateResult;
        return DriverBase::getSampleRate(sampleRate);
    }

    ASIOError setSampleRate(ASIOSampleRate sampleRate) override
    {
        g_script.Record("setSampleRate");
        if (g_script.setSampleRateResult == ASE_OK) SetSampleRates(&sampleRate, 1, sampleRate);
        return g_script.setSampleRateResult;
    }

    ASIOError getChannelInfo(ASIOChannelInfo* info) override
    {
        if (info == nullptr) return ASE_InvalidParameter;
        const bool scripted = info->isInput == ASIOFalse && info->channel >= 0 &&
                              info->channel < channels.Count(false);
        const ASIOError result = DriverBase::getChannelInfo(info);
        if (result == ASE_OK && scripted && outputs[info->channel].isActive != kActiveFromBuffers)
            info->isActive = outputs[info->channel].isActive;
        return result;
    }

    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override
    {
        if (g_script.createBuffersResult != ASE_OK) return g_script.createBuffersResult;
        return DriverBase::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    }

    ASIOError disposeBuffers() override
    {
        g_script.Record("disposeBuffers");
        return DriverBase::disposeBuffers();
    }

    using DriverBase::Callbacks;

    bool DriveSwitches(int32_t count)
    {
        // Held until the switches are done, so that a stop waits for them.
        std::lock_guard<std::mutex> lock(mutex);
        if (!bTransport) return false;
        std::thread([this, count] {
            for (int32_t i = 0; i < count; ++i) {
                FillInputs(NextHalf());
                SwitchBuffers();
                qwFramesSwitched += static_cast<uint64_t>(buffers.BufferSize());
            }
        }).join();
        return true;
    }

protected:
    ASIOError StartTransport() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        bTransport = true;
        qwFramesSwitched = 0;
        return ASE_OK;
    }

    void StopTransport() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        bTransport = false;
    }

private:
    void FillInputs(int32_t half)
    {
        if (!g_script.inputsCountFrames) return buffers.SilenceInputs(half);
        for (int32_t channel = 0; channel < buffers.InputSpan(); ++channel) {
            auto* target = reinterpret_cast<uint32_t*>(buffers.Half(true, channel, half));
            for (int32_t i = 0; target != nullptr && i < buffers.BufferSize(); ++i)
                target[i] = static_cast<uint32_t>(channel + 1) << 24 |
                            ((qwFramesSwitched + static_cast<uint64_t>(i)) & 0xFFFFFF);
        }
    }

    uint64_t qwFramesSwitched = 0;
    // The channels as scripted when the object was made.
    TestDriverChannel outputs[kMaxTestChannels];
    // Switches run only between start and stop, never during either.
    std::mutex mutex;
    bool bTransport = false;
};

TestDriver* ModuleTestDriverScript::AcquireLatest()
{
    std::lock_guard<std::mutex> lock(latestMutex);
    if (pLatest != nullptr) pLatest->AddRef();
    return pLatest;
}

int32_t ModuleTestDriverScript::SendMessage(int32_t selector, int32_t value, void* message,
                                            double* opt)
{
    TestDriver* driver = AcquireLatest();
    if (driver == nullptr) return 0;
    const ASIOCallbacks& callbacks = driver->Callbacks();
    const int32_t answer =
        callbacks.asioMessage != nullptr ? callbacks.asioMessage(selector, value, message, opt) : 0;
    driver->Release();
    return answer;
}

bool ModuleTestDriverScript::DriveSwitches(int32_t count)
{
    if (count <= 0) return false;
    TestDriver* driver = AcquireLatest();
    if (driver == nullptr) return false;
    const bool finished = driver->DriveSwitches(count);
    driver->Release();
    return finished;
}

HRESULT NewTestDriver(REFCLSID clsid, IUnknown** object)
{
    g_script.Record("CreateInstance");
    if (FAILED(g_script.createResult)) return g_script.createResult;
    return NewDriver<TestDriver>(clsid, object);
}

} // namespace

TONEWRIGHT_DRIVER_CLASSES({CLSID_TonewrightTestDriver, NewTestDriver})

TONEWRIGHT_DRIVER_EXPORT TestDriverScript* TestDriverScriptOf()
{
    return &g_script;
}
