#include "drivers/kit/DriverBase.h"

#include "drivers/kit/ModuleUsage.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

uint64_t MonotonicNanoseconds()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void CopyText(char* target, size_t size, const char* text)
{
    std::snprintf(target, size, "%s", text != nullptr ? text : "");
}

} // namespace

DriverBase::DriverBase(REFCLSID clsid, const char* driverName) : clsid(clsid)
{
    CopyText(szDriverName, sizeof szDriverName, driverName);
    ModuleObjectCreated();
}

DriverBase::~DriverBase()
{
    ModuleObjectDestroyed();
}

HRESULT DriverBase::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == clsid) {
        *object = static_cast<IASIO*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DriverBase::AddRef()
{
    return nRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG DriverBase::Release()
{
    const ULONG count = nRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        // Here the derived object is still whole, so its transport can stop;
        // in ~DriverBase it no longer could.
        StopRunning();
        delete this;
    }
    return count;
}

ASIOBool DriverBase::init(void* sysHandle)
{
    pSysHandle = sysHandle;
    szErrorMessage[0] = '\0';
    return Open() ? ASIOTrue : ASIOFalse;
}

void DriverBase::getDriverName(char* name)
{
    if (name != nullptr) CopyText(name, sizeof szDriverName, szDriverName);
}

int32_t DriverBase::getDriverVersion()
{
    return lDriverVersion;
}

void DriverBase::getErrorMessage(char* text)
{
    if (text != nullptr) CopyText(text, sizeof szErrorMessage, szErrorMessage);
}

ASIOError DriverBase::start()
{
    if (!buffers.Created()) return ASE_InvalidMode;
    if (IsRunning()) return ASE_OK;
    nNextIndex = 0;
    qwSamplePosition.store(0, std::memory_order_relaxed);
    qwTimeStampNs.store(MonotonicNanoseconds(), std::memory_order_relaxed);
    // Running before the transport starts: its first switch may come before
    // StartTransport returns, and getSamplePosition must answer it.
    bRunning.store(true, std::memory_order_release);
    const ASIOError result = StartTransport();
    if (result != ASE_OK) bRunning.store(false, std::memory_order_release);
    return result;
}

ASIOError DriverBase::stop()
{
    StopRunning();
    return ASE_OK;
}

// Not through stop(): a driver's stop is a host call it may count or refuse.
void DriverBase::StopRunning()
{
    if (!IsRunning()) return;
    StopTransport();
    bRunning.store(false, std::memory_order_release);
}

ASIOError DriverBase::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels)
{
    if (numInputChannels == nullptr || numOutputChannels == nullptr) return ASE_InvalidParameter;
    *numInputChannels = channels.Count(true);
    *numOutputChannels = channels.Count(false);
    return ASE_OK;
}

ASIOError DriverBase::getLatencies(int32_t* inputLatencyOut, int32_t* outputLatencyOut)
{
    if (inputLatencyOut == nullptr || outputLatencyOut == nullptr) return ASE_InvalidParameter;
    *inputLatencyOut = inputLatency;
    *outputLatencyOut = outputLatency;
    return ASE_OK;
}

ASIOError DriverBase::getBufferSize(int32_t* minSizeOut, int32_t* maxSizeOut,
                                    int32_t* preferredSizeOut, int32_t* granularityOut)
{
    if (minSizeOut == nullptr || maxSizeOut == nullptr || preferredSizeOut == nullptr ||
        granularityOut == nullptr)
        return ASE_InvalidParameter;
    *minSizeOut = minSize;
    *maxSizeOut = maxSize;
    *preferredSizeOut = preferredSize;
    *granularityOut = granularity;
    return ASE_OK;
}

ASIOError DriverBase::canSampleRate(ASIOSampleRate sampleRate)
{
    for (int32_t i = 0; i < nRates; ++i)
        if (rates[i] == sampleRate) return ASE_OK;
    return ASE_NoClock;
}

ASIOError DriverBase::getSampleRate(ASIOSampleRate* sampleRate)
{
    if (sampleRate == nullptr) return ASE_InvalidParameter;
    if (nRates == 0) return ASE_NotPresent;
    *sampleRate = SampleRate();
    return ASE_OK;
}

