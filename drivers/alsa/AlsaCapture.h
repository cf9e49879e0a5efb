// The ALSA driver's inputs: one capture PCM in the card's format, rate and
// period, held open only while the host has input buffers. Started with the
// playback (linked where the devices allow, else started by the writer with
// its first period); the writer thread reads one period of it before each
// switch and spreads it over the input halves.
#pragma once

#include "drivers/alsa/AlsaDevice.h"
#include "drivers/kit/DriverBuffers.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

class AlsaCapture {
public:
    AlsaCapture() = default;
    ~AlsaCapture() { Close(); }
    AlsaCapture(const AlsaCapture&) = delete;
    AlsaCapture& operator=(const AlsaCapture&) = delete;

    // Host thread, when the driver is made: the channels the device would
    // capture, as near to wanted as it allows, in format at rate; 0 when it
    // cannot be opened or takes neither. The device is closed again, so that
    // a driver that only plays keeps no capture device from others.
    static int32_t Probe(const char* name, snd_pcm_format_t format, uint32_t rate, int32_t wanted);

    // Host thread, at createBuffers with inputs: opened and configured like
    // the playback, with its very period, and linked to it where it can be.
    // 0, or a negative error code with the device closed.
    int Open(const char* name, snd_pcm_format_t format, uint32_t channels, uint32_t rate,
             snd_pcm_uframes_t period, uint32_t sampleBytes, AlsaDevice& playback);
    // Host thread, writer stopped: the same configuration at another rate.
    int ChangeRate(uint32_t rate);
    void Close();
    bool IsOpen() const { return device.IsOpen(); }

    // Writer thread, before the switch that hands the host half `half`:
    // one period into the input halves, silence until the device runs or
    // when it failed. True when an overrun was recovered from.
    bool ReadInto(const DriverBuffers& buffers, int32_t half, AlsaDevice& playback);
    // Host thread, after the writer ended: ready for the next start.
    void Reset();

    uint64_t Overruns() const { return qwOverruns.load(std::memory_order_relaxed); }
    void ClearOverruns() { qwOverruns.store(0, std::memory_order_relaxed); }

private:
    bool ReadPeriod();

    AlsaDevice device;
    snd_pcm_format_t format = SND_PCM_FORMAT_UNKNOWN;
    uint32_t nChannels = 0;
    snd_pcm_uframes_t nPeriod = 0;
    size_t nFrameBytes = 0;
    uint8_t* pPeriod = nullptr;
    bool bLinked = false;
    std::atomic<uint64_t> qwOverruns{0};
};
