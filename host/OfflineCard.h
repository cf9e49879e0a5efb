// The card of an offline render: a driver the host implements itself, with
// outputs "Out 1" upward in one of the accepted sample types, and no clock
// and no thread. The host queries and sets it up as any driver; the session
// then makes its buffer switches one after another, as fast as they render,
// and reads each half back for the file. User-interface thread only.
#pragma once

#include "host/AsioInterface.h"

#include <cstdint>

class OfflineCard final : public IASIO {
public:
    static constexpr int32_t kMaxChannels = 32;
    static constexpr uint32_t kLowestRate = 8000;
    static constexpr uint32_t kHighestRate = 384000;

    // Reference count 1; the last Release deletes the card.
    OfflineCard(ASIOSampleType type, double sampleRate, int32_t channels, int32_t bufferFrames);
    OfflineCard(const OfflineCard&) = delete;
    OfflineCard& operator=(const OfflineCard&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    // Starting only lets the switches begin: the session makes them.
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    // Whole rates from kLowestRate to kHighestRate.
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;
    ASIOError outputReady() override;

    // One buffer switch through the host's callback, halves alternating
    // from 0 after each start; returns the half it filled, -1 when stopped.
    int32_t SwitchBuffers();
    // The outputs that have buffers, in channel order.
    int32_t BufferChannels() const { return nBufferChannels; }
    int32_t BufferFrames() const { return nBufferFrames; }
    uint32_t SampleBytes() const { return nSampleBytes; }
    // Half `half` of every output with a buffer, interleaved frame by frame
    // in channel order: BufferFrames() * BufferChannels() samples.
    void InterleaveHalf(int32_t half, uint8_t* out) const;

private:
    ~OfflineCard();

    ULONG nRefCount = 1;
    const ASIOSampleType type;
    double dSampleRate;
    const int32_t nChannels;
    const int32_t nBufferFrames;
    const uint32_t nSampleBytes;
    uint8_t* pMemory = nullptr;
    // [position in channel order][half]
    uint8_t* halves[kMaxChannels][2] = {};
    bool bHasBuffer[kMaxChannels] = {};
    int32_t nBufferChannels = 0;
    ASIOCallbacks callbacks = {};
    bool bRunning = false;
    int32_t nNextHalf = 0;
    uint64_t qwFramesSwitched = 0;
};
