#include "drivers/alsa/AlsaCapture.h"

#include <cerrno>
#include <new>

namespace {

// A capture has room for more periods than a playback: the writer reads it
// before it waits on the playback, which may hold it for a period.
constexpr unsigned int kCapturePeriods = 4;
// How long one wait for a period may last, so that a stalled device cannot
// hold the writer: the period is then silent.
constexpr int kWaitMilliseconds = 100;

} // namespace

int32_t AlsaCapture::Probe(const char* name, snd_pcm_format_t format, uint32_t rate, int32_t wanted)
{
    AlsaDevice probe;
    if (probe.Open(name, SND_PCM_STREAM_CAPTURE) < 0) return 0;
    uint32_t low = 0;
    uint32_t high = 0;
    if (!probe.ChannelRange(format, &low, &high) ||
        low > static_cast<uint32_t>(DriverChannels::kMaxChannels))
        return 0;
    uint32_t channels = static_cast<uint32_t>(wanted);
    if (channels > high) channels = high;
    if (channels < low) channels = low;
    return probe.TakesRate(format, channels, rate) ? static_cast<int32_t>(channels) : 0;
}

int AlsaCapture::Open(const char* name, snd_pcm_format_t formatIn, uint32_t channels, uint32_t rate,
                      snd_pcm_uframes_t period, uint32_t sampleBytes, AlsaDevice& playback)
{
    Close();
    int result = device.Open(name, SND_PCM_STREAM_CAPTURE);
    if (result < 0) return result;
    format = formatIn;
    nChannels = channels;
    nPeriod = period;
    nFrameBytes = static_cast<size_t>(channels) * sampleBytes;
    result = ChangeRate(rate);
    if (result >= 0) {
        pPeriod = new (std::nothrow) uint8_t[nPeriod * nFrameBytes]();
        if (pPeriod == nullptr) result = -ENOMEM;
    }
    if (result < 0) {
        Close();
        return result;
    }
    bLinked = device.Link(playback) == 0;
    return 0;
}

int AlsaCapture::ChangeRate(uint32_t rate)
{
    snd_pcm_uframes_t period = nPeriod;
    return device.Configure(format, nChannels, rate, &period, true, kCapturePeriods);
}

void AlsaCapture::Close()
{
    if (bLinked) device.Unlink();
    bLinked = false;
    device.Close();
    delete[] pPeriod;
    pPeriod = nullptr;
}

void AlsaCapture::Reset()
{
    if (device.IsOpen()) device.Reset();
}

bool AlsaCapture::ReadInto(const DriverBuffers& buffers, int32_t half, AlsaDevice& playback)
{
    if (!device.IsOpen()) return false;
    snd_pcm_state_t state = device.State();
    // Linked, the capture starts with the playback, or by itself once the
    // playback is seen running after an overrun of its own. Unlinked it
    // starts with the first period, as the writer's first writes start the
    // playback (some devices, as null, never report themselves running).
    if (state == SND_PCM_STATE_PREPARED &&
        (!bLinked || playback.State() == SND_PCM_STATE_RUNNING)) {
        int started = device.Start();
        if (started < 0 && bLinked) {
            // A group cannot start while its playback already runs.
            device.Unlink();
            bLinked = false;
            started = device.Start();
        }
        if (started == 0) state = SND_PCM_STATE_RUNNING;
    }
    bool overrun = false;
    if (state == SND_PCM_STATE_XRUN) {
        overrun = device.Recover(-EPIPE) == 0;
    } else if (state == SND_PCM_STATE_RUNNING) {
        const int error = ReadPeriod() ? 0 : -EPIPE;
        if (error == 0) {
            buffers.DeinterleaveInputs(half, pPeriod, static_cast<int32_t>(nChannels),
                                       static_cast<uint32_t>(nFrameBytes / nChannels));
            return false;
        }
        overrun = device.State() == SND_PCM_STATE_XRUN && device.Recover(-EPIPE) == 0;
    }
    if (overrun) qwOverruns.fetch_add(1, std::memory_order_relaxed);
    buffers.SilenceInputs(half);
    return overrun;
}

// The whole period, waiting for frames as they come; false when the device
// failed or stalled.
bool AlsaCapture::ReadPeriod()
{
    uint8_t* data = pPeriod;
    snd_pcm_uframes_t left = nPeriod;
    while (left > 0) {
        const snd_pcm_sframes_t read = device.Read(data, left);
        if (read > 0) {
            data += static_cast<size_t>(read) * nFrameBytes;
            left -= static_cast<snd_pcm_uframes_t>(read);
            continue;
        }
        if ((read == 0 || read == -EAGAIN) && device.Wait(kWaitMilliseconds) > 0) continue;
        return false;
    }
    return true;
}
