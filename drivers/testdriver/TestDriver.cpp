#include "drivers/testdriver/TestDriver.h"

#include <chrono>
#include <cstring>

namespace {

// Long enough for a loaded sanitizer run, short enough to fail a hung test.
constexpr auto kSwitchTimeout = std::chrono::seconds(5);

} // namespace

TestDriver::TestDriver(REFCLSID clsid) : DriverBase(clsid, ModuleScript().driverName)
{
    const TestDriverAnswers& script = ModuleScript();
    std::memcpy(inputs, script.inputs, sizeof inputs);
    std::memcpy(outputs, script.outputs, sizeof outputs);
    channels.Describe(true, script.numInputs, ASIOSTInt32LSB, "In");
    channels.Describe(false, script.numOutputs, ASIOSTInt32LSB, "Out");
    for (int32_t i = 0; i < channels.Count(true); ++i)
        channels.SetChannel(true, i, inputs[i].name, inputs[i].type, inputs[i].channelGroup);
    for (int32_t i = 0; i < channels.Count(false); ++i)
        channels.SetChannel(false, i, outputs[i].name, outputs[i].type, outputs[i].channelGroup);
    SetDriverVersion(script.driverVersion);
    SetBufferSizes(script.minSize, script.maxSize, script.preferredSize, script.granularity);
    SetLatencies(script.inputLatency, script.outputLatency);
    dCurrentRate = script.sampleRate;
    TestDriverCreated(this);
}

TestDriver::~TestDriver()
{
    // The last Release has stopped the thread already; this covers a
    // transport the base did not know was running.
    StopTransport();
    TestDriverDestroyed(this);
}

HRESULT TestDriver::QueryInterface(REFIID iid, void** object)
{
    // The creation hands its object out here: a scripted S_FALSE reaches the host.
    const HRESULT result = DriverBase::QueryInterface(iid, object);
    const HRESULT scripted = ModuleScript().createResult;
    return result == S_OK && scripted > S_OK ? scripted : result;
}

ASIOBool TestDriver::init(void* sysHandle)
{
    RecordCall("init");
    DriverBase::init(sysHandle);
    const TestDriverAnswers& script = ModuleScript();
    if (script.initResult == ASIOFalse) SetErrorMessage(script.errorMessage);
    return script.initResult;
}

void TestDriver::getDriverName(char* name)
{
    RecordCall("getDriverName");
    DriverBase::getDriverName(name);
}

int32_t TestDriver::getDriverVersion()
{
    RecordCall("getDriverVersion");
    return DriverBase::getDriverVersion();
}

void TestDriver::getErrorMessage(char* text)
{
    RecordCall("getErrorMessage");
    DriverBase::getErrorMessage(text);
}

ASIOError TestDriver::start()
{
    RecordCall("start");
    const ASIOError scripted = ModuleScript().startResult;
    if (scripted != ASE_OK) return scripted;
    return DriverBase::start();
}

ASIOError TestDriver::stop()
{
    RecordCall("stop");
    DriverBase::stop();
    return ModuleScript().stopResult;
}

ASIOError TestDriver::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels)
{
    RecordCall("getChannels");
    const ASIOError scripted = ModuleScript().getChannelsResult;
    if (scripted != ASE_OK) return scripted;
    return DriverBase::getChannels(numInputChannels, numOutputChannels);
}

ASIOError TestDriver::getLatencies(int32_t* inputLatency, int32_t* outputLatency)
{
    RecordCall("getLatencies");
    const ASIOError scripted = ModuleScript().getLatenciesResult;
    if (scripted != ASE_OK) return scripted;
    return DriverBase::getLatencies(inputLatency, outputLatency);
}

ASIOError TestDriver::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity)
{
    RecordCall("getBufferSize");
    const ASIOError scripted = ModuleScript().getBufferSizeResult;
    if (scripted != ASE_OK) return scripted;
    return DriverBase::getBufferSize(minSize, maxSize, preferredSize, granularity);
}

ASIOError TestDriver::canSampleRate(ASIOSampleRate)
{
    RecordCall("canSampleRate");
    return ModuleScript().canSampleRateResult;
}

ASIOError TestDriver::getSampleRate(ASIOSampleRate* sampleRate)
{
    RecordCall("getSampleRate");
    const ASIOError scripted = ModuleScript().getSampleRateResult;
    if (scripted != ASE_OK) return scripted;
    if (sampleRate == nullptr) return ASE_InvalidParameter;
    *sampleRate = dCurrentRate;
    return ASE_OK;
}

ASIOError TestDriver::setSampleRate(ASIOSampleRate sampleRate)
{
    RecordCall("setSampleRate");
    const ASIOError scripted = ModuleScript().setSampleRateResult;
    if (scripted == ASE_OK) dCurrentRate = sampleRate;
    return scripted;
}

