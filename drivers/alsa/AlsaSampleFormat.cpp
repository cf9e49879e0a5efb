#include "drivers/alsa/AlsaSampleFormat.h"

#include <strings.h>

const AlsaSampleFormat* FindAlsaSampleFormat(const char* name)
{
    if (name == nullptr) return nullptr;
    for (const AlsaSampleFormat& format : kAlsaSampleFormats)
        if (strcasecmp(format.name, name) == 0) return &format;
    return nullptr;
}
