#include "drivers/alsa/AlsaDevice.h"

namespace {

void DropAlsaError(const char*, int, const char*, int, const char*, ...) {}

} // namespace

int AlsaDevice::Open(const char* name, snd_pcm_stream_t stream)
{
    Close();
    // Where the device is missing, libasound explains its configuration in
    // a page of stderr lines; the caller says in one line what failed.
    snd_lib_error_set_handler(DropAlsaError);
    const int result = snd_pcm_open(&pcm, name, stream, SND_PCM_NONBLOCK);
    snd_lib_error_set_handler(nullptr);
    if (result < 0) pcm = nullptr;
    return result;
}

void AlsaDevice::Close()
{
    if (pcm == nullptr) return;
    snd_pcm_close(pcm);
    pcm = nullptr;
    bufferFrames = 0;
}

bool AlsaDevice::TakesFormat(snd_pcm_format_t format) const
{
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    return snd_pcm_hw_params_any(pcm, params) >= 0 &&
           snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_test_format(pcm, params, format) == 0;
}

bool AlsaDevice::ChannelRange(snd_pcm_format_t format, uint32_t* minChannels,
                              uint32_t* maxChannels) const
{
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    unsigned int low = 0;
    unsigned int high = 0;
    if (snd_pcm_hw_params_any(pcm, params) < 0 ||
        snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, params, format) < 0 ||
        snd_pcm_hw_params_get_channels_min(params, &low) < 0 ||
        snd_pcm_hw_params_get_channels_max(params, &high) < 0)
        return false;
    *minChannels = low;
    *maxChannels = high;
    return true;
}

bool AlsaDevice::TakesRate(snd_pcm_format_t format, uint32_t channels, uint32_t rate) const
{
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    return snd_pcm_hw_params_any(pcm, params) >= 0 &&
           snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
           snd_pcm_hw_params_set_format(pcm, params, format) >= 0 &&
           snd_pcm_hw_params_set_channels(pcm, params, channels) >= 0 &&
           snd_pcm_hw_params_set_rate_resample(pcm, params, 0) >= 0 &&
           snd_pcm_hw_params_test_rate(pcm, params, rate, 0) == 0;
}

int AlsaDevice::Configure(snd_pcm_format_t format, uint32_t channels, uint32_t rate,
                          snd_pcm_uframes_t* periodFrames, bool exactPeriod, unsigned int periods)
{
    snd_pcm_hw_params_t* params = nullptr;
    snd_pcm_hw_params_alloca(&params);
    int result = snd_pcm_hw_params_any(pcm, params);
    if (result >= 0)
        result = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (result >= 0) result = snd_pcm_hw_params_set_format(pcm, params, format);
    if (result >= 0) result = snd_pcm_hw_params_set_channels(pcm, params, channels);
    // No resampling behind the host's back: the rate asked is the rate played.
    if (result >= 0) result = snd_pcm_hw_params_set_rate_resample(pcm, params, 0);
    if (result >= 0) result = snd_pcm_hw_params_set_rate(pcm, params, rate, 0);
    if (result >= 0) {
        if (exactPeriod) {
            result = snd_pcm_hw_params_set_period_size(pcm, params, *periodFrames, 0);
        } else {
            int direction = 0;
            result = snd_pcm_hw_params_set_period_size_near(pcm, params, periodFrames, &direction);
        }
    }
    if (result >= 0) {
        int direction = 0;
        result = snd_pcm_hw_params_set_periods_near(pcm, params, &periods, &direction);
    }
    if (result >= 0) result = snd_pcm_hw_params(pcm, params);
    if (result < 0) return result;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t buffer = 0;
    int direction = 0;
    result = snd_pcm_hw_params_get_period_size(params, &period, &direction);
    if (result >= 0) result = snd_pcm_hw_params_get_buffer_size(params, &buffer);
    if (result < 0) return result;
    *periodFrames = period;
    bufferFrames = buffer;

    // Starting once the whole buffer is queued keeps the first periods from
    // running dry while the writer is still filling them. A capture starts
    // with its playback, never by itself on a read.
    snd_pcm_sw_params_t* software = nullptr;
    snd_pcm_sw_params_alloca(&software);
    result = snd_pcm_sw_params_current(pcm, software);
    snd_pcm_uframes_t threshold = buffer;
    if (result >= 0 && snd_pcm_stream(pcm) == SND_PCM_STREAM_CAPTURE)
        result = snd_pcm_sw_params_get_boundary(software, &threshold);
    if (result >= 0) result = snd_pcm_sw_params_set_start_threshold(pcm, software, threshold);
    if (result >= 0) result = snd_pcm_sw_params_set_avail_min(pcm, software, period);
    if (result >= 0) result = snd_pcm_sw_params(pcm, software);
    if (result < 0) return result;
    return snd_pcm_prepare(pcm);
}

int AlsaDevice::Reset()
{
    const int result = snd_pcm_drop(pcm);
    if (result < 0) return result;
    return snd_pcm_prepare(pcm);
}
