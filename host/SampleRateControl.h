// The card's sample rate as the dialog sets and reads it, with the debug
// log's advice when a card refuses a rate. User-interface thread.
#pragma once

#include <cstdint>

// False when there is no driver setup or the card refuses the rate.
bool ASIOSetSampleRate(uint32_t rate);
// Whole hertz; 0 when there is no driver setup or the card cannot tell.
int32_t ASIOGetSampleRate();
