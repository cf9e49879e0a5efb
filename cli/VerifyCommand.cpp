#include "cli/VerifyCommand.h"

#include "cli/ExitStatus.h"
#include "cli/PlaySession.h"
#include "cli/PlotWriter.h"
#include "cli/VerifyOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void Report(const std::string& text)
{
    std::fprintf(stderr, "tonewright-play: %s\n", text.c_str());
}

SignalKind KindOf(PlayCommand command)
{
    switch (command) {
    case PlayCommand::Sweep:
        return SignalKind::Sweep;
    case PlayCommand::Pink:
    case PlayCommand::White:
        return SignalKind::Noise;
    default:
        return SignalKind::Tone;
    }
}

// The largest sample of an integer format is one step below 1.0.
double FullScale(SampleEncoding encoding)
{
    switch (encoding) {
    case SampleEncoding::Int16:
        return 32767.0 / 32768.0;
    case SampleEncoding::Int24:
        return 8388607.0 / 8388608.0;
    case SampleEncoding::Int32:
        return 2147483647.0 / 2147483648.0;
    case SampleEncoding::Float32:
        break;
    }
    return 1.0;
}

// The very samples the card was given: the same request, the same seed, on
// a card of the host's own with the card's format, rate and buffer size.
bool RenderPlan(const PlayArguments& arguments, const PlayedCapture& played, Stereo& plan)
{
    OfflineSettings settings;
    settings.encoding = played.card.encoding;
    settings.sampleRate = static_cast<uint32_t>(std::lround(played.card.sampleRate));
    settings.bufferFrames = played.card.bufferFrames;
    HostSession offline;
    if (offline.StartOffline(settings) != SessionStart::Started) {
        Report("the plan could not be rendered: the offline card did not start");
        return false;
    }
    offline.SetNoiseSeed(played.seed);
    const SignalRequest request = RequestFor(arguments);
    if (offline.Play(request).status != PlayStatus::Armed ||
        offline.RenderToSamples(request.signal, plan.left, plan.right).end != RenderEnd::Ended) {
        Report("the plan could not be rendered");
        return false;
    }
    return true;
}

double Db(double power)
{
    return 10.0 * std::log10(std::max(power, 1e-30));
}

// The curve a reader checks by eye: a sweep's response against its gain
// limits, or the spectrum of a tone or noise against the THD+N or level limit.
Plot PlotOf(const VerifyReport& report, const VerifyInput& input, const VerifyLimits& limits,
            const std::string& title)
{
    Plot plot;
    plot.title = title;
    if (input.kind == SignalKind::Sweep) {
        plot.yLabel = "gain (dB)";
        for (const ResponsePoint& point : report.sweep.response) {
            plot.hertz.push_back(point.frequency);
            plot.db.push_back(point.gainDb);
        }
        const double tolerance = std::max(limits.levelToleranceDb, 0.05);
        plot.limits = {{limits.gainDb + tolerance, "upper limit"},
                       {limits.gainDb - tolerance, "lower limit"}};
        return plot;
    }
    plot.yLabel = "power (dBFS)";
    const PowerSpectrum& spectrum = report.spectrum;
    for (size_t k = 1; k < spectrum.power.size(); ++k) {
        plot.hertz.push_back(k * spectrum.binHz);
        plot.db.push_back(Db(spectrum.power[k]));
    }
    // The THD+N limit as a level below the tone's peak; noise's limits (gain,
    // slope) are no levels of its spectrum, so they stand in the title.
    for (const Check& check : report.checks) {
        if (check.name == "THD+N" && !plot.db.empty())
            plot.limits.push_back(
                {*std::max_element(plot.db.begin(), plot.db.end()) + check.bound, "THD+N limit"});
        if (input.kind == SignalKind::Noise && (check.name == "gain" || check.name == "slope")) {
            char text[96];
            std::snprintf(text, sizeof text, "; %s %.2f %s (%s%s)", check.name.c_str(),
                          check.value, check.unit.c_str(), check.limit.c_str(),
                          check.pass ? "" : ", FAIL");
            plot.title += text;
        }
    }
    return plot;
}

} // namespace

int RunVerify(const PlayArguments& arguments)
{
    PlayedCapture played;
    const int status = RunPlaySession(arguments, &played);
    if (status != kExitPlayed) return status;

    VerifyInput input;
    input.kind = KindOf(arguments.command);
    input.rate = played.card.sampleRate;
    input.startHz = arguments.freqStart;
    input.endHz = arguments.freqEnd;
    input.fullScale = FullScale(played.card.encoding);
    input.bufferFrames = static_cast<size_t>(played.card.bufferFrames);
    // From the switch that played the signal's first buffer: the latency
    // is the path's alone.
    const auto skipped = static_cast<long>(
        std::min<uint64_t>(played.capture.signalFrame, played.capture.left.size()));
    input.capture.left = std::move(played.capture.left);
    input.capture.right = std::move(played.capture.right);
    for (std::vector<double>* channel : {&input.capture.left, &input.capture.right})
        channel->erase(channel->begin(), channel->begin() + skipped);
    if (!RenderPlan(arguments, played, input.plan)) return kExitHostFailure;
    if (input.plan.left.empty() || input.capture.left.size() < input.plan.left.size()) {
        Report("the capture is shorter than the signal; nothing to measure");
        return kExitHostFailure;
    }

    VerifyLimits limits;
    limits.gainDb = arguments.gainDb;
    limits.levelToleranceDb = arguments.toleranceDb;
    limits.largestThdNoiseDb = arguments.thdnDb;
    limits.frequencyToleranceHz = arguments.frequencyToleranceHz;
    const VerifyReport report = Verify(input, limits);

    const VerifyHeading heading = {played.signal,          played.card.name,
                                   played.card.sampleType, played.card.sampleRate,
                                   arguments.inputPair,    played.seed};
    if (!report.checks.empty() && report.checks.back().name == "signal came back")
        Report("nothing came back on input pair " + std::to_string(arguments.inputPair) + " of " +
               played.card.name + ": check the loopback and the --input pair");
    if (arguments.json)
        PrintVerifyJson(stdout, heading, report);
    else
        PrintVerifyTable(stdout, heading, report);
    if (!arguments.plot.empty()) {
        std::string error;
        if (!WritePlot(arguments.plot, PlotOf(report, input, limits, played.signal), error)) {
            Report("cannot write " + Shown(arguments.plot) + ": " + error);
            return kExitHostFailure;
        }
    }
    return report.passed ? kExitPlayed : kExitVerifyFailed;
}
