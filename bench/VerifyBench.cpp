// The analysis verify runs on a capture, timed for each signal: a 10 s
// request at 96000 Hz in float, rendered offline as verify renders its plan,
// and its capture made of the same samples 256 frames later with half a
// second of tail. It should take far less than the signal's own length.
// Run by hand; the peak memory of a whole verify run is bench/verify-memory's.
#include "host/HostSession.h"
#include "measure/Verification.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr double kRate = 96000.0;
constexpr size_t kLatency = 256;

Stereo Render(const SignalRequest& request)
{
    OfflineSettings settings;
    settings.encoding = SampleEncoding::Float32;
    settings.sampleRate = static_cast<uint32_t>(kRate);
    HostSession session;
    Stereo plan;
    if (session.StartOffline(settings) != SessionStart::Started ||
        session.Play(request).status != PlayStatus::Armed)
        return plan;
    session.SetNoiseSeed(7);
    session.RenderToSamples(request.signal, plan.left, plan.right);
    return plan;
}

} // namespace

int main()
{
    struct Case {
        const char* name;
        SignalKind kind;
        SignalRequest request;
    };
    const Case cases[] = {
        {"sine 1000", SignalKind::Tone, {Signal::Sine, 1000.0, 0.0, 10.0, 12}},
        {"sweep 20 20000", SignalKind::Sweep, {Signal::Sweep, 20.0, 20000.0, 10.0, 12}},
        {"pink", SignalKind::Noise, {Signal::Pink, 0.0, 0.0, 10.0, 12}},
        {"white", SignalKind::Noise, {Signal::White, 0.0, 0.0, 10.0, 12}},
    };
    std::printf("%-16s %10s %12s %8s\n", "signal", "seconds", "analysis s", "verdict");
    for (const Case& c : cases) {
        VerifyInput input;
        input.kind = c.kind;
        input.rate = kRate;
        input.startHz = c.request.frequency;
        input.endHz = c.request.endFrequency;
        input.plan = Render(c.request);
        const size_t tail = static_cast<size_t>(kRate / 2);
        for (auto [plan, capture] : {std::pair{&input.plan.left, &input.capture.left},
                                     std::pair{&input.plan.right, &input.capture.right}}) {
            capture->assign(kLatency, 0.0);
            capture->insert(capture->end(), plan->begin(), plan->end());
            capture->resize(capture->size() + tail, 0.0);
        }
        const auto start = std::chrono::steady_clock::now();
        const VerifyReport report = Verify(input, VerifyLimits{});
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%-16s %10.2f %12.3f %8s\n", c.name, input.plan.left.size() / kRate,
                    took.count(), report.passed && report.latencyFrames == kLatency ? "PASS" : "FAIL");
    }
}
