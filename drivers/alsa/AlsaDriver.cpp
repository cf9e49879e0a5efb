#include "drivers/alsa/AlsaDriver.h"

#include "drivers/alsa/AlsaDriverKey.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <new>

namespace {

// The rates offered first, then every other common rate the device takes.
constexpr uint32_t kCommonRates[] = {44100, 48000, 96000, 88200, 176400, 192000,
                                     32000, 22050, 16000, 11025, 8000,   384000};
constexpr uint32_t kPreferredRates[] = {48000, 44100, 96000};
constexpr double kHighestRate = 10000000.0;

} // namespace

AlsaDriver::AlsaDriver(REFCLSID clsid, const char* keyName) : DriverBase(clsid, keyName)
{
    std::snprintf(szKeyName, sizeof szKeyName, "%s", keyName);
}

AlsaDriver::~AlsaDriver()
{
    // The last Release has stopped the writer already.
    writer.Stop();
    capture.Close();
    device.Close();
}

bool AlsaDriver::OpenDevice()
{
    ReadAlsaSettings(szKeyName, &settings);
    if (settings.refusal[0] != '\0') return true;
    const int opened = device.Open(settings.device);
    if (opened < 0) {
        std::fprintf(stderr, "%s: ALSA device \"%s\" cannot be opened for playback: %s\n",
                     szKeyName, settings.device, snd_strerror(opened));
        return false;
    }

    pFormat = nullptr;
    if (settings.sampleFormat != nullptr) {
        if (device.TakesFormat(settings.sampleFormat->format))
            pFormat = settings.sampleFormat;
        else
            std::fprintf(stderr, "%s: \"%s\" does not take %s samples; using its own format\n",
                         szKeyName, settings.device, settings.sampleFormat->name);
    }
    for (int i = 0; pFormat == nullptr && i < kAlsaSampleFormatCount; ++i)
        if (device.TakesFormat(kAlsaSampleFormats[i].format)) pFormat = &kAlsaSampleFormats[i];
    if (pFormat == nullptr) {
        std::fprintf(stderr, "%s: \"%s\" takes none of S32_LE, S24_3LE, S16_LE, FLOAT_LE\n",
                     szKeyName, settings.device);
        return false;
    }

    uint32_t minChannels = 0;
    uint32_t maxChannels = 0;
    if (!device.ChannelRange(pFormat->format, &minChannels, &maxChannels) ||
        minChannels > static_cast<uint32_t>(DriverChannels::kMaxChannels)) {
        std::fprintf(stderr, "%s: \"%s\" wants more channels than a driver has\n", szKeyName,
                     settings.device);
        return false;
    }
    uint32_t wanted = static_cast<uint32_t>(settings.channels);
    if (wanted > maxChannels) {
        std::fprintf(stderr, "%s: \"%s\" has %u channels; Channels %u is cut to them\n", szKeyName,
                     settings.device, maxChannels, wanted);
        wanted = maxChannels;
    }
    if (wanted < minChannels) wanted = minChannels;
    nChannels = static_cast<int32_t>(wanted);

    nDeviceRate = 0;
    for (uint32_t rate : kPreferredRates) {
        if (device.TakesRate(pFormat->format, wanted, rate)) {
            nDeviceRate = rate;
            break;
        }
    }
    for (int i = 0; nDeviceRate == 0 && i < static_cast<int>(std::size(kCommonRates)); ++i)
        if (device.TakesRate(pFormat->format, wanted, kCommonRates[i]))
            nDeviceRate = kCommonRates[i];
    if (nDeviceRate == 0) {
        std::fprintf(stderr, "%s: \"%s\" takes none of the common sample rates\n", szKeyName,
                     settings.device);
        return false;
    }

    nPeriodFrames = static_cast<snd_pcm_uframes_t>(settings.bufferSize);
    const int configured =
        device.Configure(pFormat->format, wanted, nDeviceRate, &nPeriodFrames, false);
    if (configured < 0 || nPeriodFrames == 0 ||
        nPeriodFrames > static_cast<snd_pcm_uframes_t>(kAlsaMaxBufferSize)) {
        std::fprintf(stderr, "%s: \"%s\" takes no period near %d frames: %s\n", szKeyName,
                     settings.device, settings.bufferSize,
                     configured < 0 ? snd_strerror(configured) : "out of range");
        return false;
    }

    channels.Describe(false, nChannels, pFormat->type, "Out");
    nInputs = AlsaCapture::Probe(settings.captureDevice, pFormat->format, nDeviceRate, nChannels);
    if (nInputs == 0 && settings.captureNamed)
        std::fprintf(stderr, "%s: \"%s\" cannot capture %s at %u Hz; the driver has no inputs\n",
                     szKeyName, settings.captureDevice, pFormat->name, nDeviceRate);
    channels.Describe(true, nInputs, pFormat->type, "In");
    const auto period = static_cast<int32_t>(nPeriodFrames);
    SetBufferSizes(period, period, period, 0);
    SetLatencies(0, static_cast<int32_t>(device.BufferFrames()));
    ListSampleRates();
    return true;
}

