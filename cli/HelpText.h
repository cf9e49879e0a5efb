// The texts tonewright-play prints about itself: the usage line that follows
// a bad argument, the manual shown by --help, and the version.
#pragma once

// One line, ending in a newline.
const char* UsageText();
// Manual-page-like, ending in a newline.
const char* HelpText();
// "tonewright-play <version>" and a newline.
const char* VersionText();
