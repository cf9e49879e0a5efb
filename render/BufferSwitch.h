// One buffer switch: the first playing generator into the selected pair, in
// the card's layout (24-bit packing, float conversion), faded out when the
// view's fade asks for it, silence for every other usable pair, and the input
// pair's copy when a capture is set up. Driver thread: no allocation, no lock,
// no log line, no system call; everything comes from the view, prepared
// before the driver started.
#pragma once

#include "render/RenderView.h"

#include <cstdint>

// half is the double-buffer index; any other value renders nothing.
void RenderBufferSwitch(SampleLayout layout, const RenderView& view, int32_t half);

// n 32-bit values as n packed little-endian 24-bit samples: exactly 3n bytes,
// nothing at or past offset 3n touched. Only the low 24 bits are kept.
void PackInt24LSB(const int32_t* source, uint8_t* destination, uint32_t n);

// In place: each 32-bit integer becomes the float nearest to it times 2^-31.
void Int32ToFloat32(int32_t* buffer, uint32_t n);
