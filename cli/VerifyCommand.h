// tonewright-play verify: the signal played and captured back from an input
// pair, the same request rendered offline in the card's format as the plan,
// the capture measured against it and the verdict printed.
#pragma once

#include "cli/PlayArguments.h"

// kExitPlayed when every check passed, kExitVerifyFailed when one failed,
// or the status of a run that could not be measured.
int RunVerify(const PlayArguments& arguments);
