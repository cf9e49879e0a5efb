// The white and pink noise generators: the random sources against known
// draws, the frame accounting of a request, the loudest values inside full
// scale, the clock seed of each request, and the signals' statistics
// (Gaussian white noise with a flat spectrum, pink falling 3 dB an octave).
#include "gen/PinkNoiseGenerator.h"
#include "gen/WhiteNoiseGenerator.h"
#include "measure/SpectralAnalysis.h"
#include "tests/fixtures/SignalMeasure.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct Format {
    uint32_t code;
    uint16_t width;
    double fullScale;
};
constexpr Format kFormats[] = {{0, 2, 32767.0}, {1, 4, 8388607.0}, {2, 4, 2147483647.0}};

// A whole request, buffer by buffer, as the render callback draws it, from
// a buffer that starts non-zero so that a tail left unwritten shows.
template <class Sample, class Generator>
std::vector<double> RenderAll(Generator& gen, uint32_t frames, uint16_t width = sizeof(Sample))
{
    std::vector<double> out;
    std::vector<Sample> buffer(frames, Sample(0x5a5a));
    while (gen.bPlaying.load()) {
        gen.FillBuffer(buffer.data(), frames, width);
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    return out;
}

// A source whose next two NextBits results are first and second: with x0
// and x1 zero the recurrence is solved for x2, x3 and carry by hand.
GaussianRandom SourceDrawing(uint32_t first, uint32_t second)
{
    GaussianRandom g;
    for (uint64_t x2 = 1;; ++x2) {
        const uint32_t carry1 =
            static_cast<uint32_t>(second - 2111111111ull * x2 - 5115ull * first);
        const uint64_t firstSum = (static_cast<uint64_t>(carry1) << 32) + first;
        if (carry1 >= 2111111110u || firstSum < 1492ull * x2) continue;
        g.x0 = g.x1 = 0;
        g.x2 = static_cast<uint32_t>(x2);
        g.x3 = static_cast<uint32_t>((firstSum - 1492ull * x2) / 2111111111ull);
        g.carry = static_cast<uint32_t>((firstSum - 1492ull * x2) % 2111111111ull);
        return g;
    }
}

TEST(NoiseRandomSource, KnownDrawsTheLargestRadiusAsOneAndAZeroUniformRedrawn)
{
    GaussianRandom g;
    g.Seed(1);
    EXPECT_EQ(g.NextBits(), 3672204162u);
    EXPECT_EQ(g.NextBits(), 2131177473u);
    EXPECT_NEAR(g.dNorm, std::sqrt(64.0 * std::log(2.0)), 1e-12);

    // A first uniform of 0 would give ln 0: it is skipped, the radius comes
    // from the next one.
    GaussianRandom zero = SourceDrawing(0, 2111111111u);
    double a, b;
    zero.NextGaussianPair(a, b);
    EXPECT_NEAR(std::hypot(a, b),
                std::sqrt(-2.0 * std::log(2111111111.0 / 4294967296.0) / (64.0 * std::log(2.0))),
                1e-9);
    // The smallest uniform at angle 0: the bound itself.
    GaussianRandom top = SourceDrawing(1, 0);
    top.NextGaussianPair(a, b);
    EXPECT_EQ(a, 1.0);
    EXPECT_EQ(b, 0.0);

    PinkFilter f;
    f.seed = 1;
    EXPECT_EQ(f.RandomValue(), -0.24296724796295166f);
    EXPECT_EQ(f.seed, 1103947680u);
}

// 441 frames into a 512-frame buffer, 356 in 256-frame buffers, exactly one
// buffer: each request ends in the buffer of its last frame, with a zero
// tail, its samples those of the source (white: rounded half away from zero,
// one unit inside full scale; pink: truncated). Widths below 16 bits end the
// request and leave the buffer as it was.
template <class Sample, class Generator, class Expect>
void CheckRequests(const Format& f, Expect expected)
{
    SCOPED_TRACE(f.code);
    Generator gen(FormatCode{f.code});
    const struct {
        uint32_t rate;
        double seconds;
        uint32_t frames, buffer, rendered;
    } requests[] = {
        {44100, 0.01, 441, 512, 512}, {712, 0.5, 356, 256, 512}, {512, 0.5, 256, 256, 256}};
    for (const auto& r : requests) {
        gen.Arm(r.rate, r.seconds, 0);
        ASSERT_EQ(gen.nRemaining, r.frames);
        const std::vector<double> want = expected(gen, f.fullScale, r.frames);
        const std::vector<double> out = RenderAll<Sample>(gen, r.buffer, f.width);
        ASSERT_EQ(out.size(), r.rendered);
        for (uint32_t j = 0; j < out.size(); ++j)
            ASSERT_EQ(out[j], j < r.frames ? want[j] : 0.0) << j;
    }
    for (uint16_t width : {0, 1}) {
        gen.Arm(48000, 1.0, 0);
        std::vector<Sample> buffer(256, Sample(0x5a5a));
        gen.FillBuffer(buffer.data(), 256, width);
        EXPECT_FALSE(gen.bPlaying.load()) << width;
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), Sample(0x5a5a)), 256) << width;
    }
}

