// The module's one script, the record of calls and the exports: the class
// factory and TestDriverScriptOf.
#include "drivers/kit/ClassFactory.h"
#include "drivers/testdriver/TestDriver.h"

#include <atomic>
#include <mutex>

namespace {

// Enough for any one test; later calls are counted as dropped, never stored.
constexpr int32_t kMaxCalls = 4096;

class ModuleTestDriverScript final : public TestDriverScript {
public:
    void Reset() override
    {
        static_cast<TestDriverAnswers&>(*this) = TestDriverAnswers();
        ForgetCalls();
    }

    int32_t LiveDrivers() const override { return nLive.load(std::memory_order_acquire); }

    int32_t SendMessage(int32_t selector, int32_t value, void* message, double* opt) override
    {
        TestDriver* driver = AcquireLatest();
        if (driver == nullptr) return 0;
        const int32_t answer = driver->SendMessage(selector, value, message, opt);
        driver->Release();
        return answer;
    }

    bool DriveSwitches(int32_t count) override
    {
        if (count <= 0) return false;
        TestDriver* driver = AcquireLatest();
        if (driver == nullptr) return false;
        const bool finished = driver->DriveSwitches(count);
        driver->Release();
        return finished;
    }

    int32_t CallCount() const override
    {
        const int32_t count = nCalls.load(std::memory_order_acquire);
        return count < kMaxCalls ? count : kMaxCalls;
    }

    const char* CallName(int32_t index) const override
    {
        if (index < 0 || index >= CallCount()) return "";
        const char* name = calls[index].load(std::memory_order_acquire);
        return name != nullptr ? name : "";
    }

    void ForgetCalls() override
    {
        for (auto& call : calls)
            call.store(nullptr, std::memory_order_relaxed);
        nCalls.store(0, std::memory_order_release);
    }

    void Record(const char* name)
    {
        const int32_t slot = nCalls.fetch_add(1, std::memory_order_acq_rel);
        if (slot < kMaxCalls) calls[slot].store(name, std::memory_order_release);
    }

    void Created(TestDriver* driver)
    {
        std::lock_guard<std::mutex> lock(latestMutex);
        pLatest = driver;
        nLive.fetch_add(1, std::memory_order_acq_rel);
    }

    void Destroyed(TestDriver* driver)
    {
        std::lock_guard<std::mutex> lock(latestMutex);
        if (pLatest == driver) pLatest = nullptr;
        nLive.fetch_sub(1, std::memory_order_acq_rel);
    }

private:
    // A reference for the length of one test call, so the driver cannot go
    // away under it; the lock is not held while the driver runs.
    TestDriver* AcquireLatest()
    {
        std::lock_guard<std::mutex> lock(latestMutex);
        if (pLatest != nullptr) pLatest->AddRef();
        return pLatest;
    }

    std::atomic<const char*> calls[kMaxCalls] = {};
    std::atomic<int32_t> nCalls{0};
    std::atomic<int32_t> nLive{0};
    std::mutex latestMutex;
    TestDriver* pLatest = nullptr;
};

ModuleTestDriverScript g_script;

HRESULT NewTestDriver(REFCLSID clsid, IUnknown** object)
{
    RecordCall("CreateInstance");
    const HRESULT refusal = g_script.createResult;
    if (FAILED(refusal)) return refusal;
    return NewDriver<TestDriver>(clsid, object);
}

} // namespace

TestDriverAnswers& ModuleScript()
{
    return g_script;
}

void RecordCall(const char* name)
{
    g_script.Record(name);
}

void TestDriverCreated(TestDriver* driver)
{
    g_script.Created(driver);
}

void TestDriverDestroyed(TestDriver* driver)
{
    g_script.Destroyed(driver);
}

TONEWRIGHT_DRIVER_CLASSES({CLSID_TonewrightTestDriver, NewTestDriver})

TONEWRIGHT_DRIVER_EXPORT TestDriverScript* TestDriverScriptOf()
{
    return &g_script;
}
