// Where the program keeps its files for the user, as the XDG base directory
// rules place them: state (the debug log) under $XDG_STATE_HOME, settings
// (the configuration file, the user's own registry files) under
// $XDG_CONFIG_HOME. Called by the front ends and the registry.
#pragma once

#include <string>

// "$XDG_STATE_HOME/tonewright", else "$HOME/.local/state/tonewright"; a
// relative XDG value counts as unset, as the rules ask. Empty when no home
// folder is known.
std::string UserStateFolder();
// "$XDG_CONFIG_HOME/tonewright", else "$HOME/.config/tonewright".
std::string UserConfigFolder();

// Creates path and its missing parents, each with mode 0700; true when path
// is a folder afterwards.
bool MakeUserFolder(const std::string& path);
