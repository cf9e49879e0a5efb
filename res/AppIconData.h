// The application icon, resource IDR_MAINFRAME: the text of res/tonewright.svg,
// compiled in by the build so the program needs no file beside it.
#pragma once

extern const char kAppIconSvg[];
