#include "measure/SampleChecks.h"

#include <algorithm>
#include <cmath>

Levels LevelsOf(const double* x, size_t n)
{
    Levels levels;
    if (n == 0) return levels;
    double peak = 0.0, squares = 0.0, sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        peak = std::max(peak, std::fabs(x[i]));
        squares += x[i] * x[i];
        sum += x[i];
    }
    levels.peakDb = 20.0 * std::log10(std::max(peak, 1e-15));
    levels.rmsDb = 10.0 * std::log10(std::max(squares / static_cast<double>(n), 1e-30));
    levels.dc = sum / static_cast<double>(n);
    return levels;
}

size_t ClippedSamples(const double* x, size_t n, double fullScale)
{
    return static_cast<size_t>(
        std::count_if(x, x + n, [fullScale](double v) { return std::fabs(v) >= fullScale; }));
}

size_t Dropouts(const double* plan, const double* capture, size_t n, size_t run)
{
    // Each counter is the length of the current stretch: zeros, or samples
    // equal to the one `run` before (a repeated block), in capture and plan.
    size_t found = 0, zeros = 0, planZeros = 0, repeats = 0, planRepeats = 0;
    for (size_t i = 0; i < n; ++i) {
        zeros = capture[i] == 0.0 ? zeros + 1 : 0;
        planZeros = plan[i] == 0.0 ? planZeros + 1 : 0;
        const bool back = i >= run;
        repeats = back && capture[i] != 0.0 && capture[i] == capture[i - run] ? repeats + 1 : 0;
        planRepeats = back && plan[i] == plan[i - run] ? planRepeats + 1 : 0;
        // Counted once, when the stretch reaches its length.
        if (zeros == run && planZeros < run) ++found;
        if (repeats == run && planRepeats < run) ++found;
    }
    return found;
}

double Correlation(const double* a, const double* b, size_t n)
{
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= static_cast<double>(std::max<size_t>(n, 1));
    mb /= static_cast<double>(std::max<size_t>(n, 1));
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
}