template <class Sample> void CheckBothGenerators(const Format& f)
{
    CheckRequests<Sample, WhiteNoiseGenerator>(f, [](auto& gen, double fullScale, uint32_t n) {
        gen.pRandom->Seed(7);
        GaussianRandom replica = *gen.pRandom;
        std::vector<double> out;
        for (double a, b; out.size() < n;) {
            replica.NextGaussianPair(a, b);
            out.push_back(std::round(a * (fullScale - 1.0)));
            out.push_back(std::round(b * (fullScale - 1.0)));
        }
        return out;
    });
    CheckRequests<Sample, PinkNoiseGenerator>(f, [](auto& gen, double fullScale, uint32_t n) {
        // From zeroed rows no value reaches full scale.
        PinkFilter& filter = *gen.pFilter;
        filter.seed = 5;
        filter.sum = 0.0f;
        std::fill(std::begin(filter.rows), std::end(filter.rows), 0.0f);
        PinkFilter copy = filter;
        std::vector<double> out;
        while (out.size() < n)
            out.push_back(std::trunc(copy.Next() * fullScale * 1.777935816517));
        return out;
    });
}

TEST(NoiseGenerators, RequestsEndMidBufferWithAZeroTailAndTheLoudestValuesStayInside)
{
    CheckBothGenerators<int16_t>(kFormats[0]);
    CheckBothGenerators<int32_t>(kFormats[1]);
    CheckBothGenerators<int32_t>(kFormats[2]);

    for (const Format& f : kFormats) {
        for (const double sign : {1.0, -1.0}) {
            SCOPED_TRACE(::testing::Message() << f.code << " " << sign);
            int32_t buffer[2] = {0, 0};
            // White: the largest radius at angle 0 or half a turn, one unit inside.
            WhiteNoiseGenerator white(FormatCode{f.code});
            white.Arm(48000, 1.0, 0);
            *white.pRandom = SourceDrawing(1, sign > 0 ? 0u : 0x80000000u);
            white.FillBuffer(buffer, 2, 4);
            EXPECT_EQ(buffer[0], sign * (f.fullScale - 1.0));
            // Pink at 0 dB: a value past full scale is held there instead of
            // wrapping. The filter is set so that its next value is within
            // 0.0001 of +-0.5625: the row it replaces already holds the new
            // value, the sum sits at its bound, the fresh uniform is +-0.5.
            PinkNoiseGenerator pink(FormatCode{f.code});
            pink.Arm(48000, 1.0, 0);
            for (uint32_t seed = 1;; ++seed) {
                PinkFilter probe;
                probe.seed = seed;
                const float r = probe.RandomValue();
                if (sign * probe.RandomValue() < 0.4999f) continue;
                *pink.pFilter = PinkFilter();
                pink.pFilter->seed = seed;
                pink.pFilter->rows[0] = r;
                pink.pFilter->sum = static_cast<float>(4.0 * sign);
                break;
            }
            PinkFilter probe = *pink.pFilter;
            ASSERT_GT(std::fabs(std::trunc(probe.Next() * pink.dAmplitude)), f.fullScale);
            pink.FillBuffer(buffer, 2, 4);
            EXPECT_EQ(buffer[0], sign * f.fullScale);
        }
    }
}