bool AlsaDriver::Open()
{
    if (settings.refusal[0] == '\0') return true;
    SetErrorMessage(settings.refusal);
    return false;
}

void AlsaDriver::ListSampleRates()
{
    ASIOSampleRate rates[kMaxSampleRates] = {};
    int32_t count = 0;
    for (uint32_t rate : kCommonRates)
        if (count < kMaxSampleRates &&
            device.TakesRate(pFormat->format, static_cast<uint32_t>(nChannels), rate))
            rates[count++] = rate;
    SetSampleRates(rates, count, nDeviceRate);
}

ASIOError AlsaDriver::canSampleRate(ASIOSampleRate sampleRate)
{
    if (!(sampleRate >= 1.0 && sampleRate <= kHighestRate) ||
        sampleRate != std::floor(sampleRate) || !device.IsOpen())
        return ASE_NoClock;
    return device.TakesRate(pFormat->format, static_cast<uint32_t>(nChannels),
                            static_cast<uint32_t>(sampleRate))
               ? ASE_OK
               : ASE_NoClock;
}

ASIOError AlsaDriver::ChangeSampleRate(ASIOSampleRate sampleRate)
{
    const auto rate = static_cast<uint32_t>(sampleRate);
    const bool wasWriting = writer.Running();
    if (wasWriting) writer.Stop();
    // The host's buffers keep their length, so the period must stay.
    snd_pcm_uframes_t period = nPeriodFrames;
    ASIOError result = ASE_OK;
    if (device.Configure(pFormat->format, static_cast<uint32_t>(nChannels), rate, &period, true) <
            0 ||
        (capture.IsOpen() && capture.ChangeRate(rate) < 0)) {
        period = nPeriodFrames;
        device.Configure(pFormat->format, static_cast<uint32_t>(nChannels), nDeviceRate, &period,
                         true);
        if (capture.IsOpen()) capture.ChangeRate(nDeviceRate);
        result = ASE_NoClock;
    } else {
        nDeviceRate = rate;
    }
    if (wasWriting && !writer.Start(WriterPlan())) {
        std::fprintf(stderr, "%s: no thread for the writer after the rate change\n", szKeyName);
        return ASE_HWMalfunction;
    }
    return result;
}

