// The four buffer-switch callbacks, one per accepted card sample type, with
// the 24-bit packing and the float conversion they use.
// Driver thread: no allocation, no lock, no log line, no system call. They
// rely on the driver setup for generators, buffers and scratch arrays.
#pragma once

#include "host/AsioInterface.h"

#include <cstdint>

void bufferSwitchInt16LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchInt24LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchInt32LSB(int32_t doubleBufferIndex, ASIOBool directProcess);
void bufferSwitchFloat32LSB(int32_t doubleBufferIndex, ASIOBool directProcess);

// n 32-bit values as n packed little-endian 24-bit samples: exactly 3n bytes,
// nothing at or past offset 3n touched. Only the low 24 bits are kept.
void PackInt24LSB(const int32_t* source, uint8_t* destination, uint32_t n);

// In place: each 32-bit integer becomes the float nearest to it times 2^-31.
void Int32ToFloat32(int32_t* buffer, uint32_t n);
