#include "measure/Spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <iterator>
#include <numbers>

namespace {

// A real-to-complex transform of one size, with its plan and buffers.
class RealTransform {
public:
    explicit RealTransform(size_t n)
        : n(n), in(fftw_alloc_real(n)), out(fftw_alloc_complex(n / 2 + 1)),
          plan(fftw_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE))
    {
    }
    ~RealTransform()
    {
        fftw_destroy_plan(plan);
        fftw_free(out);
        fftw_free(in);
    }
    RealTransform(const RealTransform&) = delete;
    RealTransform& operator=(const RealTransform&) = delete;

    double* Input() { return in; }
    const fftw_complex* Run()
    {
        fftw_execute(plan);
        return out;
    }

    const size_t n;

private:
    double* in;
    fftw_complex* out;
    fftw_plan plan;
};

// The 7-term Blackman-Harris window: sidelobes near -180 dB, so that a tone's
// own leakage stays far below the noise of any 24-bit converter.
std::vector<double> BlackmanHarris(size_t n)
{
    static constexpr double kTerms[] = {0.27105140069342,  -0.43329793923448, 0.21812299954311,
                                        -0.06592544638803, 0.01081174209837,  -0.00077658482522,
                                        0.00001388721735};
    std::vector<double> w(n);
    for (size_t i = 0; i < n; ++i) {
        const double x = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n);
        for (size_t k = 0; k < std::size(kTerms); ++k)
            w[i] += kTerms[k] * std::cos(static_cast<double>(k) * x);
    }
    return w;
}

// Adds the scaled power of one windowed segment to spectrum.
void AddSegment(RealTransform& transform, const double* x, const std::vector<double>& window,
                std::vector<double>& power)
{
    const size_t n = transform.n;
    double windowSquares = 0.0;
    for (size_t i = 0; i < n; ++i) {
        transform.Input()[i] = x[i] * window[i];
        windowSquares += window[i] * window[i];
    }
    const fftw_complex* out = transform.Run();
    for (size_t k = 0; k <= n / 2; ++k) {
        // One-sided: every bin but DC and Nyquist holds its negative twin.
        const double side = (k == 0 || 2 * k == n) ? 1.0 : 2.0;
        power[k] += side * (out[k][0] * out[k][0] + out[k][1] * out[k][1]) /
                    (static_cast<double>(n) * windowSquares);
    }
}

} // namespace

PowerSpectrum SpectrumOf(const double* x, size_t n, double rate)
{
    return AveragedSpectrum(x, n, rate, n);
}

PowerSpectrum AveragedSpectrum(const double* x, size_t n, double rate, size_t segment)
{
    PowerSpectrum spectrum;
    segment = std::min(segment, n);
    if (segment < 2) return spectrum;
    spectrum.binHz = rate / static_cast<double>(segment);
    spectrum.power.assign(segment / 2 + 1, 0.0);
    RealTransform transform(segment);
    const std::vector<double> window = BlackmanHarris(segment);
    size_t segments = 0;
    for (size_t start = 0; start + segment <= n; start += std::max<size_t>(segment / 2, 1)) {
        AddSegment(transform, x + start, window, spectrum.power);
        ++segments;
    }
    for (double& p : spectrum.power)
        p /= static_cast<double>(segments);
    return spectrum;
}

double BandPower(const PowerSpectrum& spectrum, double low, double high)
{
    if (spectrum.binHz <= 0.0) return 0.0;
    const double last = static_cast<double>(spectrum.power.size() - 1);
    const size_t from = static_cast<size_t>(std::clamp(std::ceil(low / spectrum.binHz), 0.0, last));
    const size_t to = static_cast<size_t>(std::clamp(std::floor(high / spectrum.binHz), 0.0, last));
    double sum = 0.0;
    for (size_t k = from; k <= to && low <= high; ++k)
        sum += spectrum.power[k];
    return sum;
}

std::vector<double> CrossCorrelation(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = a.size();
    std::vector<double> result(n, 0.0);
    if (n == 0 || b.size() != n) return result;
    RealTransform ta(n), tb(n);
    std::copy(a.begin(), a.end(), ta.Input());
    std::copy(b.begin(), b.end(), tb.Input());
    const fftw_complex* fa = ta.Run();
    const fftw_complex* fb = tb.Run();
    // conj(A) * B, back through the inverse transform.
    std::vector<std::complex<double>> product(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k)
        product[k] = std::conj(std::complex<double>(fa[k][0], fa[k][1])) *
                     std::complex<double>(fb[k][0], fb[k][1]);
    fftw_plan inverse =
        fftw_plan_dft_c2r_1d(static_cast<int>(n), reinterpret_cast<fftw_complex*>(product.data()),
                             result.data(), FFTW_ESTIMATE);
    fftw_execute(inverse);
    fftw_destroy_plan(inverse);
    for (double& r : result)
        r /= static_cast<double>(n);
    return result;
}
