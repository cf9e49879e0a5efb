// Keeps libjack loaded for the rest of the process once the driver has used
// it. libjack is not made to be unloaded: its globals hold state from the
// first client on, and closing this module would otherwise take it along.
#pragma once

// Host thread, at creation; safe to call any number of times.
void KeepJackLibraryLoaded();
