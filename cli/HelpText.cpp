#include "cli/HelpText.h"

#ifndef TONEWRIGHT_VERSION
#error "the build must define TONEWRIGHT_VERSION"
#endif

const char* UsageText()
{
    return "usage: tonewright-play [options] sine HZ | note NAME | sweep START_HZ END_HZ | pink | "
           "white\n"
           "       tonewright-play --output FILE [file options] SIGNAL\n"
           "       tonewright-play --list | --help | --version\n";
}

const char* HelpText()
{
    return "NAME\n"
           "    tonewright-play - play a test signal through a Tonewright driver, or\n"
           "    render it to a file\n"
           "\n"
           "SYNOPSIS\n"
           "    tonewright-play [options] sine HZ\n"
           "    tonewright-play [options] note NAME\n"
           "    tonewright-play [options] sweep START_HZ END_HZ\n"
           "    tonewright-play [options] pink | white\n"
           "    tonewright-play --output FILE [--format F] [--rate HZ] [--channels N]\n"
           "                    [--pair K] [--seed N] [options] SIGNAL\n"
           "    tonewright-play [--driver INDEX|NAME] --list\n"
           "\n"
           "DESCRIPTION\n"
           "    Starts the driver as the Tonewright dialog does (debug log Dbg.Log and\n"
           "    configuration file ASIOConfig.txt in the current folder, falling back to\n"
           "    another driver when the chosen one does not open), plays one signal on\n"
           "    one output pair, waits until it has been played, shuts down and exits.\n"
           "\n"
           "    With --output, renders the very samples a card would play to FILE\n"
           "    instead, as fast as the machine goes, on a card of the program's own\n"
           "    without a clock: from the signal's first buffer to the one in which it\n"
           "    ends, every channel of the card. WAV, or FLAC when FILE ends in .flac\n"
           "    (s16 and s24 only); an existing FILE is replaced. No debug log and no\n"
           "    configuration file are read or written for a render.\n"
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
           "    --seed N                noise seeded with N instead of the clock, so that\n"
           "                            a take and a file of the same request are equal\n"
           "    --output FILE           render to FILE instead of playing\n"
           "    --format F              the file's samples: s16, s24, s32 or float;\n"
           "                            default s16\n"
           "    --channels N            the file's channels, 2 to 32, even; default 2\n"
           "                            (--rate for a file: 8000 to 384000, default 48000;\n"
           "                            buffers of 256 frames)\n"
           "    --list                  the drivers, and the open one's output pairs,\n"
           "                            rates and sample type\n"
           "    --help                  this text\n"
           "    --version               the version\n"
           "\n"
           "    On a terminal, a signal longer than one second shows its progress, and\n"
           "    so does a render that takes more than a second.\n"
           "    Ctrl-C ends the signal and shuts the driver down in order; a render\n"
           "    leaves a valid, shorter file.\n"
           "\n"
           "EXIT STATUS\n"
           "    0    the signal was played (or the listing printed)\n"
           "    1    no driver could be used, the driver failed or asked for a reset,\n"
           "         or the file could not be written\n"
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
