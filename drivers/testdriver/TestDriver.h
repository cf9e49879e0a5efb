// The scriptable driver that host tests load through the registry like any
// driver: it answers from the module's script (TestDriverScript.h) and runs
// buffer switches on its own thread only when the test asks for them.
#pragma once

#include "drivers/kit/DriverBase.h"
#include "drivers/testdriver/TestDriverScript.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class TestDriver final : public DriverBase {
public:
    explicit TestDriver(REFCLSID clsid);
    ~TestDriver() override;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    int32_t getDriverVersion() override;
    void getErrorMessage(char* text) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) override;
    ASIOError getLatencies(int32_t* inputLatency, int32_t* outputLatency) override;
    ASIOError getBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, int32_t* numSources) override;
    ASIOError setClockSource(int32_t reference) override;
    ASIOError getSamplePosition(ASIOSamples* position, ASIOTimeStamp* timeStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(int32_t selector, void* opt) override;
    ASIOError outputReady() override;

    // Test thread. See TestDriverScript.
    int32_t SendMessage(int32_t selector, int32_t value, void* message, double* opt);
    bool DriveSwitches(int32_t count);

protected:
    ASIOError StartTransport() override;
    void StopTransport() override;

private:
    void ThreadMain();
    // Driver thread: the scripted input samples into half `half`.
    void FillInputs(int32_t half);
    const TestDriverChannel* ScriptChannel(const ASIOChannelInfo& info) const;

    // The device as scripted when the object was made.
    TestDriverChannel inputs[kMaxTestChannels];
    TestDriverChannel outputs[kMaxTestChannels];
    ASIOSampleRate dCurrentRate;

    // Hands switch requests to the driver's thread; never held while the
    // host's bufferSwitch runs.
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    int32_t nPending = 0;
    uint64_t qwCompleted = 0;
    uint64_t qwFramesSwitched = 0; // driver thread, reset by each start
    bool bQuit = false;
    std::thread thread;
};

// The module's shared pieces, in TestDriverScript.cpp.
TestDriverAnswers& ModuleScript();
// Lock-free and allocation-free: outputReady records from the driver's
// thread, inside the host's buffer switch.
void RecordCall(const char* name);
void TestDriverCreated(TestDriver* driver);
void TestDriverDestroyed(TestDriver* driver);
