// A driver module end to end, as the host meets it: the test driver created
// through the registry and the object loader, answering from its script,
// handing out double buffers and running buffer switches on its own thread;
// and the kit's settings reader over real `.reg` folders.
#include "tests/TestDriverModule.h"

#include "drivers/kit/DriverSettings.h"
#include "platform/InprocObjects.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the host's callbacks saw. Written on the driver's thread; read after
// DriveSwitches has returned, which orders the writes before the reads.
constexpr int kMaxSeen = 64;
struct SeenSwitches {
    int count;
    int32_t indexes[kMaxSeen];
    ASIOBool direct[kMaxSeen];
    std::thread::id threads[kMaxSeen];
};
SeenSwitches g_seen;
IASIO* g_driver = nullptr; // asked for outputReady inside each switch, as the render path does

struct SeenMessage {
    int count;
    int32_t selector;
    int32_t value;
    void* message;
    double* opt;
};
SeenMessage g_message;

constexpr int32_t kMessageAnswer = 0x5A;

void OnBufferSwitch(int32_t index, ASIOBool directProcess)
{
    if (g_seen.count < kMaxSeen) {
        g_seen.indexes[g_seen.count] = index;
        g_seen.direct[g_seen.count] = directProcess;
        g_seen.threads[g_seen.count] = std::this_thread::get_id();
    }
    ++g_seen.count;
    if (g_driver != nullptr) g_driver->outputReady();
}

void OnSampleRateChanged(ASIOSampleRate) {}

int32_t OnAsioMessage(int32_t selector, int32_t value, void* message, double* opt)
{
    g_message = {g_message.count + 1, selector, value, message, opt};
    return selector == kAsioSelectorSupported ? 1 : kMessageAnswer;
}

bool AllEqual(const void* memory, size_t bytes, uint8_t value = 0)
{
    const auto* p = static_cast<const uint8_t*>(memory);
    for (size_t i = 0; i < bytes; ++i)
        if (p[i] != value) return false;
    return true;
}

ASIOBufferInfo Output(int32_t channel)
{
    return {ASIOFalse, channel, {nullptr, nullptr}};
}

class DriverKit : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseRegistry(TONEWRIGHT_TEST_REGISTRY);
        script = OpenTestDriverScript();
        ASSERT_NE(script, nullptr) << "test driver module: " << dlerror();
        script->Reset();
        g_seen = {};
        g_message = {};
        g_driver = nullptr;
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }

    void TearDown() override
    {
        CoUninitialize();
        g_driver = nullptr;
    }

    static void UseRegistry(const std::string& folders)
    {
        setenv("TONEWRIGHT_REGISTRY", folders.c_str(), 1);
        RegistryReload();
    }

    IASIO* CreateDriver()
    {
        void* object = nullptr;
        const HRESULT result =
            CoCreateInstance(CLSID_TonewrightTestDriver, nullptr, CLSCTX_INPROC_SERVER,
                             CLSID_TonewrightTestDriver, &object);
        EXPECT_EQ(result, S_OK);
        return static_cast<IASIO*>(object);
    }

    static HRESULT ModuleCanUnloadNow()
    {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFunc>(
            dlsym(TestDriverModuleHandle(), "DllCanUnloadNow"));
        return canUnload != nullptr ? canUnload() : E_FAIL;
    }

    TestDriverScript* script = nullptr;
    ASIOCallbacks callbacks = {OnBufferSwitch, OnSampleRateChanged, OnAsioMessage, nullptr};
};

