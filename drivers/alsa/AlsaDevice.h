// One ALSA PCM, playback or capture, and its configuration: what it takes
// (formats, channels, rates), the hardware and software parameters the
// driver runs it with, and the few calls the writer thread makes on it.
// Opened and configured on the host's thread while no writer runs.
#pragma once

#include <alsa/asoundlib.h>
#include <cstdint>

class AlsaDevice {
public:
    AlsaDevice() = default;
    ~AlsaDevice() { Close(); }
    AlsaDevice(const AlsaDevice&) = delete;
    AlsaDevice& operator=(const AlsaDevice&) = delete;

    // 0, or the negative error code of snd_pcm_open. Opened without
    // blocking, so a busy device refuses at once instead of hanging the host.
    int Open(const char* name, snd_pcm_stream_t stream = SND_PCM_STREAM_PLAYBACK);
    void Close();
    bool IsOpen() const { return pcm != nullptr; }

    // Asked of the device's whole configuration space.
    bool TakesFormat(snd_pcm_format_t format) const;
    // The channel counts the device takes with format; false when none.
    bool ChannelRange(snd_pcm_format_t format, uint32_t* minChannels, uint32_t* maxChannels) const;
    bool TakesRate(snd_pcm_format_t format, uint32_t channels, uint32_t rate) const;

    // Interleaved read-write access, `periods` periods, playback starting
    // once all are queued, capture only when started (or linked to a
    // playback that starts). *periodFrames is the period wanted on entry and
    // the one the device accepted on return; with exactPeriod no other is
    // accepted. 0 or a negative error code; the device is left prepared.
    int Configure(snd_pcm_format_t format, uint32_t channels, uint32_t rate,
                  snd_pcm_uframes_t* periodFrames, bool exactPeriod, unsigned int periods = 2);
    snd_pcm_uframes_t BufferFrames() const { return bufferFrames; }

    // Writer thread. Frames written, -EAGAIN when the device has no room, or
    // another negative error code.
    snd_pcm_sframes_t Write(const void* frames, snd_pcm_uframes_t count)
    {
        return snd_pcm_writei(pcm, frames, count);
    }
    // Writer thread, capture. Frames read, -EAGAIN when none is there yet,
    // or another negative error code.
    snd_pcm_sframes_t Read(void* frames, snd_pcm_uframes_t count)
    {
        return snd_pcm_readi(pcm, frames, count);
    }
    snd_pcm_state_t State() const { return snd_pcm_state(pcm); }
    int Start() { return snd_pcm_start(pcm); }
    // Host thread: both devices start and stop together from now on; 0, or
    // a negative error code where the devices cannot be linked.
    int Link(AlsaDevice& other) { return snd_pcm_link(pcm, other.pcm); }
    void Unlink() { snd_pcm_unlink(pcm); }
    // Waits up to milliseconds for room (playback) or frames (capture): 1
    // when there are some, 0 on time-out, a negative error code otherwise.
    int Wait(int milliseconds) { return snd_pcm_wait(pcm, milliseconds); }
    // Back to a state that plays again after an underrun or a suspend; a
    // negative error code when the device cannot be had back.
    int Recover(int error) { return snd_pcm_recover(pcm, error, 1); }

    // Host thread, after the writer ended: what is queued is discarded and
    // the device is ready for the next start. 0 or a negative error code.
    int Reset();

private:
    snd_pcm_t* pcm = nullptr;
    snd_pcm_uframes_t bufferFrames = 0;
};