ASIOError AlsaDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks)
{
    const ASIOError result =
        DriverBase::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    if (result != ASE_OK) return result;
    if (!interleaver.Prepare(buffers, nChannels, bufferSize, pFormat->bytes)) {
        DriverBase::disposeBuffers();
        return ASE_NoMemory;
    }
    // The capture device is held only while the host has input buffers.
    capture.Close();
    if (buffers.InputSpan() == 0) return ASE_OK;
    const int opened =
        capture.Open(settings.captureDevice, pFormat->format, static_cast<uint32_t>(nInputs),
                     nDeviceRate, nPeriodFrames, pFormat->bytes, device);
    if (opened < 0) {
        std::fprintf(stderr, "%s: ALSA device \"%s\" cannot capture: %s\n", szKeyName,
                     settings.captureDevice, snd_strerror(opened));
        DriverBase::disposeBuffers();
        interleaver.Release();
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

ASIOError AlsaDriver::disposeBuffers()
{
    // The base stops a running writer before the buffers go.
    const ASIOError result = DriverBase::disposeBuffers();
    interleaver.Release();
    capture.Close();
    return result;
}

bool AlsaDriver::ReopenDevice()
{
    const bool capturing = capture.IsOpen();
    capture.Close();
    device.Close();
    if (device.Open(settings.device) < 0) return false;
    snd_pcm_uframes_t period = nPeriodFrames;
    if (device.Configure(pFormat->format, static_cast<uint32_t>(nChannels), nDeviceRate, &period,
                         true) < 0)
        return false;
    return !capturing ||
           capture.Open(settings.captureDevice, pFormat->format, static_cast<uint32_t>(nInputs),
                        nDeviceRate, nPeriodFrames, pFormat->bytes, device) >= 0;
}

ASIOError AlsaDriver::StartTransport()
{
    if (writer.DeviceLost() && !ReopenDevice()) {
        SetErrorMessage("the ALSA device is gone");
        return ASE_HWMalfunction;
    }
    // Asked here, on the host's thread, so that the writer never has to.
    const ASIOCallbacks& callbacks = Callbacks();
    bResyncWanted =
        callbacks.asioMessage != nullptr &&
        callbacks.asioMessage(kAsioSelectorSupported, kAsioResyncRequest, nullptr, nullptr) == 1;
    bResetWanted =
        callbacks.asioMessage != nullptr &&
        callbacks.asioMessage(kAsioSelectorSupported, kAsioResetRequest, nullptr, nullptr) == 1;
    writer.ClearUnderruns();
    capture.ClearOverruns();
    if (!writer.Start(WriterPlan())) {
        SetErrorMessage("no thread for the ALSA writer");
        return ASE_HWMalfunction;
    }
    return ASE_OK;
}

void AlsaDriver::StopTransport()
{
    if (!writer.Running()) return;
    writer.Stop();
    capture.Reset();
    const uint64_t underruns = writer.Underruns();
    if (underruns > 0)
        std::fprintf(stderr, "%s: %llu underruns recovered\n", szKeyName,
                     static_cast<unsigned long long>(underruns));
    const uint64_t overruns = capture.Overruns();
    if (overruns > 0)
        std::fprintf(stderr, "%s: %llu capture overruns recovered\n", szKeyName,
                     static_cast<unsigned long long>(overruns));
}

AlsaWriter::Plan AlsaDriver::WriterPlan()
{
    AlsaWriter::Plan plan = {};
    plan.device = &device;
    plan.source = this;
    plan.period = interleaver.Period();
    plan.frames = nPeriodFrames;
    plan.frameBytes = static_cast<size_t>(nChannels) * pFormat->bytes;
    plan.systemClock = settings.systemClock;
    plan.sampleRate = nDeviceRate;
    plan.driverName = szKeyName;
    return plan;
}

// Writer thread: the captured period first, into the half the host is
// about to be handed; an overrun is answered as an underrun is.
void AlsaDriver::RenderPeriod(uint64_t dueNs)
{
    if (capture.IsOpen() && capture.ReadInto(buffers, NextHalf(), device)) OnUnderrun();
    interleaver.Interleave(SwitchBuffers(dueNs));
}

// Writer thread.
void AlsaDriver::OnUnderrun()
{
    if (bResyncWanted) Callbacks().asioMessage(kAsioResyncRequest, 0, nullptr, nullptr);
}

// Writer thread.
void AlsaDriver::OnDeviceLost()
{
    if (bResetWanted) Callbacks().asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
}

HRESULT CreateAlsaDriver(REFCLSID clsid, IUnknown** object)
{
    char keyName[128];
    if (!FindAlsaDriverKey(clsid, keyName, sizeof keyName)) return CLASS_E_CLASSNOTAVAILABLE;
    AlsaDriver* driver = new (std::nothrow) AlsaDriver(clsid, keyName);
    if (driver == nullptr) return E_OUTOFMEMORY;
    if (!driver->OpenDevice()) {
        driver->Release();
        return E_FAIL;
    }
    *object = static_cast<IASIO*>(driver);
    return S_OK;
}
