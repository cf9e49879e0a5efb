// How `tonewright-play verify` tells its verdict: a short table of the
// checks, or the same as one JSON object for scripts.
#pragma once

#include "measure/Verification.h"

#include <cstdio>
#include <string>

struct VerifyHeading {
    std::string signal; // "sine 1000 Hz", "pink noise" ...
    std::string driver;
    std::string sampleType;
    double rate;
    int32_t inputPair;
    uint32_t seed;
};

void PrintVerifyTable(std::FILE* out, const VerifyHeading& heading, const VerifyReport& report);
void PrintVerifyJson(std::FILE* out, const VerifyHeading& heading, const VerifyReport& report);
