// The driver setup after start-up: query, buffers, generators, start and the
// playback check; the user's choice of output pair; the shutdown.
// User-interface thread.
#pragma once

#include "platform/WindowSeam.h"

#include <cstdint>

// Runs only after ASIOHostInit succeeded. True when the setup stands, also
// when the driver would not start (the play requests retry the start).
bool ASIOSelectDriver(HWND mainDialog, HWND outputCombo);

// The driver query and setup of ptrASIO, which ASIOSelectDriver runs after
// its log lines. checkPlayback false skips the 500 ms wait for buffer
// switches, for a card without a clock whose switches only its owner makes.
bool SetUpDriver(HWND mainDialog, HWND outputCombo, bool checkPlayback);

// The pair at index k of the output combo box; any other index is logged and
// changes nothing.
void ASIOSelectOutputPair(int32_t k);

// Tears the setup down (driver stopped and buffers disposed before the
// generators go), and with releaseDriverList also the list and every driver
// object it created.
void ASIOHostShutdown(bool releaseDriverList);
