// The ALSA driver: plays the host's buffers straight into one ALSA playback
// device, in the device's own sample format, with no sound server between,
// and hands the host what one capture device records (AlsaCapture.h).
// One class serves every registry entry given to the module; the CLSID an
// object is created for finds its entry, whose name is the driver's name
// and whose values are its settings (AlsaSettings.h).
#pragma once

#include "drivers/alsa/AlsaCapture.h"
#include "drivers/alsa/AlsaDevice.h"
#include "drivers/alsa/AlsaSampleFormat.h"
#include "drivers/alsa/AlsaSettings.h"
#include "drivers/alsa/AlsaWriter.h"
#include "drivers/alsa/PeriodInterleaver.h"
#include "drivers/kit/DriverBase.h"

#include <atomic>
#include <cstdint>

class AlsaDriver final : public DriverBase, private AlsaPeriodSource {
public:
    AlsaDriver(REFCLSID clsid, const char* keyName);
    ~AlsaDriver() override;

    // Opens the device and settles format, channels, rate and period; false,
    // with one line on stderr, when the device cannot be used, so that the
    // creation is refused. A refused value of the key opens nothing: init
    // says it.
    bool OpenDevice();

    // Asks the device, for any whole rate, not only the listed ones.
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;

protected:
    // Refused, naming the value, when a value of the driver's key is out of range.
    bool Open() override;
    ASIOError StartTransport() override;
    void StopTransport() override;
    // While running: the writer stops, the device is configured for the new
    // rate with the same period, and the writer starts again.
    ASIOError ChangeSampleRate(ASIOSampleRate sampleRate) override;

private:
    void RenderPeriod(uint64_t dueNs) override;
    void OnUnderrun() override;
    void OnDeviceLost() override;

    AlsaWriter::Plan WriterPlan();
    bool ReopenDevice();
    void ListSampleRates();

    char szKeyName[128] = {};
    AlsaSettings settings = {};
    AlsaDevice device;
    const AlsaSampleFormat* pFormat = nullptr;
    int32_t nChannels = 0;
    int32_t nInputs = 0;
    snd_pcm_uframes_t nPeriodFrames = 0;
    uint32_t nDeviceRate = 0;
    PeriodInterleaver interleaver;
    AlsaWriter writer;
    AlsaCapture capture;
    bool bResyncWanted = false;
    bool bResetWanted = false;
};

// The module's creation function: finds the entry registered for clsid and
// opens its device. CLASS_E_CLASSNOTAVAILABLE for a CLSID no entry carries,
// E_FAIL when the device cannot be used.
HRESULT CreateAlsaDriver(REFCLSID clsid, IUnknown** object);
