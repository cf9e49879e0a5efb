#include "host/OfflineCard.h"

#include "platform/InprocObjects.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr const char* kName = "Offline Card";

uint32_t BytesOf(ASIOSampleType type)
{
    return type == ASIOSTInt16LSB ? 2 : type == ASIOSTInt24LSB ? 3 : 4;
}

} // namespace

OfflineCard::OfflineCard(ASIOSampleType typeIn, double sampleRate, int32_t channels,
                         int32_t bufferFrames)
    : type(typeIn), dSampleRate(sampleRate), nChannels(channels < 0              ? 0
                                                       : channels > kMaxChannels ? kMaxChannels
                                                                                 : channels),
      nBufferFrames(bufferFrames), nSampleBytes(BytesOf(typeIn))
{
}

OfflineCard::~OfflineCard()
{
    disposeBuffers();
}

HRESULT OfflineCard::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown) return E_NOINTERFACE;
    *object = static_cast<IASIO*>(this);
    AddRef();
    return S_OK;
}

ULONG OfflineCard::AddRef()
{
    return ++nRefCount;
}

ULONG OfflineCard::Release()
{
    const ULONG count = --nRefCount;
    if (count == 0) delete this;
    return count;
}

ASIOBool OfflineCard::init(void*)
{
    return ASIOTrue;
}

void OfflineCard::getDriverName(char* name)
{
    std::snprintf(name, 32, "%s", kName);
}

int32_t OfflineCard::getDriverVersion()
{
    return 1;
}

void OfflineCard::getErrorMessage(char* text)
{
    text[0] = '\0';
}

ASIOError OfflineCard::start()
{
    if (pMemory == nullptr) return ASE_InvalidMode;
    if (!bRunning) {
        bRunning = true;
        nNextHalf = 0;
    }
    return ASE_OK;
}

ASIOError OfflineCard::stop()
{
    bRunning = false;
    return ASE_OK;
}

ASIOError OfflineCard::getChannels(int32_t* numInputChannels, int32_t* numOutputChannels)
{
    if (numInputChannels == nullptr || numOutputChannels == nullptr) return ASE_InvalidParameter;
    *numInputChannels = 0;
    *numOutputChannels = nChannels;
    return ASE_OK;
}

ASIOError OfflineCard::getLatencies(int32_t* inputLatency, int32_t* outputLatency)
{
    if (inputLatency == nullptr || outputLatency == nullptr) return ASE_InvalidParameter;
    *inputLatency = 0;
    *outputLatency = nBufferFrames;
    return ASE_OK;
}

ASIOError OfflineCard::getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                     int32_t* granularity)
{
    if (minSize == nullptr || maxSize == nullptr || preferredSize == nullptr ||
        granularity == nullptr)
        return ASE_InvalidParameter;
    *minSize = *maxSize = *preferredSize = nBufferFrames;
    *granularity = 0;
    return ASE_OK;
}

ASIOError OfflineCard::canSampleRate(ASIOSampleRate sampleRate)
{
    const bool whole = std::floor(sampleRate) == sampleRate;
    return whole && sampleRate >= kLowestRate && sampleRate <= kHighestRate ? ASE_OK : ASE_NoClock;
}

ASIOError OfflineCard::getSampleRate(ASIOSampleRate* sampleRate)
{
    if (sampleRate == nullptr) return ASE_InvalidParameter;
    *sampleRate = dSampleRate;
    return ASE_OK;
}

ASIOError OfflineCard::setSampleRate(ASIOSampleRate sampleRate)
{
    if (canSampleRate(sampleRate) != ASE_OK) return ASE_NoClock;
    dSampleRate = sampleRate;
    return ASE_OK;
}

ASIOError OfflineCard::getClockSources(ASIOClockSource* clocks, int32_t* numSources)
{
    if (clocks == nullptr || numSources == nullptr || *numSources < 1) return ASE_InvalidParameter;
    clocks[0] = {};
    clocks[0].associatedChannel = -1;
    clocks[0].associatedGroup = -1;
    clocks[0].isCurrentSource = ASIOTrue;
    std::snprintf(clocks[0].name, sizeof clocks[0].name, "Offline");
    *numSources = 1;
    return ASE_OK;
}

ASIOError OfflineCard::setClockSource(int32_t reference)
{
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}

