// The verdict on a capture: the planned signal found in it, then the checks
// its kind calls for, each with its value, its limit and whether it passed.
// The plan is the very samples the card was given (an offline render of the
// same request), so the default limits fit a digital loopback; a real path
// states its gain and tolerances.
#pragma once

#include "measure/SpectralAnalysis.h"
#include "measure/Spectrum.h"
#include "measure/ToneAnalysis.h"

#include <string>
#include <vector>

enum class SignalKind { Tone, Sweep, Noise };

struct Stereo {
    std::vector<double> left, right; // full scale 1.0
};

struct VerifyInput {
    SignalKind kind = SignalKind::Tone;
    double rate = 48000.0;
    double startHz = 0.0, endHz = 0.0; // a sweep's band
    Stereo plan;                       // the signal from its first buffer to its last
    Stereo capture;         // from the first switch after the request to the end of the tail
    double fullScale = 1.0; // the largest sample the format holds
    size_t bufferFrames = 256;
};

struct VerifyLimits {
    double gainDb = 0.0;            // expected gain of the path
    double levelToleranceDb = 0.01; // for the gain, the channels' difference, a sweep's flatness
    double frequencyToleranceHz = 0.01;
    double largestThdNoiseDb = 1.0; // above 0: the plan's own THD+N plus this margin
    double slopeToleranceDb = 0.5;  // per octave, against the plan's
    double leastCorrelation = 0.99; // of left and right, for noise
};

struct Check {
    std::string name;
    double value;
    std::string unit;
    std::string limit; // "" for a figure reported without a limit
    bool pass;
    double bound = 0.0; // the limit's number; for a value within a tolerance, the expected one
};

struct VerifyReport {
    size_t latencyFrames = 0;
    double latencyMs = 0.0;
    bool bitExact = false;
    std::vector<Check> checks;
    ToneAnalysis tone;      // of a tone's steady part
    SweepAnalysis sweep;    // of a sweep
    PowerSpectrum spectrum; // of the aligned capture's left channel, for a plot
    bool passed = false;
};

VerifyReport Verify(const VerifyInput& input, const VerifyLimits& limits);
