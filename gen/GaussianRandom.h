// The white noise's random source: a multiply-with-carry generator of 32-bit
// numbers feeding a Box-Muller transform whose values are normalised to +-1.
// Owned by WhiteNoiseGenerator; include "gen/WhiteNoiseGenerator.h" to use it.
#pragma once

#include <cstdint>

class GaussianRandom {
public:
    GaussianRandom();

    // A value of 0 seeds from the calendar clock in whole seconds.
    void Seed(uint32_t value);
    uint32_t NextBits();
    // In [0, 1): NextBits scaled by 2^-32.
    double NextUniform();
    // Two independent Gaussian values, each divided by dNorm so that it can
    // never leave [-1, +1].
    void NextGaussianPair(double& a, double& b);

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
