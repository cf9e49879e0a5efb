// Start-up of the host up to an open driver: the driver list, the configured
// driver or the first other one that opens, and the driver combo box.
// User-interface thread, once per process.
#pragma once

#include "platform/WindowSeam.h"

#include <cstdint>

// The dialog's way by default: a driver that does not open falls back to the
// others, and the configuration file names the one that opened. A front end
// that was asked for one driver by name turns both off: that driver opens or
// start-up fails, and a one-off choice or a fallback never becomes the
// configured driver.
struct HostInitOptions {
    bool bFallBack = true;
    bool bStoreChoice = true;
};

// requestedDriver -1 takes the index from the configuration file. False when
// no driver opens; the configuration file then names nothing new.
bool ASIOHostInit(HWND driverCombo, int32_t requestedDriver, const HostInitOptions& options = {});

// Lists every driver in index order, "*<name> N/A" for those that failed to
// open, and selects one entry.
void FillDriverCombo(HWND driverCombo, int32_t selected);
