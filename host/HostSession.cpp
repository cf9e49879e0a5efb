#include "host/HostSession.h"

#include "gen/NoteTable.h"
#include "gen/PinkNoiseGenerator.h"
#include "gen/SineGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "host/AsioDriverList.h"
#include "host/BufferSwitchEntries.h"
#include "host/ConfigFile.h"
#include "host/DriverQuery.h"
#include "host/DriverSetup.h"
#include "host/HostCapture.h"
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "host/NoiseRequests.h"
#include "host/OfflineCard.h"
#include "host/SampleRateControl.h"
#include "host/ToneRequests.h"
#include "log/DebugLog.h"
#include "platform/UserFolders.h"

#include <memory>
#include <new>
#include <vector>

namespace {

// The rates asked of the card for its description: the dialog's three and
// their usual kin.
constexpr double kUsualRates[] = {22050.0, 32000.0, 44100.0,  48000.0,
                                  88200.0, 96000.0, 176400.0, 192000.0};

static_assert(OfflineSettings::kMaxChannels == OfflineCard::kMaxChannels &&
              OfflineSettings::kMaxChannels <= kMaxOutputChannels &&
              OfflineSettings::kLowestRate == OfflineCard::kLowestRate &&
              OfflineSettings::kHighestRate == OfflineCard::kHighestRate);

// Switches gathered into one write of the file: some 64 KiB.
constexpr uint32_t kWriteBytes = 64 * 1024;
// Switches between two questions to the watcher: a few milliseconds of work.
constexpr uint64_t kSwitchesPerWatch = 64;

ASIOSampleType CardTypeOf(SampleEncoding encoding)
{
    for (const SampleTypeEncoding& entry : kSampleTypeEncodings)
        if (entry.encoding == encoding) return entry.type;
    return ASIOSTInt16LSB;
}

// An interrupted signal falls to zero within this, and over one frame at least.
constexpr double kFadeSeconds = 0.010;

} // namespace

std::vector<InstalledDriver> HostSession::InstalledDrivers()
{
    std::vector<InstalledDriver> drivers;
    std::unique_ptr<AsioDriverList> list(new (std::nothrow) AsioDriverList());
    if (list == nullptr) return drivers;
    // Only the first kMaxDrivers are ever opened.
    const int32_t count = list->asioDriverCount();
    for (int32_t i = 0; i < count && i < kMaxDrivers; ++i) {
        char name[128] = {};
        list->asioDriverName(i, name, 127);
        drivers.push_back({list->asioDriverKeyName(i), name});
    }
    return drivers;
}

void HostSession::UseUserFolders()
{
    DbgLogSetFolder(UserStateFolder().c_str());
    SetConfigFolder(UserConfigFolder());
}

std::string HostSession::LogPath()
{
    return DbgLogPath();
}

SessionStart HostSession::StartUp(int32_t requestedDriver)
{
    m_bStarted = true;
    if (!CreateNoteArray()) return SessionStart::NoNoteTable;
    DbgLogOpen();
    HostInitOptions options;
    options.bFallBack = requestedDriver < 0;
    options.bStoreChoice = false;
    if (!ASIOHostInit(&m_driverCombo, requestedDriver, options)) {
        // The host fills the driver combo only when a driver opened; the
        // entries still show what was tried.
        if (pAsioDriverList != nullptr && m_driverCombo.Entries().empty())
            FillDriverCombo(&m_driverCombo, -1);
        return SessionStart::NoDriver;
    }
    if (!ASIOSelectDriver(&m_mainWindow, &m_outputCombo)) return SessionStart::NoDriver;
    m_bSetupStands = true;
    ASIOGetSampleRate();
    DbgLog("Completed app initialization.");
    return SessionStart::Started;
}

SessionStart HostSession::StartOffline(const OfflineSettings& settings)
{
    m_bStarted = true;
    if (!CreateNoteArray()) return SessionStart::NoNoteTable;
    m_offlineEncoding = settings.encoding;
    m_pOfflineCard =
        new (std::nothrow) OfflineCard(CardTypeOf(settings.encoding), settings.sampleRate,
                                       settings.channels, settings.bufferFrames);
    if (m_pOfflineCard == nullptr) return SessionStart::NoDriver;
    ptrASIO = m_pOfflineCard;
    // Nothing switches its buffers until the render: no playback to wait for.
    if (!SetUpDriver(&m_mainWindow, &m_outputCombo, false)) return SessionStart::NoDriver;
    m_bSetupStands = true;
    return SessionStart::Started;
}

