#include "host/HostState.h"

#include "host/BufferSwitchEntries.h"

#include <cstring>

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

constexpr SampleFormat kSampleFormats[] = {
    {ASIOSTInt16LSB, bufferSwitchInt16LSB, FormatCode::Int16, 2},
    {ASIOSTInt24LSB, bufferSwitchInt24LSB, FormatCode::Int24In32, 3},
    {ASIOSTInt32LSB, bufferSwitchInt32LSB, FormatCode::Int32, 4},
    {ASIOSTFloat32LSB, bufferSwitchFloat32LSB, FormatCode::Int32, 4},
};
static_assert(ListsEachAcceptedTypeOnce(kSampleFormats));

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

int32_t WholeHertz(double rate)
{
    if (!(rate > 0.0 && rate < 2147483648.0)) return 0;
    return static_cast<int32_t>(rate);
}

const SampleFormat* FindSampleFormat(ASIOSampleType type)
{
    for (const SampleFormat& format : kSampleFormats)
        if (format.type == type) return &format;
    return nullptr;
}
