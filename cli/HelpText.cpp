#include "cli/HelpText.h"

#ifndef TONEWRIGHT_VERSION
#error "the build must define TONEWRIGHT_VERSION"
#endif

const char* UsageText()
{
    return "usage: tonewright-play [options] sine HZ | note NAME | sweep START_HZ END_HZ | pink | "
           "white\n"
           "       tonewright-play --list | --help | --version\n";
}

const char* HelpText()
{
    return "NAME\n"
           "    tonewright-play - play a test signal through a Tonewright driver\n"
           "\n"
           "SYNOPSIS\n"
           "    tonewright-play [options] sine HZ\n"
           "    tonewright-play [options] note NAME\n"
           "    tonewright-play [options] sweep START_HZ END_HZ\n"
           "    tonewright-play [options] pink | white\n"
           "    tonewright-play [--driver INDEX|NAME] --list\n"
           "\n"
           "DESCRIPTION\n"
           "    Starts the driver as the Tonewright dialog does, plays one signal on one\n"
           "    output pair, waits until it has been played, shuts down and exits. The\n"
           "    driver is the one given with --driver, else the one chosen in the dialog\n"
           "    (falling back to another when that one does not open).\n"
           "\n"
           "SIGNALS\n"
           "    sine HZ                 a sine tone, 10 to 22050 Hz\n"
           "    note NAME               the sine tone of a note, C0 to B8: A4, C#6, Db6\n"
           "    sweep START_HZ END_HZ   a linear sweep, both ends 10 to 22050 Hz\n"
           "    pink, white             pink or white noise\n"
           "\n"
           "OPTIONS\n"
           "    --driver INDEX|NAME     the driver by its index in --list, its registry key,\n"
           "                            its description, or the start of either; it must\n"
           "                            open. Default: the one chosen in the dialog\n"
           "    --pair INDEX            the output pair, 0 for the first; default 0\n"
           "    --rate HZ               set the card's sample rate first\n"
           "    --seconds S             duration, 0.01 to 60; default 0.5\n"
           "    --attenuation DB        level below full scale, 0 to 60; default 12\n"
           "    --takes DIR             the folder for the virtual card's takes; default\n"
           "                            the current folder\n"
           "    --list                  the drivers (with the reason beside those that\n"
           "                            cannot be used), and the open one's output pairs,\n"
           "                            rates and sample type\n"
           "    -h, --help              this text\n"
           "    -V, --version           the version\n"
           "\n"
           "    On a terminal, a signal longer than one second shows its progress.\n"
           "    Ctrl-C fades the signal out within 10 ms and shuts the driver down in order.\n"
           "\n"
           "EXIT STATUS\n"
           "    0    the signal was played (or the listing printed)\n"
           "    1    no driver could be used, the driver failed, or a take could not be\n"
           "         written\n"
           "    2    the request or the rate was refused (the reason is printed)\n"
           "    64   bad arguments\n"
           "    130  interrupted by Ctrl-C (143: ended by SIGTERM)\n"
           "\n"
           "FILES\n"
           "    $XDG_STATE_HOME/tonewright/Dbg.Log (default ~/.local/state/tonewright)\n"
           "                            the debug log, with Dbg1.Log and Dbg2.Log before it\n"
           "    $XDG_CONFIG_HOME/tonewright/ASIOConfig.txt (default ~/.config/tonewright)\n"
           "                            the driver chosen in the dialog; only read here\n"
           "    $XDG_CONFIG_HOME/tonewright/registry.d/*.reg\n"
           "                            the user's own driver registrations\n"
           "\n"
           "ENVIRONMENT\n"
           "    TONEWRIGHT_REGISTRY     colon-separated folders of .reg files that register\n"
           "                            the drivers, in place of the usual ones\n"
           "    TONEWRIGHT_TAKES        the folder for takes, as --takes\n";
}

const char* VersionText()
{
    return "tonewright-play " TONEWRIGHT_VERSION "\n";
}
