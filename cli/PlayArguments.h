// The command line of tonewright-play read into what the run needs: one
// signal (or the driver listing) and the options that shape it. Parsing only
// checks the form of the words; the ranges are the play requests' to judge,
// so a refused value gets the same answer as in the dialog.
#pragma once

#include "platform/AudioFileWriter.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class PlayCommand { Sine, Note, Sweep, Pink, White, List, Help, Version };

struct PlayArguments {
    PlayCommand command = PlayCommand::Help;
    double frequency = 0.0;    // sine, and the note's once the table exists
    int32_t noteIndex = -1;    // note: index into the note table
    std::string noteName;      // note: as typed
    double freqStart = 0.0;    // sweep
    double freqEnd = 0.0;      // sweep
    double seconds = 0.5;      // the dialog's initial duration
    uint32_t attenuation = 12; // dB, the dialog's initial attenuation
    std::string driver;        // empty: the configuration file decides
    int32_t pair = -1;         // -1: the first pair, as after start-up
    uint32_t rate = 0;         // 0: the card keeps its rate
    bool hasSeed = false;      // the noise seed is fixed, not the clock's
    uint32_t seed = 0;
    // A render to this file instead of playing; the format and channel
    // count shape it (0 channels: the default).
    std::string output;
    SampleEncoding format = SampleEncoding::Int16;
    uint32_t channels = 0;
    std::string takes; // empty: the virtual card's takes go to the current folder
    // The input pair recorded to this file while the signal plays.
    std::string capture;
    int32_t inputPair = 0;
    // verify: the signal captured back from the input pair and measured
    // against the limits; the capture kept and the curve drawn when named.
    bool verify = false;
    double gainDb = 0.0;
    double toleranceDb = 0.01;
    double thdnDb = 1.0; // above 0: the plan's own THD+N plus this
    double frequencyToleranceHz = 0.01;
    bool json = false;
    std::string keep;
    std::string plot;
};

// What parsing came to: arguments to run with, or a complaint for stderr
// (the program then exits with its usage status).
struct ParseResult {
    bool ok;
    std::string error;
};

ParseResult ParsePlayArguments(int argc, const char* const* argv, PlayArguments& out);

// A value as a message quotes it: at most 80 characters, then "...".
std::string Shown(std::string_view text);

// Digits only, no sign, no blanks; false when the value does not fit.
bool ParseUnsigned(const char* text, uint32_t& value);
// A finite decimal number, the whole text consumed.
bool ParseNumber(const char* text, double& value);
