// The four buffer-switch callbacks the host hands a driver, one per accepted
// card sample type. Each renders the setup's view of the host state (render/),
// counts the switch in dwCountBuffers and tells the driver the output is
// ready when it asked for that. Driver thread: no allocation, no lock, no log
// line, no system call of ours.
#pragma once

#include "host/AsioInterface.h"
#include "render/RenderView.h"

#include <cstdint>

void bufferSwitchInt16LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchInt24LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchInt32LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchFloat32LSB(int32_t doubleBufferIndex, ASIOBool directProcess);

// User-interface thread, while the driver is stopped: points the view at
// the setup's generators, half-buffers, pair flags, scratch arrays and
// capture tap, or empties it so that a stray switch renders nothing.
void PrepareRenderView();
void ClearRenderView();

// User-interface thread, while the driver runs: the signal ends without a
// click, falling to zero over rampFrames frames (at least 1), then silence
// until the next setup. A second request changes nothing.
void RequestFadeOut(uint32_t rampFrames);
// True once the render path has rendered the whole ramp.
bool FadeOutDone();