TEST_F(DriverKit, ScriptedDriverRoundTripsThroughRegistryAndLoader)
{
    script->SetOutputs(4, ASIOSTInt24LSB);
    std::snprintf(script->outputs[3].name, sizeof script->outputs[3].name, "Line R");
    script->outputs[3].type = ASIOSTInt16LSB;
    script->outputs[3].channelGroup = 1;
    script->SetChannels(true, 1, ASIOSTFloat32LSB, "Mic");
    std::snprintf(script->driverName, sizeof script->driverName, "Scripted Card");
    script->driverVersion = 7;
    script->minSize = 64;
    script->maxSize = 1024;
    script->preferredSize = 128;
    script->granularity = 64;
    script->inputLatency = 11;
    script->outputLatency = 22;
    script->sampleRate = 44100.0;

    IASIO* driver = CreateDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(script->LiveDrivers(), 1);
    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);

    // The query, as host start-up makes it.
    EXPECT_EQ(driver->init(nullptr), ASIOTrue);
    char name[128] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Scripted Card");
    EXPECT_EQ(driver->getDriverVersion(), 7);
    using Ints = std::vector<int32_t>;
    int32_t inputs = -1, outputs = -1;
    EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ((Ints{inputs, outputs}), (Ints{1, 4}));
    int32_t inputLatency = 0, outputLatency = 0;
    EXPECT_EQ(driver->getLatencies(&inputLatency, &outputLatency), ASE_OK);
    EXPECT_EQ((Ints{inputLatency, outputLatency}), (Ints{11, 22}));
    int32_t minSize = 0, maxSize = 0, preferredSize = 0, granularity = 0;
    EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferredSize, &granularity), ASE_OK);
    EXPECT_EQ((Ints{minSize, maxSize, preferredSize, granularity}), (Ints{64, 1024, 128, 64}));
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);

    const char* const names[] = {"Out 1", "Out 2", "Out 3", "Line R"};
    const ASIOSampleType types[] = {ASIOSTInt24LSB, ASIOSTInt24LSB, ASIOSTInt24LSB, ASIOSTInt16LSB};
    for (int32_t i = 0; i < 4; ++i) {
        ASIOChannelInfo info = {i, ASIOFalse, -1, -1, -1, {}};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK) << i;
        EXPECT_STREQ(info.name, names[i]);
        EXPECT_EQ(info.type, types[i]);
        EXPECT_EQ(info.channelGroup, i == 3 ? 1 : 0);
        EXPECT_EQ(info.isActive, ASIOFalse) << "no buffers yet";
    }
    ASIOChannelInfo input = {0, ASIOTrue, -1, -1, -1, {}};
    ASSERT_EQ(driver->getChannelInfo(&input), ASE_OK);
    EXPECT_STREQ(input.name, "Mic 1");
    EXPECT_EQ(input.type, ASIOSTFloat32LSB);
    ASIOChannelInfo beyond = {4, ASIOFalse, 0, 0, 0, {}};
    EXPECT_EQ(driver->getChannelInfo(&beyond), ASE_InvalidParameter);

    // Buffers for three of the four outputs: two zeroed halves each, none
    // overlapping another.
    ASIOBufferInfo infos[3] = {Output(0), Output(1), Output(3)};
    ASSERT_EQ(driver->createBuffers(infos, 3, 128, &callbacks), ASE_OK);
    const size_t halfBytes[3] = {128 * 3, 128 * 3, 128 * 2};
    for (int i = 0; i < 3; ++i)
        for (int half = 0; half < 2; ++half) {
            ASSERT_NE(infos[i].buffers[half], nullptr);
            EXPECT_TRUE(AllEqual(infos[i].buffers[half], halfBytes[i])) << i;
        }
    for (int i = 0; i < 3; ++i)
        for (int half = 0; half < 2; ++half)
            std::memset(infos[i].buffers[half], 1 + 2 * i + half, halfBytes[i]);
    for (int i = 0; i < 3; ++i)
        for (int half = 0; half < 2; ++half)
            EXPECT_TRUE(AllEqual(infos[i].buffers[half], halfBytes[i],
                                 static_cast<uint8_t>(1 + 2 * i + half)))
                << "channel record " << i << " half " << half << " overlaps another";
    for (int32_t i = 0; i < 4; ++i) {
        ASIOChannelInfo info = {i, ASIOFalse, 0, 0, 0, {}};
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, i == 2 ? ASIOFalse : ASIOTrue) << i;
    }

    // Switches driven one at a time, then two at once, all on the driver's
    // own thread with alternating halves.
    g_driver = driver;
    ASSERT_EQ(driver->start(), ASE_OK);
    for (int32_t count : {1, 1, 1, 2})
        EXPECT_TRUE(script->DriveSwitches(count));
    ASSERT_EQ(g_seen.count, 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(g_seen.indexes[i], i % 2) << i;
        EXPECT_EQ(g_seen.direct[i], ASIOTrue);
        EXPECT_NE(g_seen.threads[i], std::this_thread::get_id());
        EXPECT_EQ(g_seen.threads[i], g_seen.threads[0]);
    }
    ASIOSamples position = {};
    ASIOTimeStamp stamp = {};
    EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);
    EXPECT_EQ(position.hi, 0u);
    EXPECT_EQ(position.lo, 5u * 128u);

    // Messages reach the host's callback with what the test sent.
    double opt = 2.5;
    int marker = 0;
    EXPECT_EQ(script->SendMessage(kAsioSelectorSupported, kAsioResetRequest), 1);
    EXPECT_EQ(g_message.selector, kAsioSelectorSupported);
    EXPECT_EQ(g_message.value, kAsioResetRequest);
    EXPECT_EQ(script->SendMessage(kAsioResetRequest, 9, &marker, &opt), kMessageAnswer);
    EXPECT_EQ(g_message.count, 2);
    EXPECT_EQ(g_message.selector, kAsioResetRequest);
    EXPECT_EQ(g_message.value, 9);
    EXPECT_EQ(g_message.message, &marker);
    EXPECT_EQ(g_message.opt, &opt);

    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_FALSE(script->DriveSwitches(1)) << "no switches once stopped";
    EXPECT_EQ(g_seen.count, 5);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    ASIOChannelInfo disposed = {0, ASIOFalse, 0, 0, 0, {}};
    EXPECT_EQ(driver->getChannelInfo(&disposed), ASE_OK);
    EXPECT_EQ(disposed.isActive, ASIOFalse);

    std::vector<std::string> expected = {
        "CreateInstance", "init",          "getDriverName", "getDriverVersion", "getChannels",
        "getLatencies",   "getBufferSize", "getSampleRate", "setSampleRate",    "getSampleRate"};
    expected.insert(expected.end(), 6, "getChannelInfo");
    expected.push_back("createBuffers");
    expected.insert(expected.end(), 4, "getChannelInfo");
    expected.push_back("start");
    expected.insert(expected.end(), 5, "outputReady");
    expected.insert(expected.end(),
                    {"getSamplePosition", "stop", "disposeBuffers", "getChannelInfo"});
    EXPECT_EQ(script->Calls(), expected);

    g_driver = nullptr;
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(script->LiveDrivers(), 0);
    EXPECT_EQ(ModuleCanUnloadNow(), S_OK);
}

