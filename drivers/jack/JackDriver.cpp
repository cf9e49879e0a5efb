#include "drivers/jack/JackDriver.h"

#include "drivers/jack/JackLibraryPin.h"
#include "platform/Registry.h"

#include <cstdio>
#include <new>

namespace {

void DropJackError(const char*) {}

} // namespace

JackDriver::JackDriver(REFCLSID clsid) : DriverBase(clsid, kJackDriverName) {}

JackDriver::~JackDriver()
{
    // The last Release has deactivated the client already. Closing it also
    // ends its notification thread, so no callback can outlive the object.
    if (pClient != nullptr) jack_client_close(pClient);
    pClient = nullptr;
}

bool JackDriver::OpenClient()
{
    ReadJackSettings(kJackDriverName, &settings);
    if (settings.refusal[0] != '\0') return true;
    jack_status_t status = static_cast<jack_status_t>(0);
    // Without a server libjack writes several lines of its attempts; the
    // line below says it once. Its own handler is back before this returns,
    // so none of this module's code stays behind in libjack.
    void (*const savedError)(const char*) = jack_error_callback;
    jack_set_error_function(DropJackError);
    pClient = jack_client_open(kJackClientName, JackNoStartServer, &status);
    jack_set_error_function(savedError);
    if (pClient == nullptr) {
        std::fprintf(stderr, "%s: no JACK server can be reached (status 0x%x)\n", kJackDriverName,
                     static_cast<unsigned>(status));
        return false;
    }
    nServerFrames.store(jack_get_buffer_size(pClient), std::memory_order_relaxed);
    nServerRate.store(jack_get_sample_rate(pClient), std::memory_order_relaxed);
    const jack_nframes_t frames = nServerFrames.load(std::memory_order_relaxed);
    const jack_nframes_t rate = nServerRate.load(std::memory_order_relaxed);
    if (frames == 0 || frames > static_cast<jack_nframes_t>(INT32_MAX) || rate == 0) {
        std::fprintf(stderr, "%s: the JACK server reports %u frames at %u Hz\n", kJackDriverName,
                     frames, rate);
        return false;
    }
    if (!ports.Register(pClient, settings.channels, kJackDriverName) ||
        !inputs.Register(pClient, settings.inputs, kJackDriverName))
        return false;

    // Callbacks can only be set while the client is inactive.
    if (jack_set_process_callback(pClient, OnProcess, this) != 0 ||
        jack_set_buffer_size_callback(pClient, OnBufferSize, this) != 0 ||
        jack_set_sample_rate_callback(pClient, OnSampleRate, this) != 0 ||
        jack_set_xrun_callback(pClient, OnXrun, this) != 0) {
        std::fprintf(stderr, "%s: the JACK client refuses its callbacks\n", kJackDriverName);
        return false;
    }
    jack_on_shutdown(pClient, OnShutdown, this);

    channels.Describe(false, ports.Count(), ASIOSTFloat32LSB, "Out");
    channels.Describe(true, inputs.Count(), ASIOSTFloat32LSB, "In");
    const auto size = static_cast<int32_t>(frames);
    SetBufferSizes(size, size, size, 0);
    const ASIOSampleRate serverRate = rate;
    SetSampleRates(&serverRate, 1, serverRate);
    SetLatencies(0, static_cast<int32_t>(ports.PlaybackLatency(pClient, settings.autoConnect)));
    return true;
}

bool JackDriver::Open()
{
    if (settings.refusal[0] == '\0') return true;
    SetErrorMessage(settings.refusal);
    return false;
}

ASIOError JackDriver::getLatencies(int32_t* inputLatency, int32_t* outputLatency)
{
    // A client whose server is gone may touch nothing but jack_client_close.
    if (!bServerGone.load(std::memory_order_acquire) && pClient != nullptr)
        SetLatencies(0, static_cast<int32_t>(ports.PlaybackLatency(pClient, settings.autoConnect)));
    return DriverBase::getLatencies(inputLatency, outputLatency);
}

ASIOError JackDriver::createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks)
{
    const ASIOError result =
        DriverBase::createBuffers(bufferInfos, numChannels, bufferSize, callbacks);
    if (result != ASE_OK) return result;
    ports.Attach(buffers);
    bResetSent.store(false, std::memory_order_relaxed);
    pResetTarget.store(callbacks->asioMessage, std::memory_order_release);
    return ASE_OK;
}

