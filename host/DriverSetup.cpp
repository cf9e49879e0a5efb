#include "host/DriverSetup.h"

#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/AsioDriverList.h"
#include "host/BufferSwitchEntries.h"
#include "host/HostCapture.h"
#include "host/HostState.h"
#include "log/DebugLog.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

namespace {

void DestroySetup()
{
    delete pASIOBuffers;
    pASIOBuffers = nullptr;
}

} // namespace

bool ASIOSelectDriver(HWND mainDialog, HWND outputCombo)
{
    if (pAsioDriverList == nullptr || ptrASIO == nullptr) {
        DbgLog("ptrASIO == NULL");
        return false;
    }

    DbgLog("Diver selected...");
    char name[128] = {};
    pAsioDriverList->asioDriverName(nCurrentDrvNum, name, 127);
    DbgLog(name);
    char path[256] = {};
    pAsioDriverList->asioDriverPath(nCurrentDrvNum, path, 255);
    DbgLog(path);
    DbgLog("");

    return SetUpDriver(mainDialog, outputCombo, true);
}

bool SetUpDriver(HWND mainDialog, HWND outputCombo, bool checkPlayback)
{
    // A second setup replaces the first, which must stop its driver first.
    if (pASIOBuffers != nullptr) DestroySetup();
    pASIOBuffers = new (std::nothrow) AsioBuffers(ptrASIO, mainDialog, outputCombo);
    if (pASIOBuffers == nullptr) {
        DbgLog("pASIOBuffers == NULL");
        return false;
    }

    pASIOBuffers->bCheckPlayback = checkPlayback;
    if (pASIOBuffers->bInitSuccess) {
        DbgLog("pASIOBuffers->bInitSuccess");
        if (pASIOBuffers->CreatePrimaryBuffer()) {
            DbgLog("CreatePrimaryBuffer success!");
            return true;
        }
    } else {
        DbgLog(pASIOBuffers->szErrorMessage);
    }
    DestroySetup();
    return false;
}

bool AsioBuffers::CreatePrimaryBuffer()
{
    AsioDriverInfo& info = asioDriverInfo;
    info.outputBuffers = 2 * info.nOutputPairs;
    DbgLogInt("asioDriverInfo.outputBuffers to activate", info.outputBuffers);
    for (int32_t i = 0; i < info.outputBuffers; ++i) {
        info.outputBufferInfos[i].isInput = ASIOFalse;
        info.outputBufferInfos[i].channelNum = i;
        info.outputBufferInfos[i].buffers[0] = nullptr;
        info.outputBufferInfos[i].buffers[1] = nullptr;
    }

    // A capture adds its input pair's records after the outputs, in records
    // of its own: the host's output records stay as they are.
    int32_t records = info.outputBuffers;
    ASIOBufferInfo* bufferInfos = info.outputBufferInfos;
    if (pHostCapture != nullptr) bufferInfos = pHostCapture->BufferRecords(bufferInfos, &records);
    if (ptrASIO->createBuffers(bufferInfos, records, info.preferredSize, &asioCallbacks) !=
        ASE_OK) {
        DbgLog("ptrASIO->createBuffers failed!");
        return false;
    }
    // The driver now holds buffers, whatever its channels report below; they
    // must be disposed at teardown.
    bBuffersCreated = true;

    const uint32_t frames = static_cast<uint32_t>(info.preferredSize);
    const SampleFormat* format = FindSampleFormat(lSampleType);
    if (bufferInfos != info.outputBufferInfos)
        pHostCapture->TakeBuffers(info.outputBufferInfos, info.outputBuffers, lSampleType, frames,
                                  format->bytesPerSample, info.sampleRate);
    if (lSampleType == ASIOSTInt24LSB) {
        info.pInt24ScratchA = new (std::nothrow) int32_t[frames]();
        info.pInt24ScratchB = new (std::nothrow) int32_t[frames]();
        if (info.pInt24ScratchA == nullptr || info.pInt24ScratchB == nullptr) return false;
    }

    for (int32_t i = 0; i < info.outputBuffers; ++i) {
        ASIOChannelInfo& channel = info.outputChannelInfos[i];
        std::memset(&channel, 0, sizeof channel);
        channel.channel = info.outputBufferInfos[i].channelNum;
        channel.isInput = info.outputBufferInfos[i].isInput;
        if (ptrASIO->getChannelInfo(&channel) != ASE_OK) continue;
        channel.name[sizeof channel.name - 1] = '\0';
        if (channel.isActive != ASIOTrue) continue;
        if (channel.isInput == ASIOTrue)
            channel.isActive = ASIOFalse;
        else if (channel.type != lSampleType)
            channel.isActive = ASIOFalse;
        else if (i % 2 == 1)
            info.bPairUsable[(i - 1) / 2] = true;
    }

    dwBufferSizeBytes = frames * format->bytesPerSample;
    pSineGenerator = new (std::nothrow) SineGenerator(frames, format->formatCode);
    pPinkNoiseGenerator = PinkNoiseGenerator::Create(format->formatCode);
    pWhiteNoiseGenerator = WhiteNoiseGenerator::Create(format->formatCode);
    if (pSineGenerator == nullptr) {
        DbgLog("Failed creating SineGenerator.");
        return false;
    }
    if (pPinkNoiseGenerator == nullptr) {
        DbgLog("Failed creating PinkNoiseGenerator.");
        return false;
    }
    if (pWhiteNoiseGenerator == nullptr) {
        DbgLog("Failed creating WhiteNoiseGenerator.");
        return false;
    }
    PrepareRenderView();

    int32_t inputLatency = 0;
    int32_t outputLatency = 0;
    if (ptrASIO->getLatencies(&inputLatency, &outputLatency) == ASE_OK) {
        info.inputLatency = inputLatency;
        info.outputLatency = outputLatency;
        DbgLogTwoInts("asioDriverInfo.inputLatency", "asioDriverInfo.outputLatency",
                      info.inputLatency, info.outputLatency);
    }

    SelectOutputPair(0);
    DbgLogInt("dwBufferSizeBytes", static_cast<int32_t>(dwBufferSizeBytes));

    for (int32_t pair = 0; pair < info.nOutputPairs; ++pair) {
        if (!info.bPairUsable[pair]) continue;
        for (int32_t channel = 2 * pair; channel <= 2 * pair + 1; ++channel)
            for (void* half : info.outputBufferInfos[channel].buffers)
                if (half != nullptr) std::memset(half, 0, dwBufferSizeBytes);
    }

    if (ptrASIO->start() != ASE_OK) {
        DbgLog("Can't start!");
        return true;
    }
    bStarted = true;
    DbgLog("OK - we are now playing silence.");
    if (!bCheckPlayback) return true;
    DbgLog("Going to sleep for 500 ms to see if count_buffers_played increments");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const uint32_t played = dwCountBuffers.load(std::memory_order_relaxed);
    DbgLogInt("dwCountBuffers", static_cast<int32_t>(played));
    if (played > 0)
        DbgLog("OK - Very encouraging - we played some buffers of silence.");
    else
        DbgLog("Hmmm... No buffers played. Now what are we going to do?");
    return true;
}

