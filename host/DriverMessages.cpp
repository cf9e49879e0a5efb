// Runs on whatever thread the driver calls from, possibly its real-time one:
// it logs and posts, and leaves every rebuild to the dialog's thread.
#include "host/DriverMessages.h"

#include "host/AsioInterface.h"
#include "host/HostState.h"
#include "log/DebugLog.h"
#include "platform/WindowSeam.h"

namespace {

// The selectors this host answers, as told to a driver that asks.
bool IsSupportedSelector(int32_t selector)
{
    switch (selector) {
    case kAsioEngineVersion:
    case kAsioResetRequest:
    case kAsioResyncRequest:
    case kAsioLatenciesChanged:
    case kAsioSupportsTimeInfo:
    case kAsioSupportsTimeCode:
    case kAsioSupportsInputMonitor:
        return true;
    default:
        return false;
    }
}

} // namespace

int32_t asioMessages(int32_t selector, int32_t value, void* /*message*/, double* /*opt*/)
{
    switch (selector) {
    case kAsioSelectorSupported:
        DbgLog("asioMessages: kAsioSelectorSupported");
        return IsSupportedSelector(value) ? 1 : 0;
    case kAsioEngineVersion:
        DbgLog("asioMessages: kAsioEngineVersion");
        return 2;
    case kAsioResetRequest:
        // The driver's own thread must not tear down the setup it runs in:
        // the dialog takes the reset from its message queue.
        DbgLog("asioMessages: kAsioResetRequest received - triggering complete reset");
        PostMessage(asioDriverInfo.hWndMain, WM_RESET_REQUEST, 0, 0);
        return 1;
    case kAsioBufferSizeChange:
        return 0;
    case kAsioResyncRequest:
        DbgLog("asioMessages: kAsioResyncRequest");
        return 1;
    case kAsioLatenciesChanged:
        DbgLog("asioMessages: kAsioLatenciesChanged");
        return 1;
    case kAsioSupportsTimeInfo:
        DbgLog("asioMessages: kAsioSupportsTimeInfo");
        return 0;
    case kAsioSupportsTimeCode:
        DbgLog("asioMessages: kAsioSupportsTimeCode");
        return 0;
    default:
        return 0;
    }
}

void sampleRateChanged(double /*sampleRate*/) {}
