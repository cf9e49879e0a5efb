// What --list prints: every driver with its index and the host's marks, then
// for the driver that opened its output pairs, the rates it accepts and its
// sample type. User-interface thread, with the driver set up.
#pragma once

#include "cli/PlayerWindows.h"

#include <cstdio>

// drivers: the driver combo as the host filled it; outputs: the output combo;
// setupStands: the driver setup succeeded, so the driver can be asked.
void PrintDriverListing(std::FILE* out, const CollectingCombo& drivers,
                        const CollectingCombo& outputs, bool setupStands);

// The host's name of one of the four sample types it plays; null otherwise.
const char* PlayableSampleTypeName(int32_t type);
