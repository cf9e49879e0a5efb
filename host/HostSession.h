// The one way a front end without a dialog drives the host: start-up in the
// dialog's order (note table, debug log, driver list and driver, driver
// setup), one play call per signal with its outcome, what is playing and how
// many buffers have switched, a description of the open driver, and the
// shutdown in the dialog's order. Or, for a render to a file, start-up on the
// host's own card without a clock, the same play call, and the render.
// A capture of one input pair, asked for before start-up, records from the
// first switch after the next play call to a tail after the signal.
// User-interface thread; one per process.
#pragma once

#include "host/PlayOutcome.h"
#include "host/SessionWindows.h"
#include "platform/AudioFileWriter.h"

#include <cstdint>
#include <string>
#include <vector>

class OfflineCard;
class HostCapture;

enum class Signal { Sine, Sweep, Pink, White };

struct SignalRequest {
    Signal signal = Signal::Sine;
    double frequency = 0.0;    // sine; the sweep's start
    double endFrequency = 0.0; // sweep
    double seconds = 0.5;
    uint32_t attenuation = 12; // dB
};

// A registered driver as users name it: its registry key and its description.
struct InstalledDriver {
    std::string keyName;
    std::string description;
};

enum class SessionStart {
    Started,
    NoNoteTable, // "Can't create note array - Exiting!!"
    NoDriver,    // no driver opened, or its setup failed
};

// The open driver as its setup found it.
struct DriverDescription {
    std::string name;
    std::vector<std::string> pairs;      // the output pairs' labels, by pair index
    std::vector<std::string> inputPairs; // the input pairs' labels ("In 1 / 2"), by pair index
    int32_t selectedPair = 0;
    double sampleRate = 0.0;
    int32_t bufferFrames = 0;
    const char* sampleType = "unknown";              // "ASIOSTInt16LSB" ... for the accepted types
    SampleEncoding encoding = SampleEncoding::Int16; // the same, as a file holds it
};

// One input pair recorded around the next play call.
struct CaptureRequest {
    int32_t inputPair = 0;
    std::string path;         // a WAV file in the card's format; empty for none
    bool keepSamples = false; // the samples as doubles in the result too
    double tailSeconds = 0.5; // recorded after the signal has ended, for the latency
};

enum class CaptureEnd {
    Completed,   // the tail after the signal has passed
    Stopped,     // the driver stopped first; the file holds what came
    FileFailed,  // the file could not be written; the error says why
    NotCaptured, // never started, or called off with its request
};

struct CaptureResult {
    CaptureEnd end = CaptureEnd::NotCaptured;
    uint64_t frames = 0;
    uint64_t lostBuffers = 0; // switches the ring had no room for; silence in their place
    // Frames captured before the switch that played the signal's first
    // buffer: a switch may come between the capture's start and the signal's.
    uint64_t signalFrame = 0;
    std::string error;
    std::vector<double> left, right; // full scale 1.0, when asked for
};

// The host's own card for an offline render, and what it may be.
struct OfflineSettings {
    SampleEncoding encoding = SampleEncoding::Int16;
    uint32_t sampleRate = 48000;
    int32_t channels = 2;                 // an even number: the host plays pairs
    int32_t bufferFrames = kBufferFrames; // a card's own, for the very samples it got

    static constexpr uint32_t kLowestRate = 8000;
    static constexpr uint32_t kHighestRate = 384000;
    static constexpr int32_t kMaxChannels = 32;
    static constexpr int32_t kBufferFrames = 256;
    static constexpr int32_t kMaxBufferFrames = 8192;
};

enum class RenderEnd {
    Ended,      // the signal was rendered to its end
    Stopped,    // the watcher stopped it; the file holds what was rendered
    FileFailed, // the file could not be written; the reason is given
};

struct RenderResult {
    RenderEnd end;
    double seconds; // of audio in the file
    std::string error;
};

// Asked every so often during a render, with the seconds rendered so far.
class RenderWatcher {
public:
    // False stops the render.
    virtual bool KeepGoing(double renderedSeconds) = 0;

protected:
    ~RenderWatcher() = default;
};

class HostSession {
public:
    HostSession() = default;
    ~HostSession() { ShutDown(); }
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // The installed drivers in index order, read from the registry without
    // opening any. Call before StartUp: its own reading of the list belongs
    // in the debug log.
    static std::vector<InstalledDriver> InstalledDrivers();

    // The debug log in the user's state folder and the configuration file in
    // the user's configuration folder (see platform/UserFolders.h) instead of
    // the working directory. Before StartUp.
    static void UseUserFolders();
    // The full path of the debug log, for messages that send the user there.
    static std::string LogPath();