template <class Take>
RenderEnd HostSession::Render(Signal signal, RenderWatcher* watcher, Take take)
{
    OfflineCard* card = m_pOfflineCard;
    const double rate = asioDriverInfo.sampleRate;
    const uint32_t switchFrames = static_cast<uint32_t>(card->BufferFrames());
    std::vector<uint8_t> frames(static_cast<size_t>(switchFrames) * card->SampleBytes() *
                                static_cast<uint32_t>(card->BufferChannels()));
    for (uint64_t switches = 1;; ++switches) {
        const int32_t half = card->SwitchBuffers();
        if (half < 0) return RenderEnd::Ended;
        card->InterleaveHalf(half, frames.data());
        // Cleared in the switch that holds the signal's last sample, which
        // the render keeps.
        const bool playing = IsPlaying(signal);
        if (!take(frames.data(), switchFrames, !playing)) return RenderEnd::FileFailed;
        if (!playing) return RenderEnd::Ended;
        if (watcher != nullptr && switches % kSwitchesPerWatch == 0 &&
            !watcher->KeepGoing(static_cast<double>(switches * switchFrames) / rate))
            return RenderEnd::Stopped;
    }
}

RenderResult HostSession::RenderToFile(const char* path, Signal signal, RenderWatcher& watcher)
{
    RenderResult result = {RenderEnd::FileFailed, 0.0, "no offline card"};
    OfflineCard* card = m_pOfflineCard;
    if (card == nullptr || !m_bSetupStands) return result;
    const uint32_t rate = static_cast<uint32_t>(WholeHertz(asioDriverInfo.sampleRate));
    AudioFileWriter writer;
    if (!writer.Create(path, {m_offlineEncoding, card->BufferChannels(), rate}, false)) {
        result.error = writer.ErrorText();
        return result;
    }
    // Switches gathered into writes of some 64 KiB.
    const size_t switchBytes = static_cast<size_t>(card->BufferFrames()) * card->SampleBytes() *
                               static_cast<uint32_t>(card->BufferChannels());
    const size_t perWrite = switchBytes < kWriteBytes ? kWriteBytes / switchBytes : 1;
    std::vector<uint8_t> gathered;
    gathered.reserve(perWrite * switchBytes);
    result.end = Render(signal, &watcher, [&](const uint8_t* frames, uint32_t count, bool last) {
        gathered.insert(gathered.end(), frames, frames + switchBytes);
        if (gathered.size() < perWrite * switchBytes && !last) return true;
        const bool written = writer.Write(gathered.data(), gathered.size() / switchBytes * count);
        gathered.clear();
        return written;
    });
    if (!gathered.empty() &&
        !writer.Write(gathered.data(),
                      gathered.size() / switchBytes * static_cast<size_t>(card->BufferFrames())))
        result.end = RenderEnd::FileFailed;
    if (!writer.Close()) result.end = RenderEnd::FileFailed;
    result.error = result.end == RenderEnd::FileFailed ? writer.ErrorText() : "";
    result.seconds = static_cast<double>(writer.Frames()) / rate;
    return result;
}

RenderResult HostSession::RenderToSamples(Signal signal, std::vector<double>& left,
                                          std::vector<double>& right)
{
    RenderResult result = {RenderEnd::FileFailed, 0.0, "no offline card"};
    OfflineCard* card = m_pOfflineCard;
    if (card == nullptr || !m_bSetupStands) return result;
    const uint32_t bytes = card->SampleBytes();
    const uint32_t frameBytes = bytes * static_cast<uint32_t>(card->BufferChannels());
    result.end = Render(signal, nullptr, [&](const uint8_t* frames, uint32_t count, bool) {
        for (uint32_t i = 0; i < count; ++i) {
            left.push_back(SampleValue(m_offlineEncoding, frames + i * frameBytes));
            right.push_back(SampleValue(m_offlineEncoding, frames + i * frameBytes + bytes));
        }
        return true;
    });
    result.error.clear();
    result.seconds = static_cast<double>(left.size()) / asioDriverInfo.sampleRate;
    return result;
}

void HostSession::SetNoiseSeed(uint32_t seed)
{
    FixNoiseSeed(seed);
}

int32_t HostSession::SampleRate()
{
    return ASIOGetSampleRate();
}

bool HostSession::SetSampleRate(uint32_t rate)
{
    return ASIOSetSampleRate(rate);
}

bool HostSession::SelectPair(int32_t pair)
{
    // The host would log a pair it does not have and play on the old one.
    if (pair < 0 || pair >= static_cast<int32_t>(m_outputCombo.Entries().size())) return false;
    ASIOSelectOutputPair(pair);
    return true;
}

void HostSession::RequestCapture(const CaptureRequest& request)
{
    if (m_pCapture != nullptr || m_bStarted) return;
    m_pCapture = new (std::nothrow)
        HostCapture(request.inputPair, request.tailSeconds, request.path, request.keepSamples);
    pHostCapture = m_pCapture;
}

std::string HostSession::CaptureProblem() const
{
    if (m_pCapture == nullptr) return "no capture was asked for";
    if (!m_bSetupStands) return "no driver setup";
    return m_pCapture->Problem();
}

bool HostSession::CaptureEnded() const
{
    return m_pCapture == nullptr || !m_pCapture->Armed() || m_pCapture->Ended();
}

CaptureResult HostSession::FinishCapture()
{
    if (m_pCapture == nullptr) return {};
    return m_pCapture->Finish();
}

