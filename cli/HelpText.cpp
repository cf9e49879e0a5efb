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
           "    Starts the driver as the Tonewright dialog does (debug log Dbg.Log and\n"
           "    configuration file ASIOConfig.txt in the current folder, falling back to\n"
           "    another driver when the chosen one does not open), plays one signal on\n"
           "    one output pair, waits until it has been played, shuts down and exits.\n"
           "\n"
           "SIGNALS\n"
           "    sine HZ                 a sine tone, 10 to 22050 Hz\n"
           "    note NAME               the sine tone of a note, C0 to B8: A4, C#6, Db6\n"
           "    sweep START_HZ END_HZ   a linear sweep, both ends 10 to 22050 Hz\n"
           "    pink, white             pink or white noise\n"
           "\n"
           "OPTIONS\n"
           "    --driver INDEX|NAME     the driver by its index in --list, or by the\n"
           "                            start of its name; default: the configured one\n"
           "    --pair INDEX            the output pair, 0 for the first; default 0\n"
           "    --rate HZ               set the card's sample rate first\n"
           "    --seconds S             duration, 0.01 to 60; default 0.5\n"
           "    --attenuation DB        level below full scale, 0 to 60; default 12\n"
           "    --list                  the drivers, and the open one's output pairs,\n"
           "                            rates and sample type\n"
           "    --help                  this text\n"
           "    --version               the version\n"
           "\n"
           "    On a terminal, a signal longer than one second shows its progress.\n"
           "    Ctrl-C ends the signal and shuts the driver down in order.\n"
           "\n"
           "EXIT STATUS\n"
           "    0    the signal was played (or the listing printed)\n"
           "    1    no driver could be used, or the driver failed or asked for a reset\n"
           "    2    the request or the rate was refused (the reason is printed)\n"
           "    64   bad arguments\n"
           "    130  interrupted by Ctrl-C (143: ended by SIGTERM)\n"
           "\n"
           "ENVIRONMENT\n"
           "    TONEWRIGHT_REGISTRY     colon-separated folders of .reg files that\n"
           "                            register the drivers\n";
}

const char* VersionText()
{
    return "tonewright-play " TONEWRIGHT_VERSION "\n";
}
