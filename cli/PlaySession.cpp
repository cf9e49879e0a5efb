#include "cli/PlaySession.h"

#include "app/NoteTable.h"
#include "cli/DriverChoice.h"
#include "cli/DriverListing.h"
#include "cli/ExitStatus.h"
#include "cli/InterruptFlag.h"
#include "cli/PlayerWindows.h"
#include "cli/ProgressDisplay.h"
#include "gen/NoiseRequests.h"
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/ToneRequests.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/DriverSetup.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "host/SampleRateControl.h"
#include "log/DebugLog.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Ctrl-C is answered within this, plus the shutdown.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// A driver that has not switched buffers for this long has stopped: the
// signal would never end, and waiting longer would report nothing better.
constexpr auto kStallLimit = std::chrono::seconds(3);
// Switches after the one that ended the signal: the first may still be the
// ending switch completing, the second shows the last samples went out.
constexpr uint32_t kBuffersAfterEnd = 2;
constexpr uint32_t kBuffersAfterRateChange = 2;

void Report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Report(const char* format, ...)
{
    std::fputs("tonewright-play: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

class PlaySession {
public:
    explicit PlaySession(const PlayArguments& arguments) : m_args(arguments) {}
    ~PlaySession() { ShutDown(); }
    PlaySession(const PlaySession&) = delete;
    PlaySession& operator=(const PlaySession&) = delete;

    int Run();

private:
    int StartUp();
    int ApplyOptions();
    int Play();
    PlayOutcome Request();
    const std::atomic<bool>* PlayingFlag() const;
    int WaitUntilPlayed(const std::atomic<bool>& playing);
    int StatusIfStopped(ProgressDisplay& progress);
    int WaitForBuffers(uint32_t buffers);
    std::string Description() const;
    void ShutDown();

    const PlayArguments& m_args;
    double m_dFrequency = 0.0;
    CollectingCombo m_driverCombo;
    CollectingCombo m_outputCombo;
    PlayerMainWindow m_mainWindow;
    bool m_bSetupStands = false;
    bool m_bShutDown = false;
};

int PlaySession::Run()
{
    const int status = StartUp();
    if (m_args.command == PlayCommand::List) {
        if (status == kExitPlayed || m_bSetupStands || !m_driverCombo.Entries().empty())
            PrintDriverListing(stdout, m_driverCombo, m_outputCombo, m_bSetupStands);
        return status;
    }
    if (status != kExitPlayed) return status;
    if (const int signal = InterruptSignal(); signal != 0) {
        Report("interrupted before the signal started");
        return kExitSignalBase + signal;
    }
    return Play();
}

// The dialog's start-up, with the driver of --driver in place of the
// configured one; the options follow once the driver runs.
int PlaySession::StartUp()
{
    if (!CreateNoteArray()) {
        Report("Can't create note array - Exiting!!");
        return kExitHostFailure;
    }
    // Resolved before the log opens: the list read for it logs its own
    // enumeration, which belongs to the host's start-up alone.
    const DriverChoice choice = ResolveDriverChoice(m_args.driver);
    if (choice.exitStatus != 0) {
        Report("%s", choice.error.c_str());
        return choice.exitStatus;
    }
    DbgLogOpen();
    if (!ASIOHostInit(&m_driverCombo, choice.index)) {
        // The host fills the driver combo only when a driver opened; the
        // listing still shows what was tried.
        if (pAsioDriverList != nullptr && m_driverCombo.Entries().empty())
            FillDriverCombo(&m_driverCombo, -1);
        Report("Can't interface with an ASIO driver - Exiting!! (reasons in Dbg.Log)");
        return kExitHostFailure;
    }
    if (choice.index >= 0 && nCurrentDrvNum != choice.index)
        Report("driver %d did not open; using driver %d (%s) instead", choice.index, nCurrentDrvNum,
               m_driverCombo.Entries()[nCurrentDrvNum].c_str());
    if (!ASIOSelectDriver(&m_mainWindow, &m_outputCombo)) {
        Report("Can't interface with an ASIO driver - Exiting!! (reasons in Dbg.Log)");
        return kExitHostFailure;
    }
    m_bSetupStands = true;
    ASIOGetSampleRate();
    DbgLog("Completed app initialization.");
    return ApplyOptions();
}

int PlaySession::ApplyOptions()
{
    if (m_args.rate != 0) {
        if (!ASIOSetSampleRate(m_args.rate)) {
            Report("Can't set sample rate to requested value! (%u Hz; reasons in Dbg.Log)",
                   m_args.rate);
            return kExitRefused;
        }
        // A card may take the new rate at its next buffer; a signal armed
        // before that would begin at the old rate.
        if (const int status = WaitForBuffers(kBuffersAfterRateChange); status != kExitPlayed)
            return status;
    }
    if (m_args.pair >= 0) {
        // The host would log a pair it does not have and play on the old
        // one; the player must not claim to have played there.
        const int32_t pairs = static_cast<int32_t>(m_outputCombo.Entries().size());
        if (m_args.pair >= pairs) {
            Report("%s has %d output pair%s; there is no pair %d", pASIOBuffers->szDriverName,
                   pairs, pairs == 1 ? "" : "s", m_args.pair);
            return kExitHostFailure;
        }
        ASIOSelectOutputPair(m_args.pair);
    }
    return kExitPlayed;
}

int PlaySession::Play()
{
    if (m_args.command == PlayCommand::Note) {
        // The dialog plays a picked note from its edit text, the frequency
        // written with 11 decimals and read back.
        char text[32];
        FormatDecimal(text, g_pNoteFreqs[m_args.noteIndex], 11);
        m_dFrequency = std::strtod(text, nullptr);
    } else {
        m_dFrequency = m_args.frequency;
    }

    const PlayOutcome outcome = Request();
    const char* reason = outcome.reason != nullptr ? outcome.reason : "no reason given";
    if (outcome.status == PlayStatus::Refused) {
        Report("%s", reason);
        return kExitRefused;
    }
    if (outcome.status == PlayStatus::HostFailure) {
        Report("%s", reason);
        return kExitHostFailure;
    }
    const std::atomic<bool>* playing = PlayingFlag();
    if (playing == nullptr) {
        Report("no generator to follow");
        return kExitHostFailure;
    }
    const int status = WaitUntilPlayed(*playing);
    if (status == kExitPlayed) std::printf("Played %s\n", Description().c_str());
    return status;
}

PlayOutcome PlaySession::Request()
{
    switch (m_args.command) {
    case PlayCommand::Sine:
    case PlayCommand::Note:
        return PlaySineWav(m_dFrequency, m_args.seconds, m_args.attenuation);
    case PlayCommand::Sweep:
        return PlaySweepWav(m_args.freqStart, m_args.freqEnd, m_args.seconds, m_args.attenuation);
    case PlayCommand::Pink:
        return PlayPinkNoise(m_args.seconds, m_args.attenuation);
    case PlayCommand::White:
        return PlayWhiteNoise(m_args.seconds, m_args.attenuation);
    default:
        return {PlayStatus::Refused, "nothing to play"};
    }
}

// The flag the render path clears in the buffer where the signal ends.
const std::atomic<bool>* PlaySession::PlayingFlag() const
{
    switch (m_args.command) {
    case PlayCommand::Sine:
    case PlayCommand::Note:
        return pSineGenerator != nullptr ? &pSineGenerator->bTonePlaying : nullptr;
    case PlayCommand::Sweep:
        return pSineGenerator != nullptr ? &pSineGenerator->bSweepPlaying : nullptr;
    case PlayCommand::Pink:
        return pPinkNoiseGenerator != nullptr ? &pPinkNoiseGenerator->bPlaying : nullptr;
    case PlayCommand::White:
        return pWhiteNoiseGenerator != nullptr ? &pWhiteNoiseGenerator->bPlaying : nullptr;
    default:
        return nullptr;
    }
}

// Why the wait must end early, as an exit status; kExitPlayed to go on.
int PlaySession::StatusIfStopped(ProgressDisplay& progress)
{
    if (const int signal = InterruptSignal(); signal != 0) {
        progress.Finish();
        Report("interrupted; the signal was cut short");
        return kExitSignalBase + signal;
    }
    if (m_mainWindow.ResetRequested()) {
        progress.Finish();
        DbgLog("App received reset request!");
        Report("the driver asked for a reset; the signal was cut short. Run the command again.");
        return kExitHostFailure;
    }
    return kExitPlayed;
}

// Until the driver has switched that many more buffers.
int PlaySession::WaitForBuffers(uint32_t buffers)
{
    ProgressDisplay none(nullptr, 0.0);
    const uint32_t start = dwCountBuffers.load(std::memory_order_acquire);
    const Clock::time_point deadline = Clock::now() + kStallLimit;
    while (dwCountBuffers.load(std::memory_order_acquire) - start < buffers) {
        if (const int status = StatusIfStopped(none); status != kExitPlayed) return status;
        if (Clock::now() > deadline) {
            Report("the driver stopped switching buffers");
            return kExitHostFailure;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return kExitPlayed;
}

int PlaySession::WaitUntilPlayed(const std::atomic<bool>& playing)
{
    ProgressDisplay progress(ProgressDisplay::TerminalStream(), m_args.seconds);
    const double secondsPerBuffer = asioDriverInfo.sampleRate > 0.0
                                        ? asioDriverInfo.preferredSize / asioDriverInfo.sampleRate
                                        : 0.0;
    const uint32_t countAtStart = dwCountBuffers.load(std::memory_order_acquire);
    uint32_t lastCount = countAtStart;
    Clock::time_point lastSwitch = Clock::now();
    bool ended = false;
    uint32_t countAtEnd = 0;

    while (true) {
        if (const int status = StatusIfStopped(progress); status != kExitPlayed) return status;
        // The count is read after the flag, so that it cannot predate the
        // switch that cleared it.
        if (!ended && !playing.load(std::memory_order_acquire)) {
            ended = true;
            countAtEnd = dwCountBuffers.load(std::memory_order_acquire);
        }
        const uint32_t count = dwCountBuffers.load(std::memory_order_acquire);
        if (ended && count - countAtEnd >= kBuffersAfterEnd) break;
        if (count != lastCount) {
            lastCount = count;
            lastSwitch = Clock::now();
        } else if (Clock::now() - lastSwitch > kStallLimit) {
            progress.Finish();
            Report("the driver stopped switching buffers; the signal was not played to its end");
            return kExitHostFailure;
        }
        progress.Update((count - countAtStart) * secondsPerBuffer);
        std::this_thread::sleep_for(kPollInterval);
    }
    progress.Update(m_args.seconds);
    progress.Finish();
    return kExitPlayed;
}

std::string PlaySession::Description() const
{
    char what[160];
    switch (m_args.command) {
    case PlayCommand::Note:
        std::snprintf(what, sizeof what, "note %s (%.11f Hz)", m_args.noteName.c_str(),
                      m_dFrequency);
        break;
    case PlayCommand::Sweep:
        std::snprintf(what, sizeof what, "sweep %g to %g Hz", m_args.freqStart, m_args.freqEnd);
        break;
    case PlayCommand::Pink:
        std::snprintf(what, sizeof what, "pink noise");
        break;
    case PlayCommand::White:
        std::snprintf(what, sizeof what, "white noise");
        break;
    default:
        std::snprintf(what, sizeof what, "sine %g Hz", m_dFrequency);
        break;
    }
    const int32_t pair = asioDriverInfo.nSelectedPair.load();
    const auto& pairs = m_outputCombo.Entries();
    const std::string pairName =
        pair >= 0 && pair < static_cast<int32_t>(pairs.size()) ? pairs[pair] : "?";
    char text[512];
    std::snprintf(text, sizeof text, "%s, %g s at -%u dB on %s, pair %d (%s), %.0f Hz", what,
                  m_args.seconds, m_args.attenuation, pASIOBuffers->szDriverName, pair,
                  pairName.c_str(), asioDriverInfo.sampleRate);
    return text;
}

// The dialog's order: note table, then the host (driver stopped before the
// generators go, the driver list last), then the log with its trailer.
void PlaySession::ShutDown()
{
    if (m_bShutDown) return;
    m_bShutDown = true;
    FreeNoteArray();
    ASIOHostShutdown(true);
    DbgLogClose();
}

} // namespace

int RunPlaySession(const PlayArguments& arguments)
{
    PlaySession session(arguments);
    return session.Run();
}