PlayOutcome HostSession::Play(const SignalRequest& request)
{
    // The capture starts before the generator is armed, so that no switch
    // of the signal can come before its first.
    const bool capturing = m_pCapture != nullptr && !m_pCapture->Armed();
    if (capturing && !m_pCapture->Arm(asioDriverInfo.sampleRate)) {
        m_captureFailure = m_pCapture->Problem();
        return {PlayStatus::HostFailure, m_captureFailure.c_str()};
    }
    const PlayOutcome outcome = PlayRequest(request);
    if (capturing && outcome.status != PlayStatus::Armed) m_pCapture->Cancel();
    return outcome;
}

PlayOutcome HostSession::PlayRequest(const SignalRequest& request)
{
    switch (request.signal) {
    case Signal::Sine:
        return PlaySineWav(request.frequency, request.seconds, request.attenuation);
    case Signal::Sweep:
        return PlaySweepWav(request.frequency, request.endFrequency, request.seconds,
                            request.attenuation);
    case Signal::Pink:
        return PlayPinkNoise(request.seconds, request.attenuation);
    case Signal::White:
        return PlayWhiteNoise(request.seconds, request.attenuation);
    }
    return {PlayStatus::Refused, "nothing to play"};
}

bool HostSession::IsPlaying(Signal signal) const
{
    switch (signal) {
    case Signal::Sine:
        return pSineGenerator != nullptr && pSineGenerator->bTonePlaying.load();
    case Signal::Sweep:
        return pSineGenerator != nullptr && pSineGenerator->bSweepPlaying.load();
    case Signal::Pink:
        return pPinkNoiseGenerator != nullptr && pPinkNoiseGenerator->bPlaying.load();
    case Signal::White:
        return pWhiteNoiseGenerator != nullptr && pWhiteNoiseGenerator->bPlaying.load();
    }
    return false;
}

uint32_t HostSession::BuffersSwitched() const
{
    return dwCountBuffers.load(std::memory_order_acquire);
}

DriverDescription HostSession::Describe() const
{
    DriverDescription description;
    if (!m_bSetupStands || pASIOBuffers == nullptr || ptrASIO == nullptr) return description;
    description.name = pASIOBuffers->szDriverName;
    description.pairs = m_outputCombo.Entries();
    description.selectedPair = asioDriverInfo.nSelectedPair.load(std::memory_order_relaxed);
    description.sampleRate = asioDriverInfo.sampleRate;
    description.bufferFrames = asioDriverInfo.preferredSize;
    description.inputPairs = InputPairLabels();
    if (const char* name = SampleTypeName(pASIOBuffers->lSampleType)) description.sampleType = name;
    EncodingOf(pASIOBuffers->lSampleType, &description.encoding);
    return description;
}

std::vector<uint32_t> HostSession::AcceptedRates() const
{
    std::vector<uint32_t> rates;
    if (!m_bSetupStands || ptrASIO == nullptr) return rates;
    for (double rate : kUsualRates)
        if (ptrASIO->canSampleRate(rate) == ASE_OK) rates.push_back(static_cast<uint32_t>(rate));
    return rates;
}

bool HostSession::TakeResetRequest()
{
    if (m_bResetTaken || !m_mainWindow.ResetRequested()) return false;
    m_bResetTaken = true;
    DbgLog("App received reset request!");
    return true;
}

std::string HostSession::DriverKeyName(int32_t index) const
{
    return pAsioDriverList != nullptr ? pAsioDriverList->asioDriverKeyName(index) : "";
}

std::string HostSession::DriverFailure(int32_t index) const
{
    return pAsioDriverList != nullptr ? pAsioDriverList->asioDriverFailure(index) : "";
}

std::vector<std::string> HostSession::DriverNotes() const
{
    if (pAsioDriverList == nullptr) return {};
    return pAsioDriverList->asioDriverNotes();
}

std::string HostSession::DriverErrorText() const
{
    if (ptrASIO == nullptr) return std::string();
    char text[128] = {};
    ptrASIO->getErrorMessage(text);
    text[sizeof text - 1] = '\0';
    return text;
}

void HostSession::FadeOut()
{
    const int32_t rate = WholeHertz(asioDriverInfo.sampleRate);
    const auto frames = static_cast<uint32_t>(rate * kFadeSeconds);
    RequestFadeOut(frames > 0 ? frames : 1);
}

bool HostSession::FadedOut() const
{
    return FadeOutDone();
}

std::string HostSession::StopDriver()
{
    if (!m_bSetupStands || ptrASIO == nullptr) return std::string();
    ptrASIO->stop();
    return DriverErrorText();
}

void HostSession::ShutDown()
{
    if (!m_bStarted) return;
    m_bStarted = false;
    m_bSetupStands = false;
    FreeNoteArray();
    ASIOHostShutdown(true);
    pHostCapture = nullptr;
    delete m_pCapture;
    m_pCapture = nullptr;
    // The driver list releases the drivers it created; the host's own card
    // is the session's.
    if (m_pOfflineCard != nullptr) {
        m_pOfflineCard->Release();
        m_pOfflineCard = nullptr;
        ptrASIO = nullptr;
    }
    DbgLogClose();
}
