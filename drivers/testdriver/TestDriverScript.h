// The test driver's script, exported by its module as TestDriverScriptOf():
// the answers tests change, each set before the call it affects, the way to
// reach a live driver and the record of the calls made on it. Written on the
// test's thread while no switch is being driven.
#pragma once

#include "drivers/kit/GuidText.h"
#include "host/AsioInterface.h"

#include <algorithm>
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
    int32_t isActive; // kActiveFromBuffers, or the value to report
};

// Plain values, so that a reset is one assignment. Besides these the driver
// offers latencies of 256 and 512 frames and answers outputReady.
struct TestDriverAnswers {
    TestDriverAnswers() { SetOutputs(2, ASIOSTInt32LSB); }

    // "Out 1" upward, one type, isActive as the buffers say.
    void SetOutputs(int32_t count, ASIOSampleType type)
    {
        numOutputs = count;
        for (int32_t i = 0; i < count && i < kMaxTestChannels; ++i) {
            outputs[i] = {{}, type, kActiveFromBuffers};
            std::snprintf(outputs[i].name, sizeof outputs[i].name, "Out %d",
                          static_cast<int>(i + 1));
        }
    }

    // The device, taken when a driver object is created.
    HRESULT createResult = 0; // a failure refuses the creation; S_FALSE comes with the object
    char driverName[128] = "Tonewright Test Driver";
    int32_t numInputs = 0; // "In 1" upward, 32-bit
    int32_t numOutputs = 0;
    TestDriverChannel outputs[kMaxTestChannels] = {};
    int32_t preferredSize = 256;         // of buffers from 32 to 4096 frames, granularity -1
    ASIOSampleRate sampleRate = 48000.0; // the rate at first
    // What the inputs capture. Silence by default; with inputsCountFrames,
    // sample i of an input's half at the k-th switch since start holds
    // (channel + 1) << 24 | (k * bufferSize + i) mod 2^24.
    bool inputsCountFrames = false;

    // Results, read at each call; a failure returns before anything changes.
    ASIOBool initResult = ASIOTrue;
    char errorMessage[128] = ""; // what getErrorMessage gives after a failed init
    ASIOError canSampleRateResult = ASE_OK;
    ASIOError getSampleRateResult = ASE_OK; // ASE_OK reports the current rate
    ASIOError setSampleRateResult = ASE_OK; // ASE_OK makes the rate the current one
    ASIOError createBuffersResult = ASE_OK; // ASE_OK goes on to the real buffers
    ASIOError startResult = ASE_OK;         // ASE_OK starts the transport
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
    // Has a thread of the latest driver run count buffer switches, one after
    // the other, and waits for them. False when no driver is running.
    virtual bool DriveSwitches(int32_t count = 1) = 0;

    // The calls made so far, by name in order: "CreateInstance" for each
    // creation asked of the factory, start, stop, disposeBuffers,
    // setSampleRate and outputReady.
    virtual std::vector<std::string> Calls() const = 0;
    virtual void ForgetCalls() = 0;

    int32_t CountOf(const char* name) const
    {
        const std::vector<std::string> calls = Calls();
        return static_cast<int32_t>(std::count(calls.begin(), calls.end(), name));
    }

protected:
    ~TestDriverScript() = default;
};

extern "C" using TestDriverScriptOfFunction = TestDriverScript * ();
