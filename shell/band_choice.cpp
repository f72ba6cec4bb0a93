#include "shell/band_choice.h"

#include <cmath>

#include "dsp/bands.h"

namespace vesk {

int NearestBand(int from, int band, int to) {
    const BandTable& source = GetBandTable(from);
    const BandTable& target = GetBandTable(to);
    if (band <= 0 || target.count < 2) return 0;
    if (band >= source.count) band = source.count - 1;
    const double centre = source.exactCentre[band];
    int nearest = 1;
    for (int b = 2; b < target.count; ++b)
        if (std::fabs(std::log(target.exactCentre[b] / centre)) <
            std::fabs(std::log(target.exactCentre[nearest] / centre)))
            nearest = b;
    return nearest;
}

}  // namespace vesk
