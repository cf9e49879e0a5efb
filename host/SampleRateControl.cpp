#include "host/SampleRateControl.h"

#include "host/HostState.h"
#include "log/DebugLog.h"

#include <cinttypes>
#include <cstdio>

namespace {

// The requested rate exactly as asked: DbgLogInt's signed value would show a
// rate above 2^31 - 1 as a negative number.
void LogRequestedRate(const char* label, uint32_t rate)
{
    if (rate <= static_cast<uint32_t>(INT32_MAX)) {
        DbgLogInt(label, static_cast<int32_t>(rate));
        return;
    }
    char line[kDbgLabelIntSize];
    std::snprintf(line, sizeof line, "%s: %" PRIu32, label, rate);
    DbgLog(line);
}

bool HostReady()
{
    return pASIOBuffers != nullptr && pASIOBuffers->bInitSuccess && ptrASIO != nullptr;
}

} // namespace

bool ASIOSetSampleRate(uint32_t rate)
{
    if (!HostReady()) {
        DbgLog("Failed: ASIOSetSampleRate - ASIO system not initialized!");
        return false;
    }
    return pASIOBuffers->SetSampleRate(rate);
}

int32_t ASIOGetSampleRate()
{
    if (!HostReady()) {
        DbgLog("Failed: ASIOGetSampleRate - ASIO system not initialized!");
        return 0;
    }
    return pASIOBuffers->GetSampleRate();
}

bool AsioBuffers::SetSampleRate(uint32_t rate)
{
    const ASIOSampleRate requested = static_cast<ASIOSampleRate>(rate);

    // Only these two answers are sure refusals; some drivers answer other
    // errors to canSampleRate and still accept the rate when it is set.
    const ASIOError canResult = ptrASIO->canSampleRate(requested);
    if (canResult == ASE_NoClock) {
        DbgLog("Failed: SetSampleRate");
        DbgLog("Ensure you don't have 'Rate Locked' set in the sound card's control panel,");
        LogRequestedRate("...or perhaps requested sample rate is not supported", rate);
        return false;
    }
    if (canResult == ASE_NotPresent) {
        DbgLog("Can't set requested sample rate: No external clock I/O");
        return false;
    }

    if (ptrASIO->setSampleRate(requested) != ASE_OK) {
        LogRequestedRate("Couldn't set sound card to requested sample rate", rate);
        DbgLog("Ensure you don't have 'Rate Locked' set in the sound card's control panel.");
        return false;
    }

    // The card may have settled on a neighbouring rate: what it reports is
    // what the generators must plan with.
    ptrASIO->getSampleRate(&asioDriverInfo.sampleRate);
    DbgLogInt("Set sample rate", WholeHertz(asioDriverInfo.sampleRate));
    return true;
}

int32_t AsioBuffers::GetSampleRate()
{
    const ASIOError result = ptrASIO->getSampleRate(&asioDriverInfo.sampleRate);
    if (result == ASE_OK) {
        const int32_t rate = WholeHertz(asioDriverInfo.sampleRate);
        DbgLogInt("Sample rate", rate);
        return rate;
    }
    if (result == ASE_NotPresent)
        DbgLog("Failed: GetSampleRate - No external clock I/O");
    else
        DbgLog("Failed: function GetSampleRate - Reason unknown");
    DbgLogInt("Last known sample rate", WholeHertz(asioDriverInfo.sampleRate));
    return 0;
}
