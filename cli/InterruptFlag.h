// Ctrl-C (SIGINT) and SIGTERM as a flag the main loop polls: the handler only
// records the signal, so the shutdown runs on the main thread, in order.
#pragma once

// Installs the handlers; false when the system refuses them.
bool InstallInterruptHandlers();
// The signal number that arrived, 0 while none has.
int InterruptSignal();
