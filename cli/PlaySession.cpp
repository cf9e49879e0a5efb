#include "cli/PlaySession.h"

#include "cli/DriverChoice.h"
#include "cli/DriverListing.h"
#include "cli/ExitStatus.h"
#include "cli/InterruptFlag.h"
#include "cli/ProgressDisplay.h"
#include "gen/NoteTable.h"
#include "host/HostSession.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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
// An interrupted signal's fade lasts 10 ms; a driver that needs longer to
// render it has stopped.
constexpr auto kFadeLimit = std::chrono::seconds(1);

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

// A render's progress line, shown only once the render has taken a second:
// most end well before. Ctrl-C stops the render.
class RenderProgress final : public RenderWatcher {
public:
    explicit RenderProgress(double totalSeconds)
        : m_start(Clock::now()), m_dTotalSeconds(totalSeconds)
    {
    }

    bool KeepGoing(double renderedSeconds) override
    {
        if (InterruptSignal() != 0) return false;
        if (!m_display && Clock::now() - m_start > std::chrono::seconds(1))
            m_display.emplace(ProgressDisplay::TerminalStream(), m_dTotalSeconds);
        if (m_display) m_display->Update(renderedSeconds);
        return true;
    }

    // The line ends at the seconds the file holds.
    void Finish(double renderedSeconds)
    {
        if (!m_display) return;
        m_display->Update(renderedSeconds);
        m_display->Finish();
    }

private:
    Clock::time_point m_start;
    double m_dTotalSeconds;
    std::optional<ProgressDisplay> m_display;
};

// What helps when a driver cannot be used, where one thing usually does.
const char* HintFor(const std::string& keyName)
{
    std::string lower;
    for (char c : keyName)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("jack", 0) == 0)
        return "start a JACK server first (jackd, or qjackctl), or run tonewright-play under "
               "pw-jack on a PipeWire desktop";
    if (lower.rfind("alsa", 0) == 0)
        return "check the device named by the driver's \"Device\" value (aplay -L lists them)";
    return nullptr;
}

class PlaySession {
public:
    PlaySession(const PlayArguments& arguments, PlayedCapture* verify)
        : m_args(arguments), m_pVerify(verify)
    {
    }

    int Run();

private:
    bool Offline() const { return !m_args.output.empty(); }
    bool Capturing() const { return !m_args.capture.empty() || m_pVerify != nullptr; }
    int StartUp();
    int StartOffline();
    void ReportUnusableDrivers();
    int ApplyOptions();
    int Play();
    int Stop(int status);
    void FadeOut();
    int WaitUntilPlayed(Signal signal);
    int RenderUntilPlayed(Signal signal);
    int StatusIfStopped(ProgressDisplay& progress);
    int WaitForBuffers(uint32_t buffers);
    int WaitForCapture();
    std::string SignalWords() const;
    std::string Description() const;

    const PlayArguments& m_args;
    PlayedCapture* const m_pVerify;
    double m_dFrequency = 0.0;
    bool m_bPlayed = false;
    HostSession m_session;
};

int PlaySession::Run()
{
    const int status = StartUp();
    if (m_args.command == PlayCommand::List) {
        if (status == kExitPlayed || m_session.SetupStands() || !m_session.DriverEntries().empty())
            PrintDriverListing(stdout, m_session);
        return status;
    }
    if (status != kExitPlayed) return Stop(status);
    if (const int signal = InterruptSignal(); signal != 0) {
        Report("interrupted before the signal started");
        return Stop(kExitSignalBase + signal);
    }
    return Stop(Play());
}

