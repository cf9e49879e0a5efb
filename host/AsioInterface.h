// The driver interface as the host uses it: IASIO, its records, sample types,
// message selectors and result codes, in our own declarations. The original
// interface's `long` is 32-bit, so every integer here has a fixed width.
#pragma once

#include "platform/AudioFileWriter.h"
#include "platform/Unknown.h"

#include <cstdint>

using ASIOBool = int32_t;
constexpr ASIOBool ASIOFalse = 0;
constexpr ASIOBool ASIOTrue = 1;

using ASIOError = int32_t;
constexpr ASIOError ASE_OK = 0;
constexpr ASIOError ASE_SUCCESS = 0x3f4847a0; // the answer to a supported future() call
constexpr ASIOError ASE_NotPresent = -1000;
constexpr ASIOError ASE_HWMalfunction = -999;
constexpr ASIOError ASE_InvalidParameter = -998;
constexpr ASIOError ASE_InvalidMode = -997;
constexpr ASIOError ASE_SPNotAdvancing = -996;
constexpr ASIOError ASE_NoClock = -995;
constexpr ASIOError ASE_NoMemory = -994;

using ASIOSampleRate = double;

using ASIOSampleType = int32_t;
constexpr ASIOSampleType ASIOSTInt16MSB = 0;
constexpr ASIOSampleType ASIOSTInt24MSB = 1;
constexpr ASIOSampleType ASIOSTInt32MSB = 2;
constexpr ASIOSampleType ASIOSTFloat32MSB = 3;
constexpr ASIOSampleType ASIOSTFloat64MSB = 4;
constexpr ASIOSampleType ASIOSTInt32MSB16 = 8;
constexpr ASIOSampleType ASIOSTInt32MSB18 = 9;
constexpr ASIOSampleType ASIOSTInt32MSB20 = 10;
constexpr ASIOSampleType ASIOSTInt32MSB24 = 11;
constexpr ASIOSampleType ASIOSTInt16LSB = 16;
constexpr ASIOSampleType ASIOSTInt24LSB = 17;
constexpr ASIOSampleType ASIOSTInt32LSB = 18;
constexpr ASIOSampleType ASIOSTFloat32LSB = 19;
constexpr ASIOSampleType ASIOSTFloat64LSB = 20;
constexpr ASIOSampleType ASIOSTInt32LSB16 = 24;
constexpr ASIOSampleType ASIOSTInt32LSB18 = 25;
constexpr ASIOSampleType ASIOSTInt32LSB20 = 26;
constexpr ASIOSampleType ASIOSTInt32LSB24 = 27;

// The card sample types the host plays. Every table that must hold one entry
// for each of them (render callbacks, driver variants, device formats) is
// checked against this list by the compiler with ListsEachAcceptedTypeOnce.
constexpr ASIOSampleType kAcceptedSampleTypes[] = {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB,
                                                   ASIOSTFloat32LSB};

// True when the entries' `type` members are the accepted types, each once.
template <class Entry, int N> constexpr bool ListsEachAcceptedTypeOnce(const Entry (&table)[N])
{
    if (N != sizeof kAcceptedSampleTypes / sizeof kAcceptedSampleTypes[0]) return false;
    for (ASIOSampleType accepted : kAcceptedSampleTypes) {
        int found = 0;
        for (const Entry& entry : table)
            if (entry.type == accepted) ++found;
        if (found != 1) return false;
    }
    return true;
}

// How a sound file holds each accepted type's samples, for takes and captures.
struct SampleTypeEncoding {
    ASIOSampleType type;
    SampleEncoding encoding;
};
constexpr SampleTypeEncoding kSampleTypeEncodings[] = {
    {ASIOSTInt16LSB, SampleEncoding::Int16},
    {ASIOSTInt24LSB, SampleEncoding::Int24},
    {ASIOSTInt32LSB, SampleEncoding::Int32},
    {ASIOSTFloat32LSB, SampleEncoding::Float32},
};
static_assert(ListsEachAcceptedTypeOnce(kSampleTypeEncodings));

// The file encoding of a card's sample type; false for a type no file holds.
constexpr bool EncodingOf(ASIOSampleType type, SampleEncoding* encoding)
{
    for (const SampleTypeEncoding& entry : kSampleTypeEncodings)
        if (entry.type == type) {
            *encoding = entry.encoding;
            return true;
        }
    return false;
}

// Selectors of the driver's asioMessage callback.
constexpr int32_t kAsioSelectorSupported = 1;
constexpr int32_t kAsioEngineVersion = 2;
constexpr int32_t kAsioResetRequest = 3;
constexpr int32_t kAsioBufferSizeChange = 4;
constexpr int32_t kAsioResyncRequest = 5;
constexpr int32_t kAsioLatenciesChanged = 6;
constexpr int32_t kAsioSupportsTimeInfo = 7;
constexpr int32_t kAsioSupportsTimeCode = 8;
constexpr int32_t kAsioMMCCommand = 9;
constexpr int32_t kAsioSupportsInputMonitor = 10;

struct ASIOSamples {
    uint32_t hi;
    uint32_t lo;
};

struct ASIOTimeStamp {
    uint32_t hi;
    uint32_t lo;
};

struct ASIOClockSource {
    int32_t index;
    int32_t associatedChannel;
    int32_t associatedGroup;
    ASIOBool isCurrentSource;
    char name[32];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    int32_t channelNum;
    void* buffers[2]; // the two halves of the channel's double buffer
};

struct ASIOChannelInfo {
    int32_t channel;
    ASIOBool isInput;
    ASIOBool isActive;
    int32_t channelGroup;
    ASIOSampleType type;
    char name[32];
};

struct ASIOTime; // only named: the host never asks for time information

struct ASIOCallbacks {
    void (*bufferSwitch)(int32_t doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sampleRate);
    int32_t (*asioMessage)(int32_t selector, int32_t value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, int32_t doubleBufferIndex,
                                      ASIOBool directProcess);
};

// A driver object, created by its CLSID and reached only through this
// interface. The three calls of IUnknown come first.
class IASIO : public IUnknown {
public:
    virtual ASIOBool init(void* sysHandle) = 0;
    virtual void getDriverName(char* name) = 0; // at most 32 characters
    virtual int32_t getDriverVersion() = 0;
    virtual void getErrorMessage(char* text) = 0; // at most 124 characters
    virtual ASIOError start() = 0;
    virtual ASIOError stop() = 0;
    virtual ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) = 0;
    virtual ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) = 0;
    virtual ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                                    int32_t* granularity) = 0;
    virtual ASIOError canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) = 0;
    virtual ASIOError setClockSource(int32_t reference) = 0;
    virtual ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) = 0;
    virtual ASIOError getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,
                                    int32_t bufferSize, ASIOCallbacks* callbacks) = 0;
    virtual ASIOError disposeBuffers() = 0;
    virtual ASIOError controlPanel() = 0;
    virtual ASIOError future(int32_t selector, void* opt) = 0;
    virtual ASIOError outputReady() = 0;
};