ASIOError JackDriver::disposeBuffers()
{
    pResetTarget.store(nullptr, std::memory_order_release);
    // The base stops a running client before the buffers go.
    const ASIOError result = DriverBase::disposeBuffers();
    ports.Detach();
    return result;
}

ASIOError JackDriver::StartTransport()
{
    if (bServerGone.load(std::memory_order_acquire)) {
        SetErrorMessage("the JACK server has shut down");
        return ASE_HWMalfunction;
    }
    bArmed.store(true, std::memory_order_release);
    if (jack_activate(pClient) != 0) {
        bArmed.store(false, std::memory_order_release);
        SetErrorMessage("the JACK client cannot be activated");
        return ASE_HWMalfunction;
    }
    if (settings.autoConnect) {
        ports.ConnectToPlayback(pClient, kJackDriverName);
        inputs.ConnectToCapture(pClient, kJackDriverName, settings.capturePorts);
    }
    return ASE_OK;
}

void JackDriver::StopTransport()
{
    bArmed.store(false, std::memory_order_release);
    if (!bServerGone.load(std::memory_order_acquire)) jack_deactivate(pClient);
    // Pairs with the last cycle's count, so that what that cycle touched is
    // done before the host frees the buffers.
    (void)qwCycles.load(std::memory_order_acquire);
    const uint64_t xruns = Xruns();
    const uint64_t mismatched = MismatchedCycles();
    if (xruns > 0 || mismatched > 0)
        std::fprintf(stderr, "%s: %llu xruns, %llu cycles of another length played as silence\n",
                     kJackDriverName, static_cast<unsigned long long>(xruns),
                     static_cast<unsigned long long>(mismatched));
}

// Process thread: no allocation, no lock, no log line, no system call.
int JackDriver::OnProcess(jack_nframes_t frames, void* self)
{
    static_cast<JackDriver*>(self)->Process(frames);
    return 0;
}

void JackDriver::Process(jack_nframes_t frames)
{
    if (!bArmed.load(std::memory_order_acquire)) {
        ports.Silence(frames);
        return;
    }
    if (frames != nServerFrames.load(std::memory_order_relaxed)) {
        // The host's halves have the old length; the reset request from the
        // buffer size callback will rebuild them.
        ports.Silence(frames);
        qwMismatched.fetch_add(1, std::memory_order_relaxed);
    } else {
        inputs.CopyIn(buffers, NextHalf(), frames);
        ports.CopyHalf(SwitchBuffers(), frames);
    }
    qwCycles.fetch_add(1, std::memory_order_release);
}

int JackDriver::OnBufferSize(jack_nframes_t frames, void* self)
{
    auto* driver = static_cast<JackDriver*>(self);
    // Also called on every activation with the size in force.
    if (frames != driver->nServerFrames.load(std::memory_order_relaxed)) driver->RequestReset();
    return 0;
}

int JackDriver::OnSampleRate(jack_nframes_t rate, void* self)
{
    auto* driver = static_cast<JackDriver*>(self);
    // Also called when the callback is set, with the rate in force.
    if (rate != driver->nServerRate.load(std::memory_order_relaxed)) driver->RequestReset();
    return 0;
}

int JackDriver::OnXrun(void* self)
{
    static_cast<JackDriver*>(self)->qwXruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

void JackDriver::OnShutdown(void* self)
{
    auto* driver = static_cast<JackDriver*>(self);
    // Written before the reset request is published, so the host reads it whole.
    driver->SetErrorMessage("the JACK server stopped while playing");
    driver->bServerGone.store(true, std::memory_order_release);
    driver->RequestReset();
}

void JackDriver::RequestReset()
{
    const MessageFunction message = pResetTarget.load(std::memory_order_acquire);
    if (message == nullptr || bResetSent.exchange(true, std::memory_order_acq_rel)) return;
    message(kAsioResetRequest, 0, nullptr, nullptr);
}

HRESULT CreateJackDriver(REFCLSID clsid, IUnknown** object)
{
    // The module keeps a registry of its own; settings changed since it was
    // loaded must be seen by this creation.
    RegistryReload();
    KeepJackLibraryLoaded();
    JackDriver* driver = new (std::nothrow) JackDriver(clsid);
    if (driver == nullptr) return E_OUTOFMEMORY;
    if (!driver->OpenClient()) {
        driver->Release();
        return E_FAIL;
    }
    *object = static_cast<IASIO*>(driver);
    return S_OK;
}
