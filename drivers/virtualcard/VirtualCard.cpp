#include "drivers/virtualcard/VirtualCard.h"

#include "drivers/kit/ClassFactory.h"
#include "drivers/virtualcard/VirtualCardVariants.h"

#include <cstdio>

VirtualCard::VirtualCard(REFCLSID clsid)
    : DriverBase(clsid, FindVirtualCardVariant(clsid).name),
      type(FindVirtualCardVariant(clsid).type), recorder(FindVirtualCardVariant(clsid).name)
{
    ReadVirtualCardSettings(FindVirtualCardVariant(clsid).name, &settings);
    channels.Describe(false, settings.channels, type, "Out");
    channels.Describe(true, settings.channels, type, "In");
    SetBufferSizes(kVirtualCardMinBufferSize, kVirtualCardMaxBufferSize, settings.bufferSize, -1);
    SetLoopbackLatencies(settings.bufferSize);
    SetSampleRates(kVirtualCardRates, kVirtualCardRateCount, settings.sampleRate);
}

VirtualCard::~VirtualCard()
{
    // The last Release has stopped the transport already.
    StopTransport();
}

bool VirtualCard::Open()
{
    if (settings.refusal[0] == '\0') return true;
    SetErrorMessage(settings.refusal);
    return false;
}

ASIOError VirtualCard::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                     int32_t bufferSize, ASIOCallbacks* callbacks)
{
    const ASIOError result =
        DriverBase::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    if (result != ASE_OK) return result;
    if (!loopback.Prepare(buffers, type, settings.loopback)) {
        DriverBase::disposeBuffers();
        return ASE_NoMemory;
    }
    SetLoopbackLatencies(bufferSize);
    recorder.Prepare(buffers, type, kVirtualCardMaxRate);
    return ASE_OK;
}

// Whatever the loopback delays beyond the output's one buffer is the
// input's latency: the two add up to the round trip a capture measures.
void VirtualCard::SetLoopbackLatencies(int32_t bufferSize)
{
    const auto frames = static_cast<uint32_t>(bufferSize);
    const uint32_t roundTrip =
        settings.loopback.latency > frames ? settings.loopback.latency : frames;
    SetLatencies(static_cast<int32_t>(roundTrip - frames), bufferSize);
}

ASIOError VirtualCard::disposeBuffers()
{
    // The base stops a running transport before the buffers go.
    const ASIOError result = DriverBase::disposeBuffers();
    recorder.Release();
    loopback.Release();
    SetLoopbackLatencies(settings.bufferSize);
    return result;
}

ASIOError VirtualCard::ChangeSampleRate(ASIOSampleRate sampleRate)
{
    nRequestedRate.store(static_cast<uint32_t>(sampleRate), std::memory_order_relaxed);
    return ASE_OK;
}

ASIOError VirtualCard::StartTransport()
{
    if (pacingThread.Running()) return ASE_OK;
    nRequestedRate.store(static_cast<uint32_t>(SampleRate()), std::memory_order_relaxed);
    qwMissed.store(0, std::memory_order_relaxed);
    bQuit.store(false, std::memory_order_relaxed);
    loopback.Clear();
    recorder.Start(settings.recordFile);
    if (!pacingThread.Start(PacingMain, this)) {
        recorder.Stop();
        SetErrorMessage("no thread for the card's clock");
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

void VirtualCard::StopTransport()
{
    if (!pacingThread.Running()) return;
    bQuit.store(true, std::memory_order_release);
    pacingThread.Join();
    recorder.Stop();
    if (recorder.Failed()) SetErrorMessage(recorder.FailureText());
    const uint64_t missed = qwMissed.load(std::memory_order_relaxed);
    if (missed > 0)
        std::fprintf(stderr, "%s: %llu buffers came more than a period late\n",
                     FindVirtualCardVariant(clsid).name, static_cast<unsigned long long>(missed));
}

void VirtualCard::PacingMain(void* self)
{
    static_cast<VirtualCard*>(self)->Pace();
}

// The card's clock thread: no allocation, no lock, no system call but the
// sleep to the next deadline; the host's bufferSwitch runs inside it.
void VirtualCard::Pace()
{
    PacingClock clock;
    clock.Start(nRequestedRate.load(std::memory_order_relaxed), buffers.BufferSize());
    for (;;) {
        const uint32_t rate = nRequestedRate.load(std::memory_order_relaxed);
        if (rate != clock.Rate()) clock.ChangeRate(rate);
        const PacingClock::Tick tick = clock.WaitNext();
        if (bQuit.load(std::memory_order_acquire)) break;
        if (tick.missed) qwMissed.store(clock.MissedCount(), std::memory_order_relaxed);
        loopback.FillInputs(buffers, NextHalf());
        // The position is stamped with the buffer's deadline, not when the
        // thread woke.
        const int32_t half = SwitchBuffers(tick.deadlineNs);
        loopback.TakeOutputs(buffers, half);
        recorder.OnBuffer(half, clock.Rate());
    }
}

TONEWRIGHT_DRIVER_CLASSES({CLSID_VirtualCard16, NewDriver<VirtualCard>},
                          {CLSID_VirtualCard24, NewDriver<VirtualCard>},
                          {CLSID_VirtualCard32, NewDriver<VirtualCard>},
                          {CLSID_VirtualCardFloat, NewDriver<VirtualCard>})