void AsioBuffers::SelectOutputPair(int32_t k)
{
    AsioDriverInfo& info = asioDriverInfo;
    // Single writer: the render path takes nSelectedPair for the signal and
    // the flags for the pairs to silence.
    info.bPairSelected[info.nSelectedPair.load(std::memory_order_relaxed)].store(
        false, std::memory_order_relaxed);
    info.nSelectedPair.store(k, std::memory_order_relaxed);
    info.bPairSelected[k].store(true, std::memory_order_relaxed);

    DbgLogText("Using: ");
    DbgLogText(info.outputChannelInfos[2 * k].name);
    DbgLogText(" / ");
    DbgLog(info.outputChannelInfos[2 * k + 1].name);
}

void ASIOSelectOutputPair(int32_t k)
{
    if (pASIOBuffers == nullptr || !pASIOBuffers->bInitSuccess) {
        DbgLog("Failed: ASIOSelectOutputPair - ASIO system not initialized!");
        return;
    }
    if (k < 0 || k >= asioDriverInfo.nOutputPairs) {
        DbgLogInt("Failed: ASIOSelectOutputPair - no such output pair", k);
        return;
    }
    pASIOBuffers->SelectOutputPair(k);
}

AsioBuffers::~AsioBuffers()
{
    // The driver's thread must be gone before anything it renders from is.
    if (ptrASIO != nullptr) {
        ptrASIO->stop();
        if (bBuffersCreated) {
            ptrASIO->disposeBuffers();
            bBuffersCreated = false;
        }
    }
    ClearRenderView();
    if (pHostCapture != nullptr) pHostCapture->Release();
    if (pSineGenerator != nullptr) {
        pSineGenerator->Release();
        delete pSineGenerator;
        pSineGenerator = nullptr;
    }
    if (pPinkNoiseGenerator != nullptr) {
        pPinkNoiseGenerator->Release();
        delete pPinkNoiseGenerator;
        pPinkNoiseGenerator = nullptr;
    }
    if (pWhiteNoiseGenerator != nullptr) {
        pWhiteNoiseGenerator->Release();
        delete pWhiteNoiseGenerator;
        pWhiteNoiseGenerator = nullptr;
    }
    delete[] asioDriverInfo.pInt24ScratchA;
    asioDriverInfo.pInt24ScratchA = nullptr;
    delete[] asioDriverInfo.pInt24ScratchB;
    asioDriverInfo.pInt24ScratchB = nullptr;
}

void ASIOHostShutdown(bool releaseDriverList)
{
    if (pASIOBuffers != nullptr) DestroySetup();
    if (releaseDriverList && pAsioDriverList != nullptr) {
        delete pAsioDriverList;
        pAsioDriverList = nullptr;
        ptrASIO = nullptr;
    }
}
