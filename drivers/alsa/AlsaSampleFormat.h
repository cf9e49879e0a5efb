// The sample types the ALSA driver plays, each with the ALSA format that
// carries it unchanged and the name a registry entry's "SampleType" uses.
// Used when the driver is created, never on the writer thread.
#pragma once

#include "host/AsioInterface.h"

#include <alsa/asoundlib.h>
#include <cstdint>

struct AlsaSampleFormat {
    ASIOSampleType type;
    snd_pcm_format_t format;
    const char* name;
    uint32_t bytes;
};

// In the order a device's native format is looked for: widest integer
// first, float last, since integer cards are the ones whose packing we test.
constexpr AlsaSampleFormat kAlsaSampleFormats[] = {
    {ASIOSTInt32LSB, SND_PCM_FORMAT_S32_LE, "Int32LSB", 4},
    {ASIOSTInt24LSB, SND_PCM_FORMAT_S24_3LE, "Int24LSB", 3},
    {ASIOSTInt16LSB, SND_PCM_FORMAT_S16_LE, "Int16LSB", 2},
    {ASIOSTFloat32LSB, SND_PCM_FORMAT_FLOAT_LE, "Float32LSB", 4},
};
constexpr int kAlsaSampleFormatCount =
    static_cast<int>(sizeof kAlsaSampleFormats / sizeof kAlsaSampleFormats[0]);
static_assert(ListsEachAcceptedTypeOnce(kAlsaSampleFormats), "one format per type the host plays");

// The format named name (any case), or null.
const AlsaSampleFormat* FindAlsaSampleFormat(const char* name);
