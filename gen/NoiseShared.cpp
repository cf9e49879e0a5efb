#include "gen/NoiseShared.h"

#include <ctime>

double FullScaleForFormat(uint32_t formatCode)
{
    switch (formatCode) {
    case 0:
        return 32767.0;
    case 1:
        return 8388607.0;
    default:
        return 2147483647.0;
    }
}

double LevelForAttenuation(uint32_t formatCode, uint32_t attenuationDb)
{
    if (attenuationDb == 0) return FullScaleForFormat(formatCode);
    // 20 * log10 of each full scale, kept as fixed figures so that every level
    // is the same bit pattern on every build.
    double fullScaleDecibels;
    switch (formatCode) {
    case 0:
        fullScaleDecibels = 90.30873362283398;
        break;
    case 1:
        fullScaleDecibels = 138.47379696999255;
        break;
    default:
        fullScaleDecibels = 186.63859730762366;
        break;
    }
    return std::pow(10.0, (fullScaleDecibels - static_cast<double>(attenuationDb)) / 20.0);
}

uint32_t ClockSeedSeconds()
{
    return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)));
}

uint32_t RequestFrames(uint32_t sampleRate, double seconds)
{
    const double frames = std::floor(static_cast<double>(sampleRate) * seconds);
    if (!(frames >= 0.0 && frames < 9223372036854775808.0)) return 0;
    return static_cast<uint32_t>(static_cast<int64_t>(frames));
}
