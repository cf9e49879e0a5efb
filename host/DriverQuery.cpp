#include "host/DriverQuery.h"

#include "host/DriverMessages.h"
#include "host/HostState.h"
#include "log/DebugLog.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

struct TypeName {
    ASIOSampleType type;
    const char* name;
};

const TypeName kSampleTypeNames[] = {
    {ASIOSTInt16MSB, "ASIOSTInt16MSB"},     {ASIOSTInt24MSB, "ASIOSTInt24MSB"},
    {ASIOSTInt32MSB, "ASIOSTInt32MSB"},     {ASIOSTFloat32MSB, "ASIOSTFloat32MSB"},
    {ASIOSTFloat64MSB, "ASIOSTFloat64MSB"}, {ASIOSTInt32MSB16, "ASIOSTInt32MSB16"},
    {ASIOSTInt32MSB18, "ASIOSTInt32MSB18"}, {ASIOSTInt32MSB20, "ASIOSTInt32MSB20"},
    {ASIOSTInt32MSB24, "ASIOSTInt32MSB24"}, {ASIOSTInt16LSB, "ASIOSTInt16LSB"},
    {ASIOSTInt24LSB, "ASIOSTInt24LSB"},     {ASIOSTInt32LSB, "ASIOSTInt32LSB"},
    {ASIOSTFloat32LSB, "ASIOSTFloat32LSB"}, {ASIOSTFloat64LSB, "ASIOSTFloat64LSB"},
    {ASIOSTInt32LSB16, "ASIOSTInt32LSB16"}, {ASIOSTInt32LSB18, "ASIOSTInt32LSB18"},
    {ASIOSTInt32LSB20, "ASIOSTInt32LSB20"}, {ASIOSTInt32LSB24, "ASIOSTInt32LSB24"},
};

// Larger buffers would wrap the byte count of a 32-bit sample buffer.
constexpr int32_t kMaxBufferFrames = 1 << 20;

bool IsListedPair(ASIOSampleType cardType, ASIOSampleType secondType)
{
    return cardType == ASIOSTFloat32LSB || secondType == ASIOSTInt16LSB ||
           secondType == ASIOSTInt24LSB || secondType == ASIOSTInt32LSB;
}

} // namespace

// A first name ending in " 9" would give a two-digit partner, so it keeps
// the second name, as do names not ending in a space and digit.
void PairLabel(char* label, size_t size, const char* first, const char* second)
{
    const size_t length = std::strlen(first);
    if (length >= 2 && first[length - 2] == ' ' && first[length - 1] >= '0' &&
        first[length - 1] <= '8')
        std::snprintf(label, size, "%s / %c", first, first[length - 1] + 1);
    else
        std::snprintf(label, size, "%s / %s", first, second);
}

const char* SampleTypeName(ASIOSampleType type)
{
    for (const TypeName& entry : kSampleTypeNames)
        if (entry.type == type) return entry.name;
    return nullptr;
}

void LogSampleType(ASIOSampleType type)
{
    DbgLogText("ASIO sample type: ");
    const char* name = SampleTypeName(type);
    DbgLog(name != nullptr ? name : "Unknown format");
}

