// The JACK driver: plays the host's buffers through a JACK server (jackd, or
// PipeWire's JACK server) as one JACK client with a port per channel, output
// and input. The server's clock drives it: each process cycle is one buffer
// switch; the input ports' samples go into the half the host is handed, and
// the half the host has just filled goes straight into the output ports.
// The server's buffer size and rate are the only ones offered.
#pragma once

#include "drivers/jack/JackInputPorts.h"
#include "drivers/jack/JackOutputPorts.h"
#include "drivers/jack/JackSettings.h"
#include "drivers/kit/DriverBase.h"

#include <atomic>
#include <cstdint>
#include <jack/jack.h>

// The driver's registry key and the name it reports.
constexpr const char* kJackDriverName = "JACK";
// The name the client asks the server for; the server may add a suffix.
constexpr const char* kJackClientName = "tonewright";

class JackDriver final : public DriverBase {
public:
    explicit JackDriver(REFCLSID clsid);
    ~JackDriver() override;

    // Opens the client on the default server (JACK_DEFAULT_SERVER, as every
    // JACK client does), never starting one, and registers the ports; false,
    // with one line on stderr, when no server can be reached. A refused
    // value of the key opens nothing: init says it.
    bool OpenClient();

    // Asked of the server each time: the ports' latency follows their
    // connections.
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;

    // Server xruns, and cycles whose length was not the buffer size (played
    // as silence), since the client was opened.
    uint64_t Xruns() const { return qwXruns.load(std::memory_order_relaxed); }
    uint64_t MismatchedCycles() const { return qwMismatched.load(std::memory_order_relaxed); }

protected:
    // Refused, naming the value, when a value of the driver's key is out of range.
    bool Open() override;
    // Activates the client, then connects the ports when AutoConnect is set.
    ASIOError StartTransport() override;
    // Deactivates the client; JACK returns once no process cycle runs.
    void StopTransport() override;

private:
    // JACK's process thread.
    static int OnProcess(jack_nframes_t frames, void* self);
    // JACK's notification threads.
    static int OnBufferSize(jack_nframes_t frames, void* self);
    static int OnSampleRate(jack_nframes_t rate, void* self);
    static int OnXrun(void* self);
    static void OnShutdown(void* self);

    void Process(jack_nframes_t frames);
    // Tells the host, once per set of buffers, that it must set the driver up
    // again; nothing before createBuffers or after disposeBuffers.
    void RequestReset();

    using MessageFunction = int32_t (*)(int32_t selector, int32_t value, void* message,
                                        double* opt);

    jack_client_t* pClient = nullptr;
    JackSettings settings = {};
    JackOutputPorts ports;
    JackInputPorts inputs;
    // The server's figures when the client opened; any other is a change.
    std::atomic<jack_nframes_t> nServerFrames{0};
    std::atomic<jack_nframes_t> nServerRate{0};

    std::atomic<bool> bArmed{false}; // publishes buffers and callbacks to the process thread
    std::atomic<uint64_t> qwCycles{0};
    std::atomic<bool> bServerGone{false};
    std::atomic<MessageFunction> pResetTarget{nullptr};
    std::atomic<bool> bResetSent{false};
    std::atomic<uint64_t> qwXruns{0};
    std::atomic<uint64_t> qwMismatched{0};
};

// The module's creation function: E_FAIL when no JACK server can be
// reached, so that the host falls back to another driver.
HRESULT CreateJackDriver(REFCLSID clsid, IUnknown** object);