// The dialog's start-up, with the driver of --driver in place of the
// configured one; the options follow once the driver runs.
int PlaySession::StartUp()
{
    if (!m_args.takes.empty()) {
        // Takes that could not be written would end the run after the
        // signal; a folder that is not there is said before it.
        struct stat folder {};
        const int error = stat(m_args.takes.c_str(), &folder) != 0         ? errno
                          : !S_ISDIR(folder.st_mode)                       ? ENOTDIR
                          : access(m_args.takes.c_str(), W_OK | X_OK) != 0 ? errno
                                                                           : 0;
        if (error != 0) {
            Report("--takes %s: %s", Shown(m_args.takes).c_str(), std::strerror(error));
            return kExitHostFailure;
        }
        setenv("TONEWRIGHT_TAKES", m_args.takes.c_str(), 1);
    }
    // Resolved before the session opens the log: the list read for it logs
    // its own enumeration, which belongs to the host's start-up alone.
    if (Offline()) return StartOffline();
    const DriverChoice choice = ResolveDriverChoice(m_args.driver);
    if (choice.exitStatus != 0) {
        Report("%s", choice.error.c_str());
        return choice.exitStatus;
    }
    if (Capturing()) {
        CaptureRequest capture;
        capture.inputPair = m_args.inputPair;
        capture.path = m_pVerify != nullptr ? m_args.keep : m_args.capture;
        capture.keepSamples = m_pVerify != nullptr;
        m_session.RequestCapture(capture);
    }
    const SessionStart started = m_session.StartUp(choice.index);
    // The driver runs now: an interruption fades the signal out and ends in order.
    InterruptInOrder();
    if (started == SessionStart::NoNoteTable) {
        Report("no memory for the note table");
        return kExitHostFailure;
    }
    ReportUnusableDrivers();
    const int32_t opened = m_session.OpenDriver();
    if (choice.index >= 0 && opened != choice.index) {
        // Asked for by name: playing on another driver would pass a test of this one.
        const std::string key = m_session.DriverKeyName(choice.index);
        Report("driver %d (%s) did not open; nothing was played", choice.index, Shown(key).c_str());
        if (const char* hint = HintFor(key)) Report("%s", hint);
        return kExitHostFailure;
    }
    if (started != SessionStart::Started) {
        if (m_session.DriverEntries().empty())
            Report("%s", NoDriverRegistered().c_str());
        else if (const std::string why = m_session.DriverErrorText(); !why.empty() && opened >= 0)
            Report("driver %d (%s) cannot be set up: %s", opened,
                   Shown(m_session.DriverKeyName(opened)).c_str(), why.c_str());
        Report("no driver could be used; the debug log says more: %s",
               HostSession::LogPath().c_str());
        return kExitHostFailure;
    }
    return ApplyOptions();
}

// The render's card made to the options, after the checks only this front
// end can make before anything starts.
int PlaySession::StartOffline()
{
    OfflineSettings settings;
    settings.encoding = m_args.format;
    if (m_args.rate != 0) settings.sampleRate = m_args.rate;
    if (m_args.channels != 0) settings.channels = static_cast<int32_t>(m_args.channels);
    if (settings.channels % 2 != 0 || settings.channels > OfflineSettings::kMaxChannels) {
        Report("--channels takes an even number from 2 to %d", OfflineSettings::kMaxChannels);
        return kExitUsage;
    }
    if (settings.sampleRate < OfflineSettings::kLowestRate ||
        settings.sampleRate > OfflineSettings::kHighestRate) {
        Report("--rate takes %u to %u Hz for a file", OfflineSettings::kLowestRate,
               OfflineSettings::kHighestRate);
        return kExitUsage;
    }
    const AudioFileFormat format = {settings.encoding, settings.channels, settings.sampleRate};
    if (const char* refusal = AudioFileWriter::Refusal(m_args.output.c_str(), format)) {
        Report("%s: %s", Shown(m_args.output).c_str(), refusal);
        return kExitUsage;
    }
    const SessionStart started = m_session.StartOffline(settings);
    // From here an interruption ends the render in order: a valid, shorter file.
    InterruptInOrder();
    if (started == SessionStart::NoNoteTable) {
        Report("no memory for the note table");
        return kExitHostFailure;
    }
    if (started != SessionStart::Started) {
        Report("the offline card could not be set up");
        return kExitHostFailure;
    }
    return ApplyOptions();
}

