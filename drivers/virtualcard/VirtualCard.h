// The virtual card: a driver with no hardware behind it that plays at the
// pace of the monotonic clock, records what it plays (TakeRecorder.h) and
// hears it again at its inputs (Loopback.h).
// One class serves the four registered variants; the CLSID it was made for
// picks its sample type and its name, the key its settings are read from.
#pragma once

#include "drivers/kit/DriverBase.h"
#include "drivers/kit/PacingClock.h"
#include "drivers/kit/RealtimeThread.h"
#include "drivers/virtualcard/Loopback.h"
#include "drivers/virtualcard/TakeRecorder.h"
#include "drivers/virtualcard/VirtualCardSettings.h"

#include <atomic>
#include <cstdint>

class VirtualCard final : public DriverBase {
public:
    explicit VirtualCard(REFCLSID clsid);
    ~VirtualCard() override;

    // Output latency becomes the buffer size the host chose, input latency
    // what the loopback adds to it.
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError outputReady() override { return ASE_OK; }

protected:
    // Refused, naming the value, when a value of the card's key is out of range.
    bool Open() override;
    ASIOError StartTransport() override;
    // When a take of the run could not be written whole, the error text says
    // so afterwards: the host learns that what played was not recorded.
    void StopTransport() override;
    // Taken up by the pacing thread at the next buffer.
    ASIOError ChangeSampleRate(ASIOSampleRate sampleRate) override;

private:
    void SetLoopbackLatencies(int32_t bufferSize);
    static void PacingMain(void* self);
    void Pace();

    const ASIOSampleType type;
    VirtualCardSettings settings;
    TakeRecorder recorder;
    Loopback loopback;

    RealtimeThread pacingThread;
    std::atomic<bool> bQuit{false};
    std::atomic<uint32_t> nRequestedRate{0};
    std::atomic<uint64_t> qwMissed{0};
};
