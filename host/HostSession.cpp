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
#include "host/HostStartup.h"
#include "host/HostState.h"
#include "host/NoiseRequests.h"
#include "host/SampleRateControl.h"
#include "host/ToneRequests.h"
#include "log/DebugLog.h"
#include "platform/UserFolders.h"

#include <memory>
#include <new>

namespace {

// The rates asked of the card for its description: the dialog's three and
// their usual kin.
constexpr double kUsualRates[] = {22050.0, 32000.0, 44100.0,  48000.0,
                                  88200.0, 96000.0, 176400.0, 192000.0};

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

PlayOutcome HostSession::Play(const SignalRequest& request)
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
    if (const char* name = SampleTypeName(pASIOBuffers->lSampleType)) description.sampleType = name;
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
    DbgLogClose();
}
