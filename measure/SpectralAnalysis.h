// What a captured sweep or noise does across the band: the sweep's
// magnitude response against the plan's, third-octave by third-octave, with
// distortion at a few instants; the noise's slope per octave.
#pragma once

#include <cstddef>
#include <vector>

struct ResponsePoint {
    double frequency; // the band's centre, Hz
    double gainDb;    // capture against plan in the band
};

struct SweepAnalysis {
    std::vector<ResponsePoint> response;
    double largestDeviationDb = 0.0; // from the median gain of the bands
    double medianGainDb = 0.0;
    std::vector<ResponsePoint> thd; // at a quarter, half and three quarters: THD in dB
};

// plan and capture aligned, n samples of the sweep from startHz to endHz.
SweepAnalysis AnalyseSweep(const double* plan, const double* capture, size_t n, double rate,
                           double startHz, double endHz);

// Least-squares slope of the octave bands' mean power density, dB per octave,
// from 100 Hz to the highest whole octave below a quarter of the rate;
// pink noise gives about -3.01, white 0.
double OctaveSlopeDb(const double* x, size_t n, double rate);
