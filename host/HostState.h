// What the host operations, the render path and the play commands share:
// the driver record, the host-wide values beside it, the driver-setup object
// and the mapping from the card's sample type to callback and format.
// Written on the user-interface thread; the render path reads it on the
// driver's thread, so what changes while the driver runs is atomic.
#pragma once

#include "gen/FormatCode.h"
#include "host/AsioInterface.h"
#include "platform/WindowSeam.h"

#include <atomic>
#include <cstdint>

class SineGenerator;
class PinkNoiseGenerator;
class WhiteNoiseGenerator;
class AsioDriverList;

constexpr int32_t kMaxOutputChannels = 32;
constexpr int32_t kMaxOutputPairs = kMaxOutputChannels / 2;
constexpr int32_t kMaxDrivers = 16;

struct AsioDriverInfo {
    int32_t nOutputPairs;
    int32_t numInputChannels;
    int32_t numOutputChannels;
    int32_t minSize;
    int32_t maxSize;
    int32_t preferredSize;
    int32_t granularity;
    double sampleRate;
    bool bOutputReady;
    int32_t inputLatency;
    int32_t outputLatency;
    int32_t outputBuffers;
    ASIOBufferInfo outputBufferInfos[kMaxOutputChannels];
    ASIOChannelInfo outputChannelInfos[kMaxOutputChannels];
    std::atomic<bool> bPairSelected[kMaxOutputPairs]; // changes while the driver runs
    bool bPairUsable[kMaxOutputPairs];
    int32_t* pInt24ScratchA;
    int32_t* pInt24ScratchB;
    std::atomic<int32_t> nSelectedPair; // changes while the driver runs
    HWND hWndMain;
};

extern AsioDriverInfo asioDriverInfo;

// Zeroes the whole record, as every driver query does before it fills it.
void ClearDriverInfo();

extern IASIO* ptrASIO;
extern uint32_t dwBufferSizeBytes;
extern std::atomic<uint32_t> dwCountBuffers; // written by the render path only
extern SineGenerator* pSineGenerator;
extern PinkNoiseGenerator* pPinkNoiseGenerator;
extern WhiteNoiseGenerator* pWhiteNoiseGenerator;
extern bool bDriverFailed[kMaxDrivers];
extern int32_t lnumDevs;
extern int32_t nRequestedDrvNum;
extern int32_t nCurrentDrvNum;

// The driver-setup object; its operations are the driver query, setup,
// pair selection and sample rate.
class AsioBuffers {
public:
    // The driver query: init, then channels, sizes, rate and the output
    // pairs listed into outputCombo. Its outcome is bInitSuccess.
    AsioBuffers(IASIO* driver, HWND mainDialog, HWND outputCombo);
    // Stops the driver, disposes its buffers, then frees the generators and
    // the 24-bit scratch arrays: no buffer switch can reach them afterwards.
    ~AsioBuffers();
    AsioBuffers(const AsioBuffers&) = delete;
    AsioBuffers& operator=(const AsioBuffers&) = delete;

    // Buffers for the listed pairs, generators in the card's format, pair 0,
    // silence, start and the 500 ms check. False when the setup cannot stand.
    bool CreatePrimaryBuffer();
    // Makes pair k the one that receives the signal; k must be a listed pair.
    void SelectOutputPair(int32_t k);
    bool SetSampleRate(uint32_t rate);
    // Whole hertz, 0 when the driver cannot tell.
    int32_t GetSampleRate();

    bool bInitSuccess = false;
    bool bStarted = false;
    char szErrorMessage[128] = {};
    char szDriverName[128] = {};
    HWND hWndDlg = nullptr;
    ASIOSampleType lSampleType = 0;
    int32_t lDriverVersion = 0;
    ASIOChannelInfo channelInfo = {};
    ASIOCallbacks asioCallbacks = {};
    bool bBuffersCreated = false;
    // The 500 ms check after the start; off for a card without a clock.
    bool bCheckPlayback = true;
};

extern AsioBuffers* pASIOBuffers;
extern AsioDriverList* pAsioDriverList;

// One accepted card sample type: the callback handed to the driver, the
// generators' format code and the bytes of one sample in the driver buffer.
struct SampleFormat {
    ASIOSampleType type;
    void (*bufferSwitch)(int32_t doubleBufferIndex, ASIOBool directProcess);
    FormatCode formatCode;
    uint32_t bytesPerSample;
};

// A rate in whole hertz, fraction dropped. A value no card can run at (not
// finite, not positive, past the 32-bit range) is 0, the answer for
// "unknown", rather than an undefined conversion.
int32_t WholeHertz(double rate);

// The format of an accepted sample type, or null for every other type.
const SampleFormat* FindSampleFormat(ASIOSampleType type);
