// The kit's rules the host relies on, on a driver of the kit alone whose
// switches the test makes: channel records, double buffers, reference
// counts; the class factory of a module; the settings reader's limits.
#include "drivers/kit/DriverBase.h"
#include "drivers/kit/DriverSettings.h"
#include "drivers/kit/ModuleUsage.h"
#include "tests/TestDriverModule.h"
#include "tests/fixtures/DriverHost.h"

namespace {

int g_transports = 0; // running transports of KitDriver objects

class KitDriver final : public DriverBase {
public:
    KitDriver() : DriverBase(CLSID_TonewrightTestDriver, "Kit")
    {
        channels.Describe(false, 4, ASIOSTInt24LSB, "Out");
        channels.SetChannel(false, 3, "Line R", ASIOSTInt16LSB, 1);
        SetBufferSizes(32, 4096, 256, -1);
    }
    using DriverBase::SwitchBuffers;

protected:
    ASIOError StartTransport() override
    {
        ++g_transports;
        return ASE_OK;
    }
    void StopTransport() override { --g_transports; }
};

ASIOBufferInfo Output(int32_t channel)
{
    return {ASIOFalse, channel, {nullptr, nullptr}};
}

std::vector<ASIOBool> Active(IASIO* driver)
{
    std::vector<ASIOBool> active;
    ASIOChannelInfo info = {0, ASIOFalse, 0, 0, 0, {}};
    for (; driver->getChannelInfo(&info) == ASE_OK; ++info.channel)
        active.push_back(info.isActive);
    return active;
}

class DriverKit : public DriverTest {};

TEST_F(DriverKit, ChannelRecordsAndDoubleBuffersAreWhatTheHostReliesOn)
{
    auto* driver = new KitDriver();
    EXPECT_EQ(driver->start(), ASE_InvalidMode) << "no buffers to play";
    EXPECT_EQ(driver->disposeBuffers(), ASE_InvalidMode);

    // Refused, and nothing handed out or activated.
    ASIOCallbacks noSwitch = {nullptr, nullptr, OnPatternMessage, nullptr};
    const std::vector<std::vector<ASIOBufferInfo>> badRecords = {{Output(0), Output(4)},
                                                                 {Output(-1)},
                                                                 {Output(1), Output(0), Output(1)},
                                                                 {{ASIOTrue, 0, {}}}};
    for (std::vector<ASIOBufferInfo> infos : badRecords)
        EXPECT_EQ(driver->createBuffers(infos.data(), static_cast<int32_t>(infos.size()), 256,
                                        &g_patternCallbacks),
                  ASE_InvalidParameter)
            << infos.size() << " records from channel " << infos[0].channelNum;
    ASIOBufferInfo infos[3] = {Output(0), Output(1), Output(3)};
    EXPECT_EQ(driver->createBuffers(infos, 0, 256, &g_patternCallbacks), ASE_InvalidParameter);
    for (int32_t frames : {31, 4097})
        EXPECT_EQ(driver->createBuffers(infos, 3, frames, &g_patternCallbacks),
                  ASE_InvalidParameter)
            << frames;
    EXPECT_EQ(driver->createBuffers(infos, 3, 256, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->createBuffers(infos, 3, 256, &noSwitch), ASE_InvalidParameter);
    EXPECT_EQ(Active(driver), (std::vector<ASIOBool>{0, 0, 0, 0}));

    // Two zeroed, aligned halves of the channel's sample size each, none
    // overlapping another; made again, they are replaced and silent again.
    for (int32_t frames : {32, 4096}) {
        ASSERT_EQ(driver->createBuffers(infos, 3, frames, &g_patternCallbacks), ASE_OK);
        for (int i = 0; i < 12; ++i) {
            auto* half = static_cast<uint8_t*>(infos[i % 6 / 2].buffers[i % 2]);
            const int bytes = frames * (i % 6 < 4 ? 3 : 2);
            EXPECT_EQ(std::count(half, half + bytes, i < 6 ? 0 : i - 5), bytes) << i;
            EXPECT_EQ(reinterpret_cast<uintptr_t>(half) % 16, 0u);
            if (i < 6) std::memset(half, i + 1, bytes);
        }
    }
    EXPECT_EQ(Active(driver), (std::vector<ASIOBool>{1, 1, 0, 1}));

    // Running: one transport, no new buffers, and from half 0 each switch
    // hands out the other half, knowing the frames before it and its time.
    g_host.driver = driver;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(g_transports, 1);
    EXPECT_EQ(driver->createBuffers(infos, 3, 64, &g_patternCallbacks), ASE_InvalidMode);
    for (uint64_t k = 0; k < 3; ++k) {
        EXPECT_EQ(driver->SwitchBuffers(5000000000 + k), static_cast<int32_t>(k % 2));
        EXPECT_EQ(g_host.stamps[k], 5000000000 + k);
        EXPECT_EQ(g_host.positions[k], k * 4096);
    }
    ExpectHalvesAlternate();
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(g_transports, 0);
    ASIOSamples position = {};
    ASIOTimeStamp stamp = {};
    EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_SPNotAdvancing);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(Active(driver), (std::vector<ASIOBool>{0, 0, 0, 0}));
    EXPECT_EQ(driver->Release(), 0u);
}

TEST_F(DriverKit, TheLastReleaseStopsTheTransportAndFreesTheObjectAndTheModule)
{
    auto* driver = new KitDriver();
    void* object = nullptr;
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(object, static_cast<IASIO*>(driver));
    EXPECT_EQ(driver->QueryInterface(CLSID_TonewrightTestDriver, &object), S_OK);
    EXPECT_EQ(driver->QueryInterface(IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(driver->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(driver->AddRef(), 4u);
    EXPECT_EQ(driver->Release(), 3u);
    ASIOBufferInfo infos[1] = {Output(0)};
    ASSERT_EQ(driver->createBuffers(infos, 1, 256, &g_patternCallbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->Release(), 2u);
    EXPECT_EQ(driver->Release(), 1u);
    EXPECT_TRUE(g_transports == 1 && ModuleInUse());
    EXPECT_EQ(driver->Release(), 0u);
    EXPECT_TRUE(g_transports == 0 && !ModuleInUse()) << "the object is deleted";

    // The factory serves its class only, and an object refused its
    // interface goes away, leaving the module free to go.
    auto getClassObject = reinterpret_cast<DllGetClassObjectFunc>(
        dlsym(TestDriverModuleHandle(), "DllGetClassObject"));
    auto canUnloadNow =
        reinterpret_cast<DllCanUnloadNowFunc>(dlsym(TestDriverModuleHandle(), "DllCanUnloadNow"));
    EXPECT_EQ(getClassObject(IID_IClassFactory, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_TonewrightTestDriver, IID_IClassFactory, &object), S_OK);
    auto* factory = static_cast<IClassFactory*>(object);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(canUnloadNow(), S_OK);
    factory->Release();
}

TEST_F(DriverKit, ASettingOfAnotherTypeIsTheFallbackAndAStringMustFitWithItsEnd)
{
    UseRegistry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Kit]\n\"Size\"=dword:00000100\n"
                "\"Label\"=\"Desk \\\"B\\\"\"\n");
    EXPECT_EQ(ReadDriverDword("Kit", "Label", 7), 7u);
    char text[16];
    EXPECT_TRUE(ReadDriverString("Kit", "Label", text, 9));
    EXPECT_STREQ(text, "Desk \"B\"");
    EXPECT_FALSE(ReadDriverString("Kit", "Label", text, 8));
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(ReadDriverString("Kit", "Size", text, sizeof text));
}

} // namespace
