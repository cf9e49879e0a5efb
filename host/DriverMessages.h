// The host's answers to a driver: its asioMessage and sampleRateDidChange
// callbacks. Called on the driver's thread (or any other), so they only log
// and post; a reset request is handled later on the dialog's own thread.
#pragma once

#include <cstdint>

int32_t asioMessages(int32_t selector, int32_t value, void* message, double* opt);
// Nothing to do: the dialog reads the rate when it needs it.
void sampleRateChanged(double sampleRate);
