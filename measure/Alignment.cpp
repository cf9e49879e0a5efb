#include "measure/Alignment.h"

#include "measure/Spectrum.h"

#include <algorithm>

namespace {

// Plan blocks of this many samples are correlated one at a time, so that the
// transforms stay small whatever the length of the signal.
constexpr size_t kBlock = 1 << 16;

} // namespace

size_t FindLag(const std::vector<double>& plan, const std::vector<double>& capture, size_t maxLag)
{
    if (plan.empty() || capture.empty()) return 0;
    size_t size = 1;
    while (size < kBlock + maxLag)
        size *= 2;
    std::vector<double> sums(maxLag + 1, 0.0);
    std::vector<double> a(size), b(size);
    for (size_t start = 0; start < plan.size(); start += kBlock) {
        // The block, zero beyond its end, against the capture from the same
        // point: lags up to maxLag never wrap around.
        std::fill(a.begin(), a.end(), 0.0);
        std::fill(b.begin(), b.end(), 0.0);
        const size_t count = std::min(kBlock, plan.size() - start);
        std::copy_n(plan.begin() + start, count, a.begin());
        if (start < capture.size())
            std::copy_n(capture.begin() + start, std::min(size, capture.size() - start), b.begin());
        const std::vector<double> correlation = CrossCorrelation(a, b);
        for (size_t d = 0; d <= maxLag; ++d)
            sums[d] += correlation[d];
    }
    return static_cast<size_t>(std::max_element(sums.begin(), sums.end()) - sums.begin());
}