TEST(NoiseGenerators, ArmSetsLengthLevelAndClockSeedAndARequestWhilePlayingChangesNothing)
{
    WhiteNoiseGenerator white(FormatCode::Int16);
    PinkNoiseGenerator pink(FormatCode::Int16);
    white.Arm(44100, 0.01, 0);
    pink.Arm(44100, 0.01, 0);
    EXPECT_EQ(white.dAmplitude, 32766.0);
    EXPECT_EQ(pink.dAmplitude, 32767.0 * 1.777935816517);
    white.pRandom->Seed(7);
    const GaussianRandom source = *white.pRandom;
    const PinkFilter filter = *pink.pFilter;
    white.Arm(48000, 30.0, 60);
    pink.Arm(48000, 30.0, 60);
    EXPECT_EQ(white.nRemaining + pink.nRemaining, 882u);
    EXPECT_EQ(white.pRandom->x0, source.x0);
    EXPECT_EQ(pink.pFilter->seed, filter.seed);
    RenderAll<int16_t>(white, 512);
    RenderAll<int16_t>(pink, 512);

    // A new request reseeds from the clock; pink keeps its rows, sum and
    // counter. Retried when the second turns over between the clock reads.
    for (int attempt = 0;; ++attempt) {
        ASSERT_LT(attempt, 5) << "the clock never held still for one request";
        const PinkFilter played = *pink.pFilter;
        const std::time_t t0 = std::time(nullptr);
        white.Arm(48000, 1.0, 60);
        pink.Arm(48000, 1.0, 60);
        if (t0 != std::time(nullptr)) {
            RenderAll<int16_t>(white, 48000);
            RenderAll<int16_t>(pink, 48000);
            continue;
        }
        GaussianRandom expected;
        expected.Seed(static_cast<uint32_t>(t0));
        EXPECT_EQ(white.pRandom->x0, expected.x0);
        EXPECT_EQ(pink.pFilter->seed, static_cast<uint32_t>(t0));
        EXPECT_EQ(pink.pFilter->counter, played.counter);
        EXPECT_TRUE(std::equal(std::begin(played.rows), std::end(played.rows),
                               std::begin(pink.pFilter->rows)));
        break;
    }
    EXPECT_NEAR(white.dAmplitude, 31.767, 1e-9);
    EXPECT_EQ(white.nRemaining, 48000u);

    // A length that is no frame count plays nothing; without its source a
    // released generator cannot be armed.
    white.bPlaying.store(false);
    pink.bPlaying.store(false);
    white.Release();
    white.Arm(48000, 1.0, 0);
    EXPECT_FALSE(white.bPlaying.load());
    pink.Arm(48000, -1.0, 0);
    EXPECT_EQ(pink.nRemaining, 0u);
}

// FNV-1a checksums of ten million seeded samples, recorded from the first
// generator: a faster one must give the very same samples.
TEST(WhiteNoise, TenMillionSeededSamplesAreTheRecordedOnes)
{
    const struct {
        uint32_t code;
        uint16_t width;
        uint32_t db;
        uint64_t checksum;
    } runs[] = {{0, 2, 0, 0x89fe520c7af3f02d}, {2, 4, 1, 0xd58010b5a5648c64}};
    for (const auto& r : runs) {
        WhiteNoiseGenerator gen(FormatCode{r.code});
        gen.Arm(100000, 100.0, r.db);
        gen.pRandom->Seed(20240601);
        int32_t buffer[256];
        uint64_t checksum = 14695981039346656037ull;
        while (gen.bPlaying.load()) {
            gen.FillBuffer(buffer, 256, r.width);
            for (size_t i = 0; i < 256u * r.width; ++i)
                checksum = (checksum ^ reinterpret_cast<uint8_t*>(buffer)[i]) * 1099511628211ull;
        }
        EXPECT_EQ(checksum, r.checksum) << r.code;
    }
}

