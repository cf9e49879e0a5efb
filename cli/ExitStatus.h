// The exit statuses of tonewright-play, as scripts test them.
#pragma once

constexpr int kExitPlayed = 0;
constexpr int kExitHostFailure = 1; // no usable driver, or the driver failed during the signal
// A play request's check, the generator or the driver's rate said no.
constexpr int kExitRefused = 2;
constexpr int kExitVerifyFailed = 3; // verify measured the capture and a check failed
constexpr int kExitUsage = 64;       // bad arguments (EX_USAGE)
// Ended by a signal: 128 + its number, 130 for Ctrl-C.
constexpr int kExitSignalBase = 128;
