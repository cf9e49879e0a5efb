#include "measure/SpectralAnalysis.h"

#include "measure/Spectrum.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kSegment = 8192;

double Db(double ratio)
{
    return 10.0 * std::log10(std::max(ratio, 1e-30));
}

double Slope(const std::vector<double>& y)
{
    const double n = static_cast<double>(y.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double x = static_cast<double>(i);
        sx += x;
        sy += y[i];
        sxx += x * x;
        sxy += x * y[i];
    }
    const double divisor = n * sxx - sx * sx;
    return divisor != 0.0 ? (n * sxy - sx * sy) / divisor : 0.0;
}

double Median(std::vector<double> values)
{
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

SweepAnalysis AnalyseSweep(const double* plan, const double* capture, size_t n, double rate,
                           double startHz, double endHz)
{
    SweepAnalysis sweep;
    // Half a segment of silence at each end: otherwise the windows' tails
    // would all but hide the frequencies the sweep plays first and last.
    auto padded = [n](const double* x) {
        std::vector<double> out(n + kSegment, 0.0);
        std::copy(x, x + n, out.begin() + kSegment / 2);
        return out;
    };
    const std::vector<double> planPadded = padded(plan), capturePadded = padded(capture);
    const PowerSpectrum p = AveragedSpectrum(planPadded.data(), n + kSegment, rate, kSegment);
    const PowerSpectrum c = AveragedSpectrum(capturePadded.data(), n + kSegment, rate, kSegment);
    // Third octaves inside the band the sweep crosses; it stops short of its
    // end frequency by its closing buffer, so the top five percent are left.
    const double low = std::min(startHz, endHz);
    const double high = low + 0.95 * std::fabs(endHz - startHz);
    // Bands the sweep crosses only within its fade-in or fade-out hold too
    // little of the plan to measure against the path's noise: a band counts
    // when its planned power per hertz is within 20 dB of the bands' median.
    const double sixth = std::pow(2.0, 1.0 / 6.0);
    std::vector<double> centres, densities;
    for (double centre = low * sixth; centre * sixth <= high; centre *= sixth * sixth) {
        centres.push_back(centre);
        densities.push_back(BandPower(p, centre / sixth, centre * sixth) / centre);
    }
    const double leastDensity = Median(densities) / 100.0;
    std::vector<double> gains;
    for (size_t b = 0; b < centres.size(); ++b) {
        const double centre = centres[b];
        if (densities[b] <= 0.0 || densities[b] < leastDensity) continue;
        const double gain =
            Db(BandPower(c, centre / sixth, centre * sixth) / (densities[b] * centre));
        sweep.response.push_back({centre, gain});
        gains.push_back(gain);
    }
    sweep.medianGainDb = Median(gains);
    for (double gain : gains)
        sweep.largestDeviationDb =
            std::max(sweep.largestDeviationDb, std::fabs(gain - sweep.medianGainDb));

    // Distortion where the sweep is at a quarter, half and three quarters:
    // the harmonics' bands are the fundamental's band multiplied.
    // Each window is centred on its quarter and must lie inside the sweep.
    if (n < 2 * kSegment) return sweep;
    for (size_t quarter = 1; quarter <= 3; ++quarter) {
        const size_t start = quarter * n / 4 - kSegment / 2;
        const PowerSpectrum s = SpectrumOf(capture + start, kSegment, rate);
        const double f0 = startHz + (endHz - startHz) * static_cast<double>(start) / n;
        const double f1 = startHz + (endHz - startHz) * static_cast<double>(start + kSegment) / n;
        const double margin = 6.0 * s.binHz;
        const double lo = std::min(f0, f1) - margin, hi = std::max(f0, f1) + margin;
        if (2.0 * hi >= rate / 2.0) continue; // no harmonic below the Nyquist frequency
        const double fundamental = BandPower(s, lo, hi);
        double harmonics = 0.0;
        for (int h = 2; h <= 10 && h * hi < rate / 2.0; ++h)
            harmonics += BandPower(s, h * lo, h * hi);
        sweep.thd.push_back({(f0 + f1) / 2.0, Db(harmonics / fundamental)});
    }
    return sweep;
}

double OctaveSlopeDb(const double* x, size_t n, double rate)
{
    const PowerSpectrum s = AveragedSpectrum(x, n, rate, kSegment);
    std::vector<double> densities;
    for (double low = 100.0; 2.0 * low <= rate / 4.0; low *= 2.0) {
        const double bins = std::max(1.0, std::floor(low / s.binHz));
        densities.push_back(Db(BandPower(s, low, 2.0 * low - s.binHz) / bins));
    }
    return Slope(densities);
}