ASIOError DriverBase::setSampleRate(ASIOSampleRate sampleRate)
{
    if (canSampleRate(sampleRate) != ASE_OK) return ASE_NoClock;
    if (sampleRate == SampleRate()) return ASE_OK;
    const ASIOError result = ChangeSampleRate(sampleRate);
    if (result == ASE_OK) dSampleRate.store(sampleRate, std::memory_order_relaxed);
    return result;
}

ASIOError DriverBase::ChangeSampleRate(ASIOSampleRate)
{
    return ASE_OK;
}

ASIOError DriverBase::getClockSources(ASIOClockSource* clocks, int32_t* numSources)
{
    if (clocks == nullptr || numSources == nullptr || *numSources < 1) return ASE_InvalidParameter;
    clocks[0] = {};
    clocks[0].index = 0;
    clocks[0].associatedChannel = -1;
    clocks[0].associatedGroup = -1;
    clocks[0].isCurrentSource = ASIOTrue;
    CopyText(clocks[0].name, sizeof clocks[0].name, "Internal");
    *numSources = 1;
    return ASE_OK;
}

ASIOError DriverBase::setClockSource(int32_t reference)
{
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

ASIOError DriverBase::getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp)
{
    if (position == nullptr || timeStamp == nullptr) return ASE_InvalidParameter;
    if (!IsRunning()) return ASE_SPNotAdvancing;
    const uint64_t samples = qwSamplePosition.load(std::memory_order_relaxed);
    const uint64_t nanoseconds = qwTimeStampNs.load(std::memory_order_relaxed);
    position->hi = static_cast<uint32_t>(samples >> 32);
    position->lo = static_cast<uint32_t>(samples);
    timeStamp->hi = static_cast<uint32_t>(nanoseconds >> 32);
    timeStamp->lo = static_cast<uint32_t>(nanoseconds);
    return ASE_OK;
}

ASIOError DriverBase::getChannelInfo(ASIOChannelInfo* info)
{
    return channels.FillInfo(info);
}

ASIOError DriverBase::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks)
{
    if (IsRunning()) return ASE_InvalidMode;
    if (callbacks == nullptr || callbacks->bufferSwitch == nullptr) return ASE_InvalidParameter;
    if (bufferSize < minSize || bufferSize > maxSize) return ASE_InvalidParameter;
    const ASIOError result = buffers.Create(bufferInfos, numChannels, bufferSize, channels);
    if (result == ASE_OK) asioCallbacks = *callbacks;
    return result;
}

ASIOError DriverBase::disposeBuffers()
{
    if (!buffers.Created()) return ASE_InvalidMode;
    StopRunning();
    buffers.Dispose(channels);
    asioCallbacks = {};
    return ASE_OK;
}

ASIOError DriverBase::controlPanel()
{
    return ASE_NotPresent;
}

ASIOError DriverBase::future(int32_t, void*)
{
    return ASE_InvalidParameter;
}

ASIOError DriverBase::outputReady()
{
    return ASE_NotPresent;
}

int32_t DriverBase::SwitchBuffers(uint64_t timeStampNs)
{
    const int32_t index = nNextIndex;
    nNextIndex = 1 - index;
    qwTimeStampNs.store(timeStampNs, std::memory_order_relaxed);
    asioCallbacks.bufferSwitch(index, ASIOTrue);
    qwSamplePosition.fetch_add(static_cast<uint64_t>(buffers.BufferSize()),
                               std::memory_order_relaxed);
    return index;
}

int32_t DriverBase::SwitchBuffers()
{
    return SwitchBuffers(MonotonicNanoseconds());
}

void DriverBase::SetErrorMessage(const char* text)
{
    CopyText(szErrorMessage, sizeof szErrorMessage, text);
}

void DriverBase::SetBufferSizes(int32_t minSizeIn, int32_t maxSizeIn, int32_t preferredSizeIn,
                                int32_t granularityIn)
{
    minSize = minSizeIn;
    maxSize = maxSizeIn;
    preferredSize = preferredSizeIn;
    granularity = granularityIn;
}

void DriverBase::SetLatencies(int32_t inputLatencyIn, int32_t outputLatencyIn)
{
    inputLatency = inputLatencyIn;
    outputLatency = outputLatencyIn;
}

void DriverBase::SetSampleRates(const ASIOSampleRate* ratesIn, int32_t count,
                                ASIOSampleRate current)
{
    nRates = 0;
    for (int32_t i = 0; i < count && i < kMaxSampleRates; ++i)
        rates[nRates++] = ratesIn[i];
    dSampleRate.store(current, std::memory_order_relaxed);
}
