#include "host/HostState.h"

#include "render/BufferSwitch.h"

#include <cstring>
#include <iterator>

AsioDriverInfo asioDriverInfo;
IASIO* ptrASIO = nullptr;
uint32_t dwBufferSizeBytes = 0;
std::atomic<uint32_t> dwCountBuffers{0};
SineGenerator* pSineGenerator = nullptr;
PinkNoiseGenerator* pPinkNoiseGenerator = nullptr;
WhiteNoiseGenerator* pWhiteNoiseGenerator = nullptr;
bool bDriverFailed[kMaxDrivers] = {};
int32_t lnumDevs = 0;
int32_t nRequestedDrvNum = -1;
int32_t nCurrentDrvNum = 0;
AsioBuffers* pASIOBuffers = nullptr;
AsioDriverList* pAsioDriverList = nullptr;

namespace {

const SampleFormat kSampleFormats[] = {
    {ASIOSTInt16LSB, bufferSwitchInt16LSB, 0, 2},
    {ASIOSTInt24LSB, bufferSwitchInt24LSB, 1, 3},
    {ASIOSTInt32LSB, bufferSwitchInt32LSB, 2, 4},
    {ASIOSTFloat32LSB, bufferSwitchFloat32LSB, 2, 4},
};
static_assert(std::size(kSampleFormats) == 4, "one entry per accepted sample type");

} // namespace

void ClearDriverInfo()
{
    AsioDriverInfo& info = asioDriverInfo;
    info.nOutputPairs = 0;
    info.numInputChannels = 0;
    info.numOutputChannels = 0;
    info.minSize = 0;
    info.maxSize = 0;
    info.preferredSize = 0;
    info.granularity = 0;
    info.sampleRate = 0.0;
    info.bOutputReady = false;
    info.inputLatency = 0;
    info.outputLatency = 0;
    info.outputBuffers = 0;
    std::memset(info.outputBufferInfos, 0, sizeof info.outputBufferInfos);
    std::memset(info.outputChannelInfos, 0, sizeof info.outputChannelInfos);
    for (auto& selected : info.bPairSelected)
        selected.store(false, std::memory_order_relaxed);
    std::memset(info.bPairUsable, 0, sizeof info.bPairUsable);
    info.pInt24ScratchA = nullptr;
    info.pInt24ScratchB = nullptr;
    info.nSelectedPair.store(0, std::memory_order_relaxed);
    info.hWndMain = nullptr;
}

const SampleFormat* FindSampleFormat(ASIOSampleType type)
{
    for (const SampleFormat& format : kSampleFormats)
        if (format.type == type) return &format;
    return nullptr;
}
