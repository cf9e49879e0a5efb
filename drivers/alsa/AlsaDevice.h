// One ALSA playback PCM and its configuration: what it takes (formats,
// channels, rates), the hardware and software parameters the driver runs it
// with, and the few calls the writer thread makes on it. Opened when the
// driver is created, configured on the host's thread while no writer runs.
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
    int Open(const char* name);
    void Close();
    bool IsOpen() const { return pcm != nullptr; }

    // Asked of the device's whole configuration space.
    bool TakesFormat(snd_pcm_format_t format) const;
    // The channel counts the device takes with format; false when none.
    bool ChannelRange(snd_pcm_format_t format, uint32_t* minChannels, uint32_t* maxChannels) const;
    bool TakesRate(snd_pcm_format_t format, uint32_t channels, uint32_t rate) const;

    // Interleaved read-write access, two periods, playback starting once
    // both are queued. *periodFrames is the period wanted on entry and the
    // one the device accepted on return; with exactPeriod no other is
    // accepted. 0 or a negative error code; the device is left prepared.
    int Configure(snd_pcm_format_t format, uint32_t channels, uint32_t rate,
                  snd_pcm_uframes_t* periodFrames, bool exactPeriod);
    snd_pcm_uframes_t BufferFrames() const { return bufferFrames; }

    // Writer thread. Frames written, -EAGAIN when the device has no room, or
    // another negative error code.
    snd_pcm_sframes_t Write(const void* frames, snd_pcm_uframes_t count)
    {
        return snd_pcm_writei(pcm, frames, count);
    }
    // Waits up to milliseconds for room: 1 when there is room, 0 on time-out,
    // a negative error code otherwise.
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