    // requestedDriver -1 lets the configuration file decide, and a driver
    // that does not open falls back to the others, as in the dialog; a
    // driver asked for by index opens or start-up fails. The configuration
    // file is only read: neither a one-off choice nor a fallback becomes the
    // configured driver.
    SessionStart StartUp(int32_t requestedDriver);
    // The driver combo as start-up filled it: one entry per driver, "*<name>
    // N/A" for those that failed; filled even when no driver opened.
    const std::vector<std::string>& DriverEntries() const { return m_driverCombo.Entries(); }
    // The index of the driver that opened, -1 when none did.
    int32_t OpenDriver() const { return m_driverCombo.Selection(); }
    bool SetupStands() const { return m_bSetupStands; }
    // The registry key name of driver index; "" for none.
    std::string DriverKeyName(int32_t index) const;
    // Why driver index cannot be used, as the host's driver list knows it
    // after start-up; "" while nothing is known against it.
    std::string DriverFailure(int32_t index) const;
    // The registered drivers the list left out, one line each.
    std::vector<std::string> DriverNotes() const;

    // Start-up for a render: the note table, then the host's own card
    // queried and set up as any driver, save the wait for buffer switches.
    // No debug log, driver list or configuration file.
    SessionStart StartOffline(const OfflineSettings& settings);
    // After Play armed signal on the offline card: the card's buffer
    // switches one after another, from the next one to the one in which the
    // signal ends, every output channel written to path (WAV, or FLAC for a
    // name ending in ".flac").
    RenderResult RenderToFile(const char* path, Signal signal, RenderWatcher& watcher);
    // The same render kept as samples of the first pair, full scale 1.0, as
    // a capture gives them: the plan a capture is measured against.
    RenderResult RenderToSamples(Signal signal, std::vector<double>& left,
                                 std::vector<double>& right);
    // Noise requests from now on take seed in place of the clock: the same
    // request gives the same samples, played or rendered.
    void SetNoiseSeed(uint32_t seed);

    // Before StartUp: the driver setup makes buffers for the pair, and the
    // next Play records it. Without it, nothing of the host changes.
    void RequestCapture(const CaptureRequest& request);
    // After StartUp: empty when the capture can run, else why not.
    std::string CaptureProblem() const;
    // The tail after the signal has passed (or the capture was called off).
    bool CaptureEnded() const;
    // Waits for the file and gives what was captured; a capture still
    // running is called off first.
    CaptureResult FinishCapture();

    bool SetSampleRate(uint32_t rate);
    // The card's rate as the driver tells it now, in whole hertz; 0 when it
    // cannot tell.
    int32_t SampleRate();
    // False for a pair the card does not have.
    bool SelectPair(int32_t pair);
    PlayOutcome Play(const SignalRequest& request);
    // The generator's flag: set from the arming until the switch that ends it.
    bool IsPlaying(Signal signal) const;
    uint32_t BuffersSwitched() const;
    // True once after the driver asked for a reset (the signal may have been
    // cut), logged as the dialog logs it.
    bool TakeResetRequest();
    // The driver's own error text now ("" when it gives none), for saying
    // why it asked for a reset.
    std::string DriverErrorText() const;
    // Ends the signal without a click: it falls to zero within 10 ms of the
    // card's frames, then the outputs stay silent until the shutdown.
    void FadeOut();
    bool FadedOut() const;
    // Stops the driver ahead of the shutdown, so that the run can be judged:
    // the driver's error text then, "" when it has nothing against the run (a
    // driver's text is cleared by a good init; the virtual card sets it when
    // a take could not be written whole).
    std::string StopDriver();
    DriverDescription Describe() const;
    // Of the usual rates (22050 to 192000 Hz), those the card accepts.
    std::vector<uint32_t> AcceptedRates() const;

    // Note table, then the host (driver stopped before the generators go,
    // the driver list last), then the log with its trailer. Once.
    void ShutDown();

private:
    PlayOutcome PlayRequest(const SignalRequest& request);
    // The offline card's switches until the signal ends or the watcher
    // stops it, each switch's interleaved frames handed to take; false from
    // take ends the render as failed.
    template <class Take> RenderEnd Render(Signal signal, RenderWatcher* watcher, Take take);

    CollectingCombo m_driverCombo;
    CollectingCombo m_outputCombo;
    SessionMainWindow m_mainWindow;
    bool m_bStarted = false;
    bool m_bSetupStands = false;
    bool m_bResetTaken = false;
    OfflineCard* m_pOfflineCard = nullptr;
    SampleEncoding m_offlineEncoding = SampleEncoding::Int16;
    HostCapture* m_pCapture = nullptr;
    std::string m_captureFailure; // the reason a play call gives when the capture cannot start
};