// Positions count rendered frames; there is no time to stamp them with.
ASIOError OfflineCard::getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp)
{
    if (position == nullptr || timeStamp == nullptr) return ASE_InvalidParameter;
    if (!bRunning) return ASE_SPNotAdvancing;
    position->hi = static_cast<uint32_t>(qwFramesSwitched >> 32);
    position->lo = static_cast<uint32_t>(qwFramesSwitched);
    timeStamp->hi = 0;
    timeStamp->lo = 0;
    return ASE_OK;
}

ASIOError OfflineCard::getChannelInfo(ASIOChannelInfo* info)
{
    if (info == nullptr || info->isInput != ASIOFalse || info->channel < 0 ||
        info->channel >= nChannels)
        return ASE_InvalidParameter;
    info->isActive = bHasBuffer[info->channel] ? ASIOTrue : ASIOFalse;
    info->channelGroup = 0;
    info->type = type;
    std::snprintf(info->name, sizeof info->name, "Out %d", info->channel + 1);
    return ASE_OK;
}

ASIOError OfflineCard::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                     int32_t bufferSize, ASIOCallbacks* callbacksIn)
{
    if (bRunning) return ASE_InvalidMode;
    if (bufferInfos == nullptr || callbacksIn == nullptr || callbacksIn->bufferSwitch == nullptr ||
        numChannels < 1 || numChannels > nChannels || bufferSize != nBufferFrames)
        return ASE_InvalidParameter;
    bool asked[kMaxChannels] = {};
    for (int32_t i = 0; i < numChannels; ++i) {
        const ASIOBufferInfo& record = bufferInfos[i];
        if (record.isInput != ASIOFalse || record.channelNum < 0 ||
            record.channelNum >= nChannels || asked[record.channelNum])
            return ASE_InvalidParameter;
        asked[record.channelNum] = true;
    }
    disposeBuffers();
    const size_t halfBytes = static_cast<size_t>(nBufferFrames) * nSampleBytes;
    pMemory = new (std::nothrow) uint8_t[2 * halfBytes * static_cast<size_t>(numChannels)]();
    if (pMemory == nullptr) return ASE_NoMemory;
    for (int32_t i = 0; i < numChannels; ++i) {
        bufferInfos[i].buffers[0] = pMemory + 2 * halfBytes * static_cast<size_t>(i);
        bufferInfos[i].buffers[1] = pMemory + (2 * static_cast<size_t>(i) + 1) * halfBytes;
    }
    for (int32_t channel = 0; channel < nChannels; ++channel)
        for (int32_t i = 0; i < numChannels; ++i)
            if (bufferInfos[i].channelNum == channel) {
                halves[nBufferChannels][0] = static_cast<uint8_t*>(bufferInfos[i].buffers[0]);
                halves[nBufferChannels][1] = static_cast<uint8_t*>(bufferInfos[i].buffers[1]);
                bHasBuffer[channel] = true;
                ++nBufferChannels;
            }
    callbacks = *callbacksIn;
    return ASE_OK;
}

ASIOError OfflineCard::disposeBuffers()
{
    if (pMemory == nullptr) return ASE_InvalidMode;
    stop();
    delete[] pMemory;
    pMemory = nullptr;
    std::memset(bHasBuffer, 0, sizeof bHasBuffer);
    nBufferChannels = 0;
    callbacks = {};
    return ASE_OK;
}

ASIOError OfflineCard::controlPanel()
{
    return ASE_NotPresent;
}

ASIOError OfflineCard::future(int32_t, void*)
{
    return ASE_InvalidParameter;
}

ASIOError OfflineCard::outputReady()
{
    return ASE_NotPresent;
}

int32_t OfflineCard::SwitchBuffers()
{
    if (!bRunning) return -1;
    const int32_t half = nNextHalf;
    nNextHalf ^= 1;
    callbacks.bufferSwitch(half, ASIOTrue);
    qwFramesSwitched += static_cast<uint64_t>(nBufferFrames);
    return half;
}

void OfflineCard::InterleaveHalf(int32_t half, uint8_t* out) const
{
    const uint32_t frameBytes = static_cast<uint32_t>(nBufferChannels) * nSampleBytes;
    for (int32_t c = 0; c < nBufferChannels; ++c) {
        const uint8_t* source = halves[c][half];
        uint8_t* target = out + static_cast<size_t>(c) * nSampleBytes;
        for (int32_t f = 0; f < nBufferFrames; ++f)
            std::memcpy(target + static_cast<size_t>(f) * frameBytes,
                        source + static_cast<size_t>(f) * nSampleBytes, nSampleBytes);
    }
}
