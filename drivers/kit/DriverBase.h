// What every driver object is besides its clock and transport: reference
// counting, the interfaces it answers, its name and error text, channel
// records, buffer sizes, sample rates, the double buffers and the host's
// callbacks. A driver derives from DriverBase, describes its device in its
// constructor (or in Open) and implements StartTransport/StopTransport,
// whose thread calls SwitchBuffers once per buffer period, having put what
// the device captured into the input halves of NextHalf() first.
#pragma once

#include "drivers/kit/DriverBuffers.h"
#include "drivers/kit/DriverChannels.h"
#include "host/AsioInterface.h"
#include "platform/InprocObjects.h"

#include <atomic>
#include <cstdint>

class DriverBase : public IASIO {
public:
    // driverName is what getDriverName reports and, usually, the name of the
    // driver's registry key.
    DriverBase(REFCLSID clsid, const char* driverName);
    virtual ~DriverBase();
    DriverBase(const DriverBase&) = delete;
    DriverBase& operator=(const DriverBase&) = delete;

    // IID_IUnknown and the driver's own CLSID, which the host passes as the
    // interface identifier. The last Release stops the transport, then
    // deletes the object.
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // init stores sysHandle and asks Open; false leaves the error text.
    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    // ASE_InvalidMode before createBuffers; a second start is ASE_OK.
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    // The rates given to SetSampleRates; any other is ASE_NoClock.
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    // One internal clock.
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    // Samples and monotonic nanoseconds at the latest buffer switch;
    // ASE_SPNotAdvancing while stopped.
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    // bufferSize within the sizes given to SetBufferSizes, callbacks with a
    // bufferSwitch; refused while running. Buffers made before are replaced.
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    // Stops a running transport first. ASE_InvalidMode without buffers.
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;
    // ASE_NotPresent: a driver that wants the call answers ASE_OK.
    ASIOError outputReady() override;

    bool IsRunning() const { return bRunning.load(std::memory_order_acquire); }

protected:
    // init's check that the device can be used; false after SetErrorMessage.
    virtual bool Open() { return true; }
    // Start the driver's thread; from then on it calls SwitchBuffers once per
    // buffer period until StopTransport returns.
    virtual ASIOError StartTransport() = 0;
    // Returns only after the last SwitchBuffers has returned.
    virtual void StopTransport() = 0;
    // The rate is about to change (the rate is known to be supported); the
    // transport may re-pace. Not ASE_OK keeps the old rate.
    virtual ASIOError ChangeSampleRate(ASIOSampleRate sampleRate);

    // Driver thread, once per buffer period: hands the host the next half of
    // the double buffer, alternating 0 and 1 from 0 after each start, and
    // returns the half the host has just filled. timeStampNs is when the
    // buffer is due on the driver's own clock (CLOCK_MONOTONIC); without it,
    // now. getSamplePosition reports it with the frames switched before. No
    // allocation, no lock, no log line: it runs inside the host's real-time
    // path.
    int32_t SwitchBuffers(uint64_t timeStampNs);
    int32_t SwitchBuffers();
    // Driver thread: the half the next SwitchBuffers hands the host, whose
    // input halves the driver fills before it switches.
    int32_t NextHalf() const { return nNextIndex; }

    void SetErrorMessage(const char* text);
    void SetDriverVersion(int32_t version) { lDriverVersion = version; }
    void SetBufferSizes(int32_t minSize, int32_t maxSize, int32_t preferredSize,
                        int32_t granularity);
    void SetLatencies(int32_t inputLatency, int32_t outputLatency);
    // Up to kMaxSampleRates rates; current is the rate until setSampleRate.
    void SetSampleRates(const ASIOSampleRate* rates, int32_t count, ASIOSampleRate current);
    ASIOSampleRate SampleRate() const { return dSampleRate.load(std::memory_order_relaxed); }
    // Valid from createBuffers until disposeBuffers.
    const ASIOCallbacks& Callbacks() const { return asioCallbacks; }
    void* SystemHandle() const { return pSysHandle; }

    static constexpr int32_t kMaxSampleRates = 16;

    const CLSID clsid;
    DriverChannels channels;
    DriverBuffers buffers;

private:
    void StopRunning();

    std::atomic<ULONG> nRefCount{1};
    std::atomic<bool> bRunning{false};
    char szDriverName[128] = {};
    char szErrorMessage[128] = {};
    int32_t lDriverVersion = 1;
    void* pSysHandle = nullptr;
    int32_t minSize = 0;
    int32_t maxSize = 0;
    int32_t preferredSize = 0;
    int32_t granularity = 0;
    int32_t inputLatency = 0;
    int32_t outputLatency = 0;
    ASIOSampleRate rates[kMaxSampleRates] = {};
    int32_t nRates = 0;
    std::atomic<ASIOSampleRate> dSampleRate{0.0};
    ASIOCallbacks asioCallbacks = {};
    int32_t nNextIndex = 0;                    // driver thread only, reset by start
    std::atomic<uint64_t> qwSamplePosition{0}; // read by getSamplePosition on any thread
    std::atomic<uint64_t> qwTimeStampNs{0};
};
