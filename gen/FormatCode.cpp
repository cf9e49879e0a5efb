#include "gen/FormatCode.h"

#include <cmath>

namespace {

struct FormatLevels {
    uint32_t fullScale;
    double fullScaleDecibels;
};

FormatLevels LevelsOf(FormatCode code)
{
    switch (code) {
    case FormatCode::Int16:
        return {32767, 90.30873362283398};
    case FormatCode::Int24In32:
        return {8388607, 138.47379696999255};
    default:
        return {2147483647, 186.63859730762366};
    }
}

} // namespace

uint32_t FullScale(FormatCode code)
{
    return LevelsOf(code).fullScale;
}

double LevelForAttenuation(FormatCode code, uint32_t attenuationDb)
{
    const FormatLevels levels = LevelsOf(code);
    if (attenuationDb == 0) return static_cast<double>(levels.fullScale);
    return std::pow(10.0, (levels.fullScaleDecibels - static_cast<double>(attenuationDb)) / 20.0);
}
