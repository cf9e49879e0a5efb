// One run of tonewright-play: the dialog's start-up order (note table, debug
// log, driver list and driver, driver setup), the options applied to the
// running driver, one play request, the wait until it has been played, and
// the dialog's shutdown order. Main thread; returns the exit status.
#pragma once

#include "cli/PlayArguments.h"
#include "host/HostSession.h"

// What verify keeps of the run that played its signal and captured it back.
struct PlayedCapture {
    CaptureResult capture; // the input pair's samples
    DriverDescription card;
    std::string signal; // "sine 1000 Hz", "pink noise" ...
    uint32_t seed = 0;  // of the noise, fixed for the run
};

// With captured, the input pair is captured back (to the --keep file too),
// a noise seed is fixed when none was given, and the verdict is the
// caller's to print: no "Played" line.
int RunPlaySession(const PlayArguments& arguments, PlayedCapture* captured = nullptr);

// The request the arguments ask for. A note's frequency is taken as the
// dialog plays a picked note: from the note table, which must exist.
SignalRequest RequestFor(const PlayArguments& arguments);