TEST(WhiteNoise, EightSecondsAreGaussianWithTheNormalisedRmsAndAFlatSpectrum)
{
    WhiteNoiseGenerator gen(FormatCode::Int16);
    gen.Arm(48000, 8.0, 0);
    gen.pRandom->Seed(20240601);
    const std::vector<double> x = RenderAll<int16_t>(gen, 512);
    ASSERT_EQ(x.size(), 384000u);
    const double n = static_cast<double>(x.size());
    // A unit Gaussian divided by sqrt(64 ln 2) and scaled to 32766; the
    // tolerances are five standard errors of each estimate at this length.
    const double sigma = 32766.0 / std::sqrt(64.0 * std::log(2.0));
    double sum = 0, fourth = 0, within = 0;
    for (double v : x) {
        sum += v;
        fourth += std::pow(v / sigma, 4);
        within += std::fabs(v) <= sigma;
    }
    EXPECT_LT(std::fabs(sum / n), 5.0 * sigma / std::sqrt(n));
    EXPECT_NEAR(Rms(x) / sigma, 1.0, 5.0 * std::sqrt(0.5 / n));
    EXPECT_NEAR(fourth / n, 3.0, 5.0 * std::sqrt(96.0 / n));
    EXPECT_NEAR(within / n, 0.682689, 5.0 * std::sqrt(0.2166 / n));
    EXPECT_LE(Peak(x), 32766.0);
    EXPECT_NEAR(OctaveSlopeDb(x.data(), x.size(), 48000.0), 0.0, 0.2);
}

TEST(PinkNoise, TheFilterKeepsItsBoundsAndFallsThreeDecibelsAnOctave)
{
    // The counter picks the row to replace by its trailing zeros.
    const struct {
        uint32_t counter;
        int row;
    } cases[] = {{1, 0}, {2, 1}, {3, 0}, {4, 2}, {65536, 0}, {32768, 15}, {0, 0}, {96, 5}};
    for (const auto& c : cases) {
        PinkFilter f;
        f.counter = c.counter;
        std::fill(std::begin(f.rows), std::end(f.rows), 0.25f);
        f.sum = 4.0f;
        f.Next();
        for (int i = 0; i < static_cast<int>(PinkFilter::kRows); ++i)
            EXPECT_EQ(f.rows[i] == 0.25f, i != c.row) << c.counter << " row " << i;
    }
    // The first value of a fresh filter, then a million within the bounds:
    // a replacement that would take the sum past 4 is redrawn, not clipped,
    // so the running sum stays the rows' sum.
    PinkFilter f, draws;
    f.seed = draws.seed = 99;
    const float r = draws.RandomValue();
    EXPECT_EQ(f.Next(), (r + draws.RandomValue()) * 0.125f);
    for (int i = 0; i < 1000000; ++i) {
        const float v = f.Next();
        ASSERT_TRUE(v >= -0.5625f && v <= 0.5625f && f.sum >= -4.0f && f.sum <= 4.0f) << i;
    }
    float rowsSum = 0.0f;
    for (float row : f.rows) {
        EXPECT_TRUE(row >= -0.5f && row < 0.5f);
        rowsSum += row;
    }
    EXPECT_NEAR(f.sum, rowsSum, 1e-3);

    // 6 dB down no sample reaches full scale; sixteen held rows only
    // approximate 1/f, hence the wide tolerance on the slope.
    PinkNoiseGenerator gen(FormatCode::Int32);
    gen.Arm(48000, 8.0, 6);
    gen.pFilter->seed = 31337;
    const std::vector<double> x = RenderAll<int32_t>(gen, 512);
    const double level = LevelForAttenuation(FormatCode::Int32, 6);
    EXPECT_LE(Peak(x), level * 1.777935816517 * 0.5625);
    EXPECT_GT(Peak(x), 0.6 * level);
    EXPECT_NEAR(OctaveSlopeDb(x.data(), x.size(), 48000.0), -10.0 * std::log10(2.0), 0.35);
}

} // namespace