TEST_F(DriverKit, EveryScriptedFailureComesBackUnchanged)
{
    constexpr HRESULT kNoDevice = MakeHResult(0x80070015u);
    script->createResult = kNoDevice;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_TonewrightTestDriver, nullptr, CLSCTX_INPROC_SERVER,
                               CLSID_TonewrightTestDriver, &object),
              kNoDevice);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(script->LiveDrivers(), 0);
    EXPECT_EQ(script->Calls(), std::vector<std::string>{"CreateInstance"});

    script->createResult = S_OK;
    script->initResult = ASIOFalse;
    std::snprintf(script->errorMessage, sizeof script->errorMessage, "No card in slot 3");
    IASIO* driver = CreateDriver();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    char text[128] = {};
    driver->getErrorMessage(text);
    EXPECT_STREQ(text, "No card in slot 3");

    script->getChannelsResult = ASE_NotPresent;
    script->getLatenciesResult = ASE_HWMalfunction;
    script->getBufferSizeResult = ASE_InvalidMode;
    int32_t a = -7, b = -7, c = -7, d = -7;
    EXPECT_EQ(driver->getChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(driver->getLatencies(&a, &b), ASE_HWMalfunction);
    EXPECT_EQ(driver->getBufferSize(&a, &b, &c, &d), ASE_InvalidMode);
    EXPECT_EQ(a, -7) << "a failed call fills nothing";

    ASIOSampleRate rate = -1.0;
    script->getSampleRateResult = ASE_NotPresent;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(rate, -1.0);
    script->canSampleRateResult = ASE_NoClock;
    EXPECT_EQ(driver->canSampleRate(96000.0), ASE_NoClock);
    script->setSampleRateResult = ASE_InvalidMode;
    EXPECT_EQ(driver->setSampleRate(96000.0), ASE_InvalidMode);
    script->getSampleRateResult = ASE_OK;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0) << "a refused rate is not taken";

    driver->Release();

    // Channel answers are taken when the driver is made.
    script->outputs[0].isActive = 2;
    script->outputs[1].infoResult = ASE_HWMalfunction;
    driver = CreateDriver();
    ASSERT_NE(driver, nullptr);
    ASIOChannelInfo info = {0, ASIOFalse, 0, 0, 0, {}};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, 2);
    info = {1, ASIOFalse, 0, 0, 0, {'x'}};
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_HWMalfunction);
    EXPECT_STREQ(info.name, "x");

    script->createBuffersResult = ASE_NoMemory;
    ASIOBufferInfo infos[2] = {Output(0), Output(1)};
    EXPECT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_NoMemory);
    EXPECT_EQ(infos[0].buffers[0], nullptr);
    script->createBuffersResult = ASE_OK;
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_OK);

    script->startResult = ASE_HWMalfunction;
    EXPECT_EQ(driver->start(), ASE_HWMalfunction);
    EXPECT_FALSE(script->DriveSwitches(1));
    EXPECT_EQ(g_seen.count, 0);

    script->outputReadyResult = ASE_NotPresent;
    EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
    script->stopResult = ASE_NotPresent;
    EXPECT_EQ(driver->stop(), ASE_NotPresent);
    script->disposeBuffersResult = ASE_HWMalfunction;
    EXPECT_EQ(driver->disposeBuffers(), ASE_HWMalfunction);
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(script->LiveDrivers(), 0);
}

