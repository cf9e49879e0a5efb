// What a captured tone is: its frequency from the zero crossings, its
// harmonics and distortion from one spectrum of its steady part.
#pragma once

#include <cstddef>
#include <vector>

struct ToneAnalysis {
    double frequency = 0.0;          // Hz
    double thdDb = 0.0;              // harmonics 2 to 10 against the fundamental
    double thdNoiseDb = 0.0;         // everything but the fundamental and DC
    std::vector<double> harmonicsDb; // harmonic 2, 3 ... against the fundamental
};

// From rising zero crossings, interpolated between samples; 0 with fewer
// than two.
double CrossingFrequency(const double* x, size_t n, double rate);

// x holds the tone's steady part only: no ramp, no silence.
ToneAnalysis AnalyseTone(const double* x, size_t n, double rate);
