// Checks on the samples themselves, whatever the signal: level, DC offset,
// samples at full scale, dropouts against the plan, bit-exactness, and how
// alike the two channels of a pair are.
#pragma once

#include <cstddef>
#include <vector>

struct Levels {
    double peakDb = -300.0; // dBFS
    double rmsDb = -300.0;  // dBFS; a full-scale sine reads -3.01
    double dc = 0.0;        // mean, full scale 1.0
};

Levels LevelsOf(const double* x, size_t n);

// Samples at or beyond full scale: what a converter or a clipping stage
// leaves flat at its limit. fullScale is the largest value the format holds.
size_t ClippedSamples(const double* x, size_t n, double fullScale);

// Stretches of the capture where the signal went missing: runs of at least
// `run` zero samples, or blocks of `run` samples repeating the block before,
// where the aligned plan has neither. capture[i] is aligned with plan[i].
size_t Dropouts(const double* plan, const double* capture, size_t n, size_t run);

// Pearson's correlation of two channels; 1 for equal non-silent ones.
double Correlation(const double* a, const double* b, size_t n);
