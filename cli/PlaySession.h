// One run of tonewright-play: the dialog's start-up order (note table, debug
// log, driver list and driver, driver setup), the options applied to the
// running driver, one play request, the wait until it has been played, and
// the dialog's shutdown order. Main thread; returns the exit status.
#pragma once

#include "cli/PlayArguments.h"

int RunPlaySession(const PlayArguments& arguments);
