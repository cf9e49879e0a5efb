// Power spectra of real signals, computed by FFTW: one-sided, windowed with
// a 7-term Blackman-Harris window (sidelobes near -180 dB, main lobe 7 bins
// to each side) and scaled so that the bins of a sinusoid of amplitude A sum
// to A^2 / 2 and the bins of any signal sum to its mean square. User thread
// only: FFTW's planner is not thread-safe.
#pragma once

#include <cstddef>
#include <vector>

struct PowerSpectrum {
    double binHz = 0.0;
    std::vector<double> power; // bin k is at k * binHz, k = 0 .. n / 2
};

// One window over n samples from x.
PowerSpectrum SpectrumOf(const double* x, size_t n, double rate);

// Averaged over segments of `segment` samples that overlap by half (Welch):
// for noise, whose single spectrum would scatter by its own randomness.
PowerSpectrum AveragedSpectrum(const double* x, size_t n, double rate, size_t segment);

// The summed power of the bins from low to high Hz (both included).
double BandPower(const PowerSpectrum& spectrum, double low, double high);

// Circular cross-correlation of a against b for every lag, through the FFT:
// result[d] = sum over t of a[t] * b[(t + d) mod n], n = a.size() = b.size().
std::vector<double> CrossCorrelation(const std::vector<double>& a, const std::vector<double>& b);
