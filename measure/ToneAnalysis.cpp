#include "measure/ToneAnalysis.h"

#include "measure/Spectrum.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kHighestHarmonic = 10;
// The window's main lobe is 7 bins wide on each side; the sum over a few
// more holds all but a negligible part of a component's power.
constexpr double kLobeBins = 10.0;

double Db(double ratio)
{
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

} // namespace

double CrossingFrequency(const double* x, size_t n, double rate)
{
    double first = -1.0, last = -1.0;
    long crossings = 0;
    for (size_t i = 1; i < n; ++i) {
        if (x[i - 1] < 0.0 && x[i] >= 0.0) {
            const double at = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

ToneAnalysis AnalyseTone(const double* x, size_t n, double rate)
{
    ToneAnalysis tone;
    tone.frequency = CrossingFrequency(x, n, rate);
    // A long tone's first million samples resolve its harmonics finely
    // enough; the whole would cost a transform of the whole in memory.
    const PowerSpectrum spectrum = SpectrumOf(x, std::min<size_t>(n, size_t{1} << 20), rate);
    const double lobe = kLobeBins * spectrum.binHz;
    auto around = [&](double f) { return BandPower(spectrum, f - lobe, f + lobe); };
    const double fundamental = around(tone.frequency);
    double harmonics = 0.0;
    for (int h = 2; h <= kHighestHarmonic && h * tone.frequency + lobe < rate / 2.0; ++h) {
        const double power = around(h * tone.frequency);
        harmonics += power;
        tone.harmonicsDb.push_back(Db(power / fundamental));
    }
    // Summed apart from the fundamental, not as the difference of two large
    // sums: that would leave rounding at -160 dB for a tone far cleaner.
    double rest = 0.0;
    for (size_t k = 0; k < spectrum.power.size(); ++k) {
        const double f = static_cast<double>(k) * spectrum.binHz;
        if (f > lobe && std::fabs(f - tone.frequency) > lobe) rest += spectrum.power[k];
    }
    tone.thdDb = Db(harmonics / fundamental);
    tone.thdNoiseDb = Db(rest / fundamental);
    return tone;
}
