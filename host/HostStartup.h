// Start-up of the host up to an open driver: the driver list, the configured
// driver or the first other one that opens, and the driver combo box.
// User-interface thread, once per process.
#pragma once

#include "platform/WindowSeam.h"

#include <cstdint>

// requestedDriver -1 takes the index from the configuration file. False when
// no driver opens; the configuration file then names nothing new.
bool ASIOHostInit(HWND driverCombo, int32_t requestedDriver);

// Lists every driver in index order, "*<name> N/A" for those that failed to
// open, and selects one entry.
void FillDriverCombo(HWND driverCombo, int32_t selected);