TEST_F(DriverKit, KitAndFactoryRefuseWhatNoDriverCouldServe)
{
    IASIO* driver = CreateDriver();
    ASSERT_NE(driver, nullptr);

    void* unknown = nullptr;
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(driver));
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(driver->QueryInterface(IID_IClassFactory, &factory), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(driver->AddRef(), 3u);
    EXPECT_EQ(driver->Release(), 2u);
    EXPECT_EQ(driver->Release(), 1u);
    EXPECT_EQ(script->LiveDrivers(), 1);

    EXPECT_EQ(driver->start(), ASE_InvalidMode) << "no buffers to play";
    EXPECT_EQ(driver->disposeBuffers(), ASE_InvalidMode);

    struct Request {
        const char* what;
        std::vector<ASIOBufferInfo> infos;
        int32_t bufferSize;
    };
    const ASIOBufferInfo input0 = {ASIOTrue, 0, {nullptr, nullptr}};
    const Request refused[] = {
        {"channel beyond the last", {Output(0), Output(2)}, 256},
        {"negative channel", {Output(-1)}, 256},
        {"channel twice", {Output(1), Output(0), Output(1)}, 256},
        {"input the card does not have", {input0}, 256},
        {"size below the minimum", {Output(0)}, 16},
        {"size above the maximum", {Output(0)}, 8192},
        {"no channels", {}, 256},
    };
    for (const Request& request : refused) {
        std::vector<ASIOBufferInfo> infos = request.infos;
        EXPECT_EQ(driver->createBuffers(infos.data(), static_cast<int32_t>(infos.size()),
                                        request.bufferSize, &callbacks),
                  ASE_InvalidParameter)
            << request.what;
        for (const ASIOBufferInfo& info : infos)
            EXPECT_EQ(info.buffers[0], nullptr) << request.what;
    }
    ASIOBufferInfo infos[2] = {Output(0), Output(1)};
    ASIOCallbacks noSwitch = {nullptr, OnSampleRateChanged, OnAsioMessage, nullptr};
    EXPECT_EQ(driver->createBuffers(infos, 2, 256, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(infos, 2, 256, &noSwitch), ASE_InvalidParameter);
    ASIOChannelInfo info = {0, ASIOFalse, 0, 0, 0, {}};
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOFalse) << "a refused request activates nothing";

    // New buffers replace the old ones and start silent again.
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_OK);
    for (ASIOBufferInfo& record : infos)
        for (void* half : record.buffers)
            std::memset(half, 0xAB, 256 * 4);
    ASSERT_EQ(driver->createBuffers(infos, 2, 64, &callbacks), ASE_OK);
    for (const ASIOBufferInfo& record : infos)
        for (void* half : record.buffers)
            EXPECT_TRUE(AllEqual(half, 64 * 4));

    // Running: no new buffers, and the last Release stops the thread itself.
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_OK) << "a second start changes nothing";
    EXPECT_EQ(driver->createBuffers(infos, 2, 64, &callbacks), ASE_InvalidMode);
    EXPECT_TRUE(script->DriveSwitches(3));
    EXPECT_EQ(g_seen.count, 3);
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_EQ(script->LiveDrivers(), 0);
    EXPECT_FALSE(script->DriveSwitches(1));
    EXPECT_EQ(g_seen.count, 3);

    // The factory serves only its class, without aggregation.
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunc>(
        dlsym(TestDriverModuleHandle(), "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IClassFactory, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(getClassObject(CLSID_TonewrightTestDriver, IID_IClassFactory, &object), S_OK);
    auto* classFactory = static_cast<IClassFactory*>(object);

    IUnknown* outer = reinterpret_cast<IUnknown*>(classFactory);
    void* made = reinterpret_cast<void*>(1);
    EXPECT_EQ(classFactory->CreateInstance(outer, CLSID_TonewrightTestDriver, &made),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_IClassFactory, &made), E_NOINTERFACE);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(script->LiveDrivers(), 0) << "an object refused its interface goes away";
    EXPECT_EQ(script->CountOf("CreateInstance"), 2);
    EXPECT_EQ(classFactory->LockServer(true), S_OK);
    EXPECT_EQ(ModuleCanUnloadNow(), S_FALSE);
    EXPECT_EQ(classFactory->LockServer(false), S_OK);
    EXPECT_EQ(ModuleCanUnloadNow(), S_OK);
    classFactory->Release();
}