AsioBuffers::AsioBuffers(IASIO* driver, HWND mainDialog, HWND outputCombo) : hWndDlg(mainDialog)
{
    asioDriverInfo.pInt24ScratchA = nullptr;
    asioDriverInfo.pInt24ScratchB = nullptr;
    ptrASIO = driver;
    dwBufferSizeBytes = 0;
    dwCountBuffers.store(0, std::memory_order_relaxed);
    pSineGenerator = nullptr;
    pPinkNoiseGenerator = nullptr;
    pWhiteNoiseGenerator = nullptr;
    if (driver == nullptr) return;

    if (!driver->init(hWndDlg)) {
        // Room for the longest text a driver may write: 127 characters and
        // the terminator.
        char text[128] = {};
        driver->getErrorMessage(text);
        text[sizeof text - 1] = '\0';
        std::snprintf(szErrorMessage, sizeof szErrorMessage, "%s", text);
        return;
    }

    char name[128] = {};
    driver->getDriverName(name);
    name[sizeof name - 1] = '\0';
    std::snprintf(szDriverName, sizeof szDriverName, "%s", name);
    lDriverVersion = driver->getDriverVersion();
    DbgLog(szDriverName);
    DbgLogInt("Driver Vers", lDriverVersion);

    ClearDriverInfo();
    AsioDriverInfo& info = asioDriverInfo;
    driver->getChannels(&info.numInputChannels, &info.numOutputChannels);
    DbgLogTwoInts("numInputChannels", "numOutputChannels", info.numInputChannels,
                  info.numOutputChannels);
    driver->getLatencies(&info.inputLatency, &info.outputLatency);
    DbgLogTwoInts("inputLatency", "outputLatency", info.inputLatency, info.outputLatency);
    driver->getBufferSize(&info.minSize, &info.maxSize, &info.preferredSize, &info.granularity);
    DbgLogTwoInts("minSize", "maxSize", info.minSize, info.maxSize);
    DbgLogTwoInts("preferredSize", "granularity", info.preferredSize, info.granularity);
    driver->getSampleRate(&info.sampleRate);
    DbgLogInt("sampleRate", WholeHertz(info.sampleRate));

    DbgLog("Channels available...");
    info.nOutputPairs = 0;
    // Only the channels the host keeps records for are listed and used.
    const int32_t channels =
        info.numOutputChannels < kMaxOutputChannels ? info.numOutputChannels : kMaxOutputChannels;
    char firstName[sizeof channelInfo.name] = {};
    for (int32_t i = 0; i < channels; ++i) {
        std::memset(&channelInfo, 0, sizeof channelInfo);
        channelInfo.channel = i;
        channelInfo.isInput = ASIOFalse;
        driver->getChannelInfo(&channelInfo);
        channelInfo.name[sizeof channelInfo.name - 1] = '\0';
        if (i == 0) lSampleType = channelInfo.type;
        if (i % 2 == 0) {
            std::memcpy(firstName, channelInfo.name, sizeof firstName);
        } else {
            char label[2 * sizeof firstName + 4];
            PairLabel(label, sizeof label, firstName, channelInfo.name);
            if (IsListedPair(lSampleType, channelInfo.type)) {
                ComboAddString(outputCombo, label);
                ++info.nOutputPairs;
            }
        }
        DbgLogIntPart("Channel", i);
        DbgLogIntPart("Group", channelInfo.channelGroup);
        DbgLogText(channelInfo.name);
        DbgLogText(", ");
        LogSampleType(channelInfo.type);
    }
    ComboSetCurSel(outputCombo, 0);

    const SampleFormat* format = FindSampleFormat(lSampleType);
    if (format == nullptr) {
        DbgLog("Can't support sound card's internal format!");
        return;
    }
    // Without a pair the render path would write through null buffers, and
    // without a buffer size the generators would divide by zero.
    if (info.nOutputPairs < 1) {
        DbgLog("Can't find an output pair in sound card's internal format!");
        return;
    }
    if (info.preferredSize < 1 || info.preferredSize > kMaxBufferFrames) {
        DbgLog("Can't support sound card's preferred buffer size!");
        return;
    }

    bInitSuccess = true;
    if (driver->outputReady() == ASE_OK) {
        info.bOutputReady = true;
        DbgLog("bOutputReady = true");
    } else {
        info.bOutputReady = false;
        DbgLog("bOutputReady = false");
    }

    asioCallbacks.bufferSwitch = format->bufferSwitch;
    asioCallbacks.sampleRateDidChange = sampleRateChanged;
    asioCallbacks.asioMessage = asioMessages;
    asioCallbacks.bufferSwitchTimeInfo = nullptr;
    info.hWndMain = hWndDlg;
}
