// The test driver's script: every answer the driver gives and every result
// it returns, set by a test before the call it affects, plus the test's way
// to reach a live driver (messages, buffer switches) and the record of the
// calls made on it. The module exports one script for all its objects:
//
//   extern "C" TestDriverScript* TestDriverScriptOf();
//
// tests/TestDriverModule.h opens the module and finds it. Write the script on
// the test's thread while no buffer switch is being driven.
#pragma once

#include "drivers/kit/GuidText.h"
#include "host/AsioInterface.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

inline constexpr CLSID CLSID_TonewrightTestDriver =
    GuidFromText("{379E0702-5E41-4909-A9CD-3CD2C5626A87}");

constexpr int32_t kMaxTestChannels = 128;
// A channel's isActive as the buffers say: set from createBuffers to
// disposeBuffers. Any other value is reported as it is.
constexpr int32_t kActiveFromBuffers = -1;

struct TestDriverChannel {
    char name[32];
    ASIOSampleType type;
    int32_t channelGroup;
    int32_t isActive;     // kActiveFromBuffers, or the value to report
    ASIOError infoResult; // getChannelInfo's result for this channel; not ASE_OK fills nothing
};

// Plain values, so that a reset is one assignment.
struct TestDriverAnswers {
    TestDriverAnswers()
    {
        SetChannels(false, 2, ASIOSTInt32LSB, "Out");
        SetChannels(true, 0, ASIOSTInt32LSB, "In");
    }

    // "<prefix> 1" upward, one type, group 0, isActive as the buffers say.
    void SetChannels(bool isInput, int32_t count, ASIOSampleType type, const char* prefix)
    {
        (isInput ? numInputs : numOutputs) = count;
        TestDriverChannel* table = isInput ? inputs : outputs;
        for (int32_t i = 0; i < count && i < kMaxTestChannels; ++i) {
            table[i] = {{}, type, 0, kActiveFromBuffers, ASE_OK};
            std::snprintf(table[i].name, sizeof table[i].name, "%s %d", prefix,
                          static_cast<int>(i + 1));
        }
    }
    void SetOutputs(int32_t count, ASIOSampleType type) { SetChannels(false, count, type, "Out"); }

    // The device, taken when a driver object is created.
    HRESULT createResult = 0; // a failure refuses the creation; S_FALSE comes with the object
    char driverName[128] = "Tonewright Test Driver";
    int32_t driverVersion = 1;
    int32_t numInputs = 0;
    int32_t numOutputs = 0;
    TestDriverChannel inputs[kMaxTestChannels] = {};
    TestDriverChannel outputs[kMaxTestChannels] = {};
    int32_t minSize = 32;
    int32_t maxSize = 4096;
    int32_t preferredSize = 256;
    int32_t granularity = -1;
    int32_t inputLatency = 256;
    int32_t outputLatency = 512;
    ASIOSampleRate sampleRate = 48000.0;
    // What the inputs capture. Silence by default; with inputsCountFrames,
    // sample i of an input's half at the k-th switch since start holds
    // (channel + 1) << 24 | (k * bufferSize + i) mod 2^24, little-endian,
    // cut to the channel's sample width.
    bool inputsCountFrames = false;

    // Results, read at each call. A failure returns before anything is
    // filled in, except stop, which stops and then answers stopResult.
    ASIOBool initResult = ASIOTrue;
    char errorMessage[128] = ""; // what getErrorMessage gives after a failed init
    ASIOError getChannelsResult = ASE_OK;
    ASIOError getLatenciesResult = ASE_OK;
    ASIOError getBufferSizeResult = ASE_OK;
    ASIOError canSampleRateResult = ASE_OK;
    ASIOError setSampleRateResult = ASE_OK; // ASE_OK makes the rate the current one
    ASIOError getSampleRateResult = ASE_OK;
    ASIOError createBuffersResult = ASE_OK; // ASE_OK goes on to the real buffers
    ASIOError startResult = ASE_OK;         // ASE_OK starts the driver's thread
    ASIOError stopResult = ASE_OK;
    ASIOError disposeBuffersResult = ASE_OK;
    ASIOError outputReadyResult = ASE_OK;
};

class TestDriverScript : public TestDriverAnswers {
public:
    // Back to the defaults; the record of calls is emptied.
    virtual void Reset() = 0;
    // Driver objects created and not yet deleted.
    virtual int32_t LiveDrivers() const = 0;

    // Calls the latest driver's asioMessage callback on this thread and gives
    // its answer; 0 when no driver holds callbacks.
    virtual int32_t SendMessage(int32_t selector, int32_t value, void* message = nullptr,
                                double* opt = nullptr) = 0;
    // Has the latest driver's own thread run count buffer switches, one after
    // the other, and waits for them. False when no driver is running or the
    // switches did not finish within seconds.
    virtual bool DriveSwitches(int32_t count = 1) = 0;

    // The calls made so far, by name in order: the IASIO methods (not
    // IUnknown's) and "CreateInstance" for each creation asked of the factory.
    virtual int32_t CallCount() const = 0;
    virtual const char* CallName(int32_t index) const = 0;
    virtual void ForgetCalls() = 0;

    std::vector<std::string> Calls() const
    {
        std::vector<std::string> calls;
        for (int32_t i = 0; i < CallCount(); ++i)
            calls.emplace_back(CallName(i));
        return calls;
    }
    int32_t CountOf(const char* name) const
    {
        int32_t count = 0;
        for (int32_t i = 0; i < CallCount(); ++i)
            if (std::strcmp(CallName(i), name) == 0) ++count;
        return count;
    }

protected:
    ~TestDriverScript() = default;
};

extern "C" using TestDriverScriptOfFunction = TestDriverScript * ();
