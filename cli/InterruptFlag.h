// Ctrl-C (SIGINT) and SIGTERM during a run. While the player starts up
// (registry, driver list, driver creation and its first start) a signal ends
// it at once: nothing of the run needs undoing then, since the configuration
// file is only read and no take has begun. Once the driver runs, the handler
// only records the signal, so that the main thread fades the signal out and
// shuts down in order.
#pragma once

// Installs the handlers, in their start-up role; false when the system
// refuses them.
bool InstallInterruptHandlers();
// From now on a signal only sets the flag the main loop polls.
void InterruptInOrder();
// The signal number that arrived, 0 while none has.
int InterruptSignal();
