#include "measure/Verification.h"

#include "measure/Alignment.h"
#include "measure/SampleChecks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

std::string Text(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

class Checks {
public:
    explicit Checks(VerifyReport& report) : m_report(report) {}
    void Figure(const char* name, double value, const char* unit)
    {
        m_report.checks.push_back({name, value, unit, "", true});
    }
    void AtMost(const char* name, double value, const char* unit, double limit)
    {
        m_report.checks.push_back(
            {name, value, unit, Text("<= %.4g", limit), value <= limit, limit});
    }
    void AtLeast(const char* name, double value, const char* unit, double limit)
    {
        m_report.checks.push_back(
            {name, value, unit, Text(">= %.4g", limit), value >= limit, limit});
    }
    void Within(const char* name, double value, const char* unit, double expected, double tolerance)
    {
        const std::string limit = Text("%.6g", expected) + Text(" +- %.4g", tolerance);
        m_report.checks.push_back(
            {name, value, unit, limit, std::fabs(value - expected) <= tolerance + 1e-12, expected});
    }

private:
    VerifyReport& m_report;
};

// The capture's samples aligned with the plan's, as long as the plan.
std::vector<double> Aligned(const std::vector<double>& capture, size_t lag, size_t length)
{
    std::vector<double> out(length, 0.0);
    for (size_t i = 0; i < length && lag + i < capture.size(); ++i)
        out[i] = capture[lag + i];
    return out;
}

double RmsDb(const std::vector<double>& x, size_t begin, size_t end)
{
    return LevelsOf(x.data() + begin, end - begin).rmsDb;
}

} // namespace

VerifyReport Verify(const VerifyInput& input, const VerifyLimits& limits)
{
    VerifyReport report;
    Checks checks(report);
    const size_t n = input.plan.left.size();
    const size_t maxLag = input.capture.left.size() > n ? input.capture.left.size() - n : 0;
    report.latencyFrames = FindLag(input.plan.left, input.capture.left, maxLag);
    report.latencyMs = 1000.0 * report.latencyFrames / input.rate;
    const std::vector<double> left = Aligned(input.capture.left, report.latencyFrames, n);
    const std::vector<double> right = Aligned(input.capture.right, report.latencyFrames, n);
    report.bitExact = left == input.plan.left && right == input.plan.right;
    // For a plot: a few thousand points are all a reader sees, and noise
    // needs many segments averaged to show its shape.
    const size_t segment = input.kind == SignalKind::Noise ? 8192 : 65536;
    report.spectrum = AveragedSpectrum(left.data(), n, input.rate, std::min(n, segment));
    checks.Figure("latency", static_cast<double>(report.latencyFrames), "frames");
    checks.Figure("latency", report.latencyMs, "ms");
    checks.Figure("bit-exact", report.bitExact ? 1.0 : 0.0, "");
    const Levels levels = LevelsOf(left.data(), n);
    checks.Figure("peak", levels.peakDb, "dBFS");
    checks.Figure("RMS", levels.rmsDb, "dBFS");
    // Silence has no gain, frequency or distortion to measure.
    const bool heard = std::any_of(left.begin(), left.end(), [](double v) { return v != 0.0; }) ||
                       std::any_of(right.begin(), right.end(), [](double v) { return v != 0.0; });
    if (!heard) {
        checks.AtLeast("signal came back", 0.0, "", 1.0);
        report.passed = false;
        return report;
    }
    const size_t clipped = ClippedSamples(left.data(), n, input.fullScale) +
                           ClippedSamples(right.data(), n, input.fullScale);
    checks.AtMost("clipped samples", static_cast<double>(clipped), "", 0.0);
    const size_t dropouts = Dropouts(input.plan.left.data(), left.data(), n, input.bufferFrames) +
                            Dropouts(input.plan.right.data(), right.data(), n, input.bufferFrames);
    checks.AtMost("dropouts", static_cast<double>(dropouts), "", 0.0);

    // The gain is judged where the signal is steady: a tone without its
    // ramps, a sweep and noise whole.
    size_t begin = 0, end = n;
    if (input.kind == SignalKind::Tone) {
        const size_t ramp = std::min<size_t>(n / 4, static_cast<size_t>(0.05 * input.rate));
        begin = ramp;
        end = n - ramp;
    }
    const double gain = RmsDb(left, begin, end) - RmsDb(input.plan.left, begin, end);
    const double difference = RmsDb(left, begin, end) - RmsDb(right, begin, end);
    checks.Within("left/right difference", difference, "dB", 0.0, limits.levelToleranceDb);

    switch (input.kind) {
    case SignalKind::Tone: {
        checks.Within("gain", gain, "dB", limits.gainDb, limits.levelToleranceDb);
        const ToneAnalysis plan =
            AnalyseTone(input.plan.left.data() + begin, end - begin, input.rate);
        report.tone = AnalyseTone(left.data() + begin, end - begin, input.rate);
        checks.Within("frequency", report.tone.frequency, "Hz", plan.frequency,
                      limits.frequencyToleranceHz);
        // Over whole cycles: the mean of a part cycle is no offset.
        size_t whole = end - begin;
        if (report.tone.frequency > 0.0) {
            const double period = input.rate / report.tone.frequency;
            whole = static_cast<size_t>(std::lround(std::floor(whole / period) * period));
        }
        checks.AtMost("DC offset", std::fabs(LevelsOf(left.data() + begin, whole).dc), "FS", 1e-4);
        checks.Figure("THD", report.tone.thdDb, "dB");
        const double thdnLimit = limits.largestThdNoiseDb > 0.0
                                     ? plan.thdNoiseDb + limits.largestThdNoiseDb
                                     : limits.largestThdNoiseDb;
        checks.AtMost("THD+N", report.tone.thdNoiseDb, "dB", thdnLimit);
        break;
    }
    case SignalKind::Sweep: {
        report.sweep = AnalyseSweep(input.plan.left.data(), left.data(), n, input.rate,
                                    input.startHz, input.endHz);
        checks.Within("gain", report.sweep.medianGainDb, "dB", limits.gainDb,
                      limits.levelToleranceDb);
        checks.AtMost("response deviation", report.sweep.largestDeviationDb, "dB",
                      std::max(limits.levelToleranceDb, 0.05));
        for (const ResponsePoint& point : report.sweep.thd)
            checks.Figure(("THD at " + Text("%.0f Hz", point.frequency)).c_str(), point.gainDb,
                          "dB");
        break;
    }
    case SignalKind::Noise: {
        checks.Within("gain", gain, "dB", limits.gainDb, limits.levelToleranceDb);
        checks.Within("slope", OctaveSlopeDb(left.data(), n, input.rate), "dB/octave",
                      OctaveSlopeDb(input.plan.left.data(), n, input.rate),
                      limits.slopeToleranceDb);
        checks.AtLeast("left/right correlation", Correlation(left.data(), right.data(), n), "",
                       limits.leastCorrelation);
        break;
    }
    }
    report.passed = std::all_of(report.checks.begin(), report.checks.end(),
                                [](const Check& c) { return c.pass; });
    return report;
}
