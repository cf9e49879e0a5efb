// What --list prints: every driver with its index and the host's marks, then
// for the driver that opened its output pairs, the rates it accepts, its
// sample type and its input pairs.
#pragma once

#include "host/HostSession.h"

#include <cstdio>

void PrintDriverListing(std::FILE* out, HostSession& session);