ASIOError TestDriver::getClockSources(ASIOClockSource* clocks, int32_t* numSources)
{
    RecordCall("getClockSources");
    return DriverBase::getClockSources(clocks, numSources);
}

ASIOError TestDriver::setClockSource(int32_t reference)
{
    RecordCall("setClockSource");
    return DriverBase::setClockSource(reference);
}

ASIOError TestDriver::getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp)
{
    RecordCall("getSamplePosition");
    return DriverBase::getSamplePosition(position, timeStamp);
}

const TestDriverChannel* TestDriver::ScriptChannel(const ASIOChannelInfo& info) const
{
    const bool isInput = info.isInput != ASIOFalse;
    if (info.channel < 0 || info.channel >= channels.Count(isInput)) return nullptr;
    return isInput ? &inputs[info.channel] : &outputs[info.channel];
}

ASIOError TestDriver::getChannelInfo(ASIOChannelInfo* info)
{
    RecordCall("getChannelInfo");
    if (info == nullptr) return ASE_InvalidParameter;
    const TestDriverChannel* scripted = ScriptChannel(*info);
    if (scripted != nullptr && scripted->infoResult != ASE_OK) return scripted->infoResult;
    const ASIOError result = DriverBase::getChannelInfo(info);
    if (result == ASE_OK && scripted != nullptr && scripted->isActive != kActiveFromBuffers)
        info->isActive = scripted->isActive;
    return result;
}

ASIOError TestDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks)
{
    RecordCall("createBuffers");
    const ASIOError scripted = ModuleScript().createBuffersResult;
    if (scripted != ASE_OK) return scripted;
    return DriverBase::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
}

ASIOError TestDriver::disposeBuffers()
{
    RecordCall("disposeBuffers");
    const ASIOError result = DriverBase::disposeBuffers();
    const ASIOError scripted = ModuleScript().disposeBuffersResult;
    return scripted != ASE_OK ? scripted : result;
}

ASIOError TestDriver::controlPanel()
{
    RecordCall("controlPanel");
    return DriverBase::controlPanel();
}

ASIOError TestDriver::future(int32_t selector, void* opt)
{
    RecordCall("future");
    return DriverBase::future(selector, opt);
}

ASIOError TestDriver::outputReady()
{
    RecordCall("outputReady");
    return ModuleScript().outputReadyResult;
}

int32_t TestDriver::SendMessage(int32_t selector, int32_t value, void* message, double* opt)
{
    if (Callbacks().asioMessage == nullptr) return 0;
    return Callbacks().asioMessage(selector, value, message, opt);
}

bool TestDriver::DriveSwitches(int32_t count)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (!IsRunning() || !thread.joinable() || bQuit) return false;
    const uint64_t target = qwCompleted + static_cast<uint64_t>(nPending) + count;
    nPending += count;
    wake.notify_one();
    return done.wait_for(lock, kSwitchTimeout, [&] { return qwCompleted >= target || bQuit; }) &&
           qwCompleted >= target;
}

ASIOError TestDriver::StartTransport()
{
    std::lock_guard<std::mutex> lock(mutex);
    nPending = 0;
    bQuit = false;
    qwFramesSwitched = 0;
    thread = std::thread(&TestDriver::ThreadMain, this);
    return ASE_OK;
}

void TestDriver::StopTransport()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        bQuit = true;
        nPending = 0;
    }
    wake.notify_one();
    done.notify_all();
    if (thread.joinable()) thread.join();
}

void TestDriver::ThreadMain()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [&] { return bQuit || nPending > 0; });
        if (bQuit) return;
        --nPending;
        lock.unlock();
        FillInputs(NextHalf());
        SwitchBuffers();
        qwFramesSwitched += static_cast<uint64_t>(buffers.BufferSize());
        lock.lock();
        ++qwCompleted;
        done.notify_all();
    }
}

void TestDriver::FillInputs(int32_t half)
{
    if (!ModuleScript().inputsCountFrames) return buffers.SilenceInputs(half);
    for (int32_t channel = 0; channel < buffers.InputSpan(); ++channel) {
        uint8_t* target = buffers.Half(true, channel, half);
        if (target == nullptr) continue;
        const uint32_t width = SampleBytes(inputs[channel].type);
        for (int32_t i = 0; i < buffers.BufferSize(); ++i) {
            const uint32_t value = static_cast<uint32_t>(channel + 1) << 24 |
                                   ((qwFramesSwitched + static_cast<uint64_t>(i)) & 0xFFFFFF);
            for (uint32_t b = 0; b < width; ++b)
                target[i * width + b] = b < 4 ? static_cast<uint8_t>(value >> (8 * b)) : 0;
        }
    }
}
