// The ALSA driver with no sound card: entries of the test's own point the
// module at ALSA's file plugin over its null device, paced by the system
// clock, and the raw file it leaves must hold every period the host wrote.
#include "tests/fixtures/DriverHost.h"

#include <iterator>

namespace {

constexpr char kFileClsid[] = "{5D0C9B1E-6F42-4A8B-9C3D-2E1F0A4B5C6D}";
constexpr char kNoCardClsid[] = "{7A3E2F10-1B2C-4D5E-8F90-A1B2C3D4E5F6}";

class AlsaDriverTest : public DriverTest {
protected:
    // The file device with these values, and an entry for a card that is not there.
    void Install(const std::string& values)
    {
        UseRegistry(RegEntry("ALSA: file", kFileClsid, TONEWRIGHT_ALSA_MODULE,
                             "\"Device\"=\"file:FILE=" + (dir / "out.raw").string() +
                                 ",FORMAT=raw\"\n\"Clock\"=\"system\"\n" + values) +
                    RegEntry("ALSA: no card", kNoCardClsid, TONEWRIGHT_ALSA_MODULE,
                             "\"Device\"=\"hw:99,0\"\n"));
    }
};

TEST_F(AlsaDriverTest, AnEntryWithoutItsDeviceRefusesCreationAndTheLargestPeriodIsTaken)
{
    Install("\"BufferSize\"=dword:00002000\n");
    HRESULT result = S_OK;
    EXPECT_EQ(CreateDriver(GuidFromText(kNoCardClsid), &result), nullptr);
    EXPECT_TRUE(FAILED(result)) << std::hex << result;
    IASIO* driver = CreateDriver(GuidFromText(kFileClsid));
    ASSERT_NE(driver, nullptr) << "the largest period the driver takes";
    EXPECT_EQ(driver->Release(), 0u);
}

struct AlsaCase {
    const char* sampleType; // none: the device's own
    ASIOSampleType type;
    int32_t channels, period;
    int outputs;    // a bit for each channel with a buffer
    int stallMs;    // in switch 10, long enough for the device to run dry
    double newRate; // set after 20 switches, when not 0
};

void PrintTo(const AlsaCase& c, std::ostream* out)
{
    *out << (c.sampleType != nullptr ? c.sampleType : "DeviceFormat");
}

class AlsaFileDevice : public AlsaDriverTest, public ::testing::WithParamInterface<AlsaCase> {};

TEST_P(AlsaFileDevice, HoldsEveryPeriodInOrderOnItsChannelsInTheFormatAsked)
{
    const AlsaCase& c = GetParam();
    char values[128];
    std::snprintf(values, sizeof values, "\"Channels\"=dword:%08x\n\"BufferSize\"=dword:%08x\n",
                  c.channels, c.period);
    Install(values +
            (c.sampleType ? "\"SampleType\"=\"" + std::string(c.sampleType) + "\"\n" : ""));
    IASIO* driver = CreateDriver(GuidFromText(kFileClsid));
    ASSERT_NE(driver, nullptr);
    // The null device takes any whole rate; the latency is its buffer, two periods.
    ExpectFacts(driver, "ALSA: file", c.channels, c.channels, {c.period, c.period, c.period, 0},
                c.type, 2 * c.period, 48000.0, {44100.0, 96000.0, 12345.0},
                {44100.5, 0.0, -48000.0});

    std::vector<int32_t> outputs;
    for (int32_t channel = 0; channel < c.channels; ++channel)
        if ((c.outputs >> channel & 1) != 0) outputs.push_back(channel);
    ASSERT_EQ(CreatePatternBuffers(driver, outputs, c.type, c.period), ASE_OK);
    g_host.bursts = {{0, 30}};
    g_host.stallAt = c.stallMs > 0 ? 10 : -1;
    g_host.stallMs = c.stallMs;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(WaitForSwitches(20));
    if (c.newRate != 0) {
        EXPECT_EQ(driver->setSampleRate(c.newRate), ASE_OK);
        ASIOSampleRate rate = 0;
        EXPECT_TRUE(driver->getSampleRate(&rate) == ASE_OK && rate == c.newRate) << rate;
    }
    ASSERT_TRUE(WaitForSwitches(40));
    EXPECT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->Release(), 0u);

    // The device's interleaved frames: every switch's pattern, silence elsewhere.
    const uint32_t bytes = BytesOf(c.type);
    std::vector<uint8_t> expected(g_host.switches.load() * c.period * c.channels * bytes);
    for (size_t at = 0; at < expected.size(); at += bytes)
        StoreSample(c.type, &expected[at],
                    Expected(at / bytes % c.channels, at / bytes / c.channels));
    std::ifstream file(dir / "out.raw", std::ios::binary);
    const std::vector<uint8_t> raw((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(raw.size(), expected.size());
    EXPECT_EQ(std::mismatch(raw.begin(), raw.end(), expected.begin()).first - raw.begin(),
              static_cast<ptrdiff_t>(raw.size()))
        << "the first byte that differs";
    EXPECT_TRUE(c.stallMs == 0 || g_host.resyncs.load() > 0) << "the underrun is told";
    EXPECT_EQ(g_host.resets.load(), 0);
}

// The null device takes every format: the first in the driver's order wins.
INSTANTIATE_TEST_SUITE_P(
    Formats, AlsaFileDevice,
    ::testing::Values(AlsaCase{"Int16LSB", ASIOSTInt16LSB, 2, 64, 3, 32, 0.0},
                      AlsaCase{"Int24LSB", ASIOSTInt24LSB, 2, 64, 3, 0, 96000.0},
                      AlsaCase{"Int32LSB", ASIOSTInt32LSB, 2, 64, 3, 0, 0.0},
                      AlsaCase{"Float32LSB", ASIOSTFloat32LSB, 2, 64, 3, 0, 0.0},
                      AlsaCase{nullptr, ASIOSTInt32LSB, 4, 100, 10, 0, 0.0}));

} // namespace
