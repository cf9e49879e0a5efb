#include "host/BufferSwitchEntries.h"

#include "host/HostCapture.h"
#include "host/HostState.h"
#include "render/BufferSwitch.h"

static_assert(kRenderMaxPairs == kMaxOutputPairs, "the render view holds every pair");

namespace {

// Written only while the driver is stopped; read by its thread afterwards.
RenderView g_renderView;
// Cleared only while the driver is stopped; asked for while it runs.
RenderFade g_renderFade;

void ClearFade()
{
    g_renderFade.rampFrames.store(0, std::memory_order_relaxed);
    g_renderFade.framesDone.store(0, std::memory_order_relaxed);
}

void Switch(SampleLayout layout, int32_t half)
{
    // A switch with no setup behind it, or an index that is neither half,
    // renders and counts nothing.
    if (g_renderView.sine == nullptr || (half != 0 && half != 1)) return;
    RenderBufferSwitch(layout, g_renderView, half);
    // The render thread is the only writer: a plain increment suffices.
    dwCountBuffers.store(dwCountBuffers.load(std::memory_order_relaxed) + 1,
                         std::memory_order_relaxed);
    if (asioDriverInfo.bOutputReady) ptrASIO->outputReady();
}

} // namespace

void bufferSwitchInt16LSB(int32_t doubleBufferIndex, ASIOBool)
{
    Switch(SampleLayout::Int16, doubleBufferIndex);
}

void bufferSwitchInt24LSB(int32_t doubleBufferIndex, ASIOBool)
{
    Switch(SampleLayout::Int24, doubleBufferIndex);
}

void bufferSwitchInt32LSB(int32_t doubleBufferIndex, ASIOBool)
{
    Switch(SampleLayout::Int32, doubleBufferIndex);
}

void bufferSwitchFloat32LSB(int32_t doubleBufferIndex, ASIOBool)
{
    Switch(SampleLayout::Float32, doubleBufferIndex);
}

void PrepareRenderView()
{
    AsioDriverInfo& info = asioDriverInfo;
    RenderView view;
    view.sine = pSineGenerator;
    view.pink = pPinkNoiseGenerator;
    view.white = pWhiteNoiseGenerator;
    view.frames = static_cast<uint32_t>(info.preferredSize);
    view.halfBytes = dwBufferSizeBytes;
    view.pairs = info.nOutputPairs < kMaxOutputPairs ? info.nOutputPairs : kMaxOutputPairs;
    for (int32_t pair = 0; pair < view.pairs; ++pair)
        for (int32_t channel = 0; channel < 2; ++channel)
            for (int32_t half = 0; half < 2; ++half)
                view.outputs[pair][channel][half] =
                    info.outputBufferInfos[2 * pair + channel].buffers[half];
    view.pairUsable = info.bPairUsable;
    view.pairSelected = info.bPairSelected;
    view.selectedPair = &info.nSelectedPair;
    view.int24ScratchA = info.pInt24ScratchA;
    view.int24ScratchB = info.pInt24ScratchB;
    ClearFade();
    view.fade = &g_renderFade;
    view.capture = pHostCapture != nullptr ? pHostCapture->Tap() : nullptr;
    g_renderView = view;
}

void ClearRenderView()
{
    g_renderView = RenderView{};
    ClearFade();
}

void RequestFadeOut(uint32_t rampFrames)
{
    if (rampFrames == 0 || g_renderFade.rampFrames.load(std::memory_order_relaxed) != 0) return;
    g_renderFade.rampFrames.store(rampFrames, std::memory_order_release);
}

bool FadeOutDone()
{
    const uint32_t ramp = g_renderFade.rampFrames.load(std::memory_order_relaxed);
    return ramp != 0 && g_renderFade.framesDone.load(std::memory_order_acquire) >= ramp;
}