// Each driver the host knows a reason against, once, and the registered
// drivers its list left out.
void PlaySession::ReportUnusableDrivers()
{
    for (const std::string& note : m_session.DriverNotes())
        Report("%s", note.c_str());
    const auto count = static_cast<int32_t>(m_session.DriverEntries().size());
    for (int32_t i = 0; i < count; ++i)
        if (const std::string why = m_session.DriverFailure(i); !why.empty())
            Report("driver %d (%s) cannot be used: %s", i,
                   Shown(m_session.DriverKeyName(i)).c_str(), why.c_str());
}

int PlaySession::ApplyOptions()
{
    // The offline card was made at its rate.
    if (m_args.rate != 0 && !Offline()) {
        if (!m_session.SetSampleRate(m_args.rate)) {
            std::string rates;
            for (uint32_t rate : m_session.AcceptedRates())
                rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
            Report("the card does not take %u Hz (it takes %s); the debug log says more: %s",
                   m_args.rate, rates.empty() ? "no usual rate" : rates.c_str(),
                   HostSession::LogPath().c_str());
            return kExitRefused;
        }
        // A card may take the new rate at its next buffer; a signal armed
        // before that would begin at the old rate.
        if (const int status = WaitForBuffers(kBuffersAfterRateChange); status != kExitPlayed)
            return status;
    }
    if (m_args.pair >= 0 && !m_session.SelectPair(m_args.pair)) {
        // The player must not claim to have played on a pair it does not have.
        const DriverDescription driver = m_session.Describe();
        const int32_t pairs = static_cast<int32_t>(driver.pairs.size());
        Report("%s has %d output pair%s; there is no pair %d", driver.name.c_str(), pairs,
               pairs == 1 ? "" : "s", m_args.pair);
        return kExitHostFailure;
    }
    if (Capturing()) {
        if (const std::string problem = m_session.CaptureProblem(); !problem.empty()) {
            Report("cannot capture input pair %d of %s: %s", m_args.inputPair,
                   m_session.Describe().name.c_str(), problem.c_str());
            return kExitHostFailure;
        }
    }
    if (m_pVerify != nullptr) {
        m_pVerify->card = m_session.Describe();
        // The plan is rendered offline with the card's own buffer size.
        if (m_pVerify->card.bufferFrames > OfflineSettings::kMaxBufferFrames) {
            Report("verify takes buffers of up to %d frames; the card has %d",
                   OfflineSettings::kMaxBufferFrames, m_pVerify->card.bufferFrames);
            return kExitHostFailure;
        }
    }
    return kExitPlayed;
}

int PlaySession::Play()
{
    const SignalRequest request = RequestFor(m_args);
    m_dFrequency = request.frequency;
    if (m_pVerify != nullptr) {
        // The plan must hold the very noise that was played.
        m_pVerify->seed = m_args.hasSeed ? m_args.seed : std::random_device{}();
        m_session.SetNoiseSeed(m_pVerify->seed);
        m_pVerify->signal = SignalWords();
    } else if (m_args.hasSeed) {
        m_session.SetNoiseSeed(m_args.seed);
    }
    const PlayOutcome outcome = m_session.Play(request);
    const char* reason = outcome.words != nullptr    ? outcome.words
                         : outcome.reason != nullptr ? outcome.reason
                                                     : "no reason given";
    if (outcome.status == PlayStatus::Refused) {
        Report("%s", reason);
        return kExitRefused;
    }
    if (outcome.status == PlayStatus::HostFailure) {
        Report("%s", reason);
        return kExitHostFailure;
    }
    if (Offline()) return RenderUntilPlayed(request.signal);
    const int status = WaitUntilPlayed(request.signal);
    if (status == kExitPlayed) m_bPlayed = true;
    if (status != kExitPlayed || !Capturing()) return status;
    return WaitForCapture();
}

