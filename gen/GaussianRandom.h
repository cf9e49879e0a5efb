// The white noise's random source: a multiply-with-carry generator of 32-bit
// numbers feeding a Box-Muller transform whose values are normalised to +-1.
// Owned by WhiteNoiseGenerator; include "gen/WhiteNoiseGenerator.h" to use it.
#pragma once

#include <cstdint>

class GaussianRandom {
public:
    static constexpr double kTwoToMinus32 = 2.3283064365386963e-10;

    GaussianRandom();

    // A value of 0 takes NoiseSeed(): the calendar clock, or the fixed seed.
    void Seed(uint32_t value);
    // Here, not in the .cpp: a call through the shared library's symbol
    // table for each number would cost as much as the number.
    uint32_t NextBits()
    {
        const uint64_t sum =
            2111111111ull * x3 + 1492ull * x2 + 1776ull * x1 + 5115ull * x0 + carry;
        x3 = x2;
        x2 = x1;
        x1 = x0;
        carry = static_cast<uint32_t>(sum >> 32);
        x0 = static_cast<uint32_t>(sum);
        return x0;
    }
    // In [0, 1): NextBits scaled by 2^-32.
    double NextUniform() { return static_cast<double>(NextBits()) * kTwoToMinus32; }
    // Two independent Gaussian values, each divided by dNorm so that it can
    // never leave [-1, +1].
    void NextGaussianPair(double& a, double& b);
    // count pairs into values[0 .. 2 * count), each pair as NextGaussianPair
    // gives it: the render thread's way, one call per block.
    void NextGaussianPairs(double* values, uint32_t count);

    // The largest radius Box-Muller can give, reached at the smallest accepted
    // uniform value 2^-32.
    double dNorm;
    // The last four outputs, x0 the newest, and the recurrence's carry.
    uint32_t x0;
    uint32_t x1;
    uint32_t x2;
    uint32_t x3;
    uint32_t carry;
};