TEST_F(DriverKit, SettingsComeFromTheDriversOwnKeyAcrossFiles)
{
    char folder[] = "/tmp/tonewright-settings-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    {
        std::ofstream file(std::string(folder) + "/zz-settings.reg");
        file << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Tonewright Test Driver]\n"
                "\"BufferSize\"=dword:00000100\n"
                "\"Label\"=\"Desk \\\"B\\\"\"\n"
                "\"Words\"=\"twelve\"\n"
                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Other Card]\n"
                "\"BufferSize\"=dword:00000040\n";
    }
    UseRegistry(std::string(TONEWRIGHT_TEST_REGISTRY) + ":" + folder);

    const char* const kName = "Tonewright Test Driver";
    EXPECT_EQ(ReadDriverDword(kName, "BufferSize", 7), 256u);
    EXPECT_EQ(ReadDriverDword("tonewright test driver", "buffersize", 7), 256u);
    EXPECT_EQ(ReadDriverDword("Other Card", "BufferSize", 7), 64u);
    EXPECT_EQ(ReadDriverDword(kName, "Words", 7), 7u) << "a string is no number";
    EXPECT_EQ(ReadDriverDword(kName, "Missing", 7), 7u);
    EXPECT_EQ(ReadDriverDword("No Such Card", "BufferSize", 7), 7u);

    char text[64];
    ASSERT_TRUE(ReadDriverString(kName, "Label", text, sizeof text));
    EXPECT_STREQ(text, "Desk \"B\"");
    ASSERT_TRUE(ReadDriverString(kName, "Label", text, 9)) << "exactly fits with its terminator";
    EXPECT_STREQ(text, "Desk \"B\"");
    EXPECT_FALSE(ReadDriverString(kName, "Label", text, 8));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(ReadDriverString(kName, "BufferSize", text, sizeof text));
    EXPECT_FALSE(ReadDriverString(kName, "Missing", text, sizeof text));

    // The registration CMake wrote: the same CLSID as the module's.
    ASSERT_TRUE(ReadDriverString(kName, "CLSID", text, sizeof text));
    CLSID registered = {};
    EXPECT_EQ(CLSIDFromString(text, &registered), S_OK);
    EXPECT_EQ(registered, CLSID_TonewrightTestDriver);
    ASSERT_TRUE(ReadDriverString(kName, "Description", text, sizeof text));
    EXPECT_STREQ(text, "Tonewright Test Driver (scriptable, for tests)");

    std::filesystem::remove_all(folder);
}

} // namespace