// Until the tail after the signal has passed; then the file is complete.
int PlaySession::WaitForCapture()
{
    ProgressDisplay none(nullptr, 0.0);
    uint32_t lastCount = m_session.BuffersSwitched();
    Clock::time_point lastSwitch = Clock::now();
    while (!m_session.CaptureEnded()) {
        if (const int status = StatusIfStopped(none); status != kExitPlayed) return status;
        if (const uint32_t count = m_session.BuffersSwitched(); count != lastCount) {
            lastCount = count;
            lastSwitch = Clock::now();
        } else if (Clock::now() - lastSwitch > kStallLimit) {
            Report("the driver stopped switching buffers; the capture is cut short");
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    CaptureResult result = m_session.FinishCapture();
    const char* path = m_pVerify != nullptr ? m_args.keep.c_str() : m_args.capture.c_str();
    if (result.end == CaptureEnd::FileFailed) {
        Report("cannot write %s: %s", path, result.error.c_str());
        return kExitHostFailure;
    }
    const DriverDescription driver = m_session.Describe();
    const int32_t pair = m_args.inputPair;
    const std::string pairName =
        pair < static_cast<int32_t>(driver.inputPairs.size()) ? driver.inputPairs[pair] : "?";
    if (m_pVerify == nullptr)
        std::printf("Captured input pair %d (%s) to %s, %.3f s\n", pair, pairName.c_str(), path,
                    driver.sampleRate > 0.0 ? result.frames / driver.sampleRate : 0.0);
    if (result.lostBuffers > 0) {
        Report("the capture lost %llu buffers (the disk fell behind); %s has silence in their "
               "place",
               static_cast<unsigned long long>(result.lostBuffers), path);
        return kExitHostFailure;
    }
    if (result.end != CaptureEnd::Completed) {
        if (*path != '\0')
            Report("%s holds the capture only up to where the driver stopped", path);
        else
            Report("the driver stopped before the capture ended");
        return kExitHostFailure;
    }
    if (m_pVerify != nullptr) m_pVerify->capture = std::move(result);
    return kExitPlayed;
}

int PlaySession::RenderUntilPlayed(Signal signal)
{
    RenderProgress progress(m_args.seconds);
    const char* path = m_args.output.c_str();
    const RenderResult result = m_session.RenderToFile(path, signal, progress);
    progress.Finish(result.seconds);
    switch (result.end) {
    case RenderEnd::Ended:
        std::printf("Rendered %s to %s\n", Description().c_str(), path);
        return kExitPlayed;
    case RenderEnd::Stopped:
        Report("interrupted; %s holds the first %.2f s", path, result.seconds);
        return kExitSignalBase + InterruptSignal();
    case RenderEnd::FileFailed:
        break;
    }
    Report("cannot write %s: %s", path, result.error.c_str());
    return kExitHostFailure;
}

// The driver stopped ahead of the shutdown, so that a take it could not
// write ends the run as a failure rather than as "Played".
int PlaySession::Stop(int status)
{
    const std::string failure = m_session.StopDriver();
    // A driver failure that ended the run has been said already.
    if (!failure.empty() && status != kExitHostFailure) {
        Report("%s: %s", m_session.Describe().name.c_str(), failure.c_str());
        return status == kExitPlayed ? kExitHostFailure : status;
    }
    if (m_bPlayed && m_pVerify == nullptr) std::printf("Played %s\n", Description().c_str());
    return status;
}

// Until the render path has faded the signal out and two more buffers have
// carried the ramp's end out, or the driver shows it has stopped.
void PlaySession::FadeOut()
{
    m_session.FadeOut();
    const Clock::time_point deadline = Clock::now() + kFadeLimit;
    while (!m_session.FadedOut() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint32_t faded = m_session.BuffersSwitched();
    while (m_session.BuffersSwitched() - faded < kBuffersAfterEnd && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Why the wait must end early, as an exit status; kExitPlayed to go on.
int PlaySession::StatusIfStopped(ProgressDisplay& progress)
{
    if (const int signal = InterruptSignal(); signal != 0) {
        FadeOut();
        progress.Finish();
        Report("interrupted; the signal was faded out before its end");
        return kExitSignalBase + signal;
    }
    if (m_session.TakeResetRequest()) {
        progress.Finish();
        // A driver that says why (the JACK server stopped) is quoted; any
        // other reset means its settings changed under it.
        if (const std::string why = m_session.DriverErrorText(); !why.empty())
            Report("%s; the signal was cut short", why.c_str());
        else
            Report("the driver's settings changed while playing (it asked to be set up "
                   "again); the signal was cut short. Run the command again.");
        return kExitHostFailure;
    }
    return kExitPlayed;
}

// Until the driver has switched that many more buffers.
int PlaySession::WaitForBuffers(uint32_t buffers)
{
    ProgressDisplay none(nullptr, 0.0);
    const uint32_t start = m_session.BuffersSwitched();
    const Clock::time_point deadline = Clock::now() + kStallLimit;
    while (m_session.BuffersSwitched() - start < buffers) {
        if (const int status = StatusIfStopped(none); status != kExitPlayed) return status;
        if (Clock::now() > deadline) {
            Report("the driver stopped switching buffers");
            return kExitHostFailure;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return kExitPlayed;
}

int PlaySession::WaitUntilPlayed(Signal signal)
{
    ProgressDisplay progress(ProgressDisplay::TerminalStream(), m_args.seconds);
    const DriverDescription driver = m_session.Describe();
    const double secondsPerBuffer =
        driver.sampleRate > 0.0 ? driver.bufferFrames / driver.sampleRate : 0.0;
    const uint32_t countAtStart = m_session.BuffersSwitched();
    uint32_t lastCount = countAtStart;
    Clock::time_point lastSwitch = Clock::now();
    bool ended = false;
    uint32_t countAtEnd = 0;

    while (true) {
        if (const int status = StatusIfStopped(progress); status != kExitPlayed) return status;
        // The count is read after the flag, so that it cannot predate the
        // switch that cleared it.
        if (!ended && !m_session.IsPlaying(signal)) {
            ended = true;
            countAtEnd = m_session.BuffersSwitched();
        }
        const uint32_t count = m_session.BuffersSwitched();
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

std::string PlaySession::SignalWords() const
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
    return what;
}

std::string PlaySession::Description() const
{
    const DriverDescription driver = m_session.Describe();
    const int32_t pair = driver.selectedPair;
    const std::string pairName =
        pair >= 0 && pair < static_cast<int32_t>(driver.pairs.size()) ? driver.pairs[pair] : "?";
    char text[512];
    std::snprintf(text, sizeof text, "%s, %g s at -%u dB on %s, pair %d (%s), %.0f Hz",
                  SignalWords().c_str(), m_args.seconds, m_args.attenuation, driver.name.c_str(),
                  pair, pairName.c_str(), driver.sampleRate);
    return text;
}

} // namespace

SignalRequest RequestFor(const PlayArguments& arguments)
{
    SignalRequest request;
    request.seconds = arguments.seconds;
    request.attenuation = arguments.attenuation;
    switch (arguments.command) {
    case PlayCommand::Sweep:
        request.signal = Signal::Sweep;
        request.frequency = arguments.freqStart;
        request.endFrequency = arguments.freqEnd;
        break;
    case PlayCommand::Pink:
        request.signal = Signal::Pink;
        break;
    case PlayCommand::White:
        request.signal = Signal::White;
        break;
    default:
        request.signal = Signal::Sine;
        request.frequency = arguments.frequency;
        if (arguments.command == PlayCommand::Note) {
            // The dialog plays a picked note from its edit text, the
            // frequency written with 11 decimals and read back.
            char text[32];
            FormatDecimal(text, g_pNoteFreqs[arguments.noteIndex], 11);
            request.frequency = std::strtod(text, nullptr);
        }
        break;
    }
    return request;
}

int RunPlaySession(const PlayArguments& arguments, PlayedCapture* captured)
{
    // Where Linux users look for them, not in whatever folder the player runs in.
    HostSession::UseUserFolders();
    PlaySession session(arguments, captured);
    return session.Run();
}
