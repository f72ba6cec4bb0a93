// A template as learning from n recordings with these means and no spread would store it.
#pragma once

#include <cstdint>

#include "noise/templates.h"

namespace vesk::test {

inline NoiseTemplateData Learnt(std::int32_t n, float phi0, float tauE, float tau1, float phi1) {
    NoiseTemplateData d;
    d.count = n;
    d.standard = {phi0, tauE, tau1, phi1};
    for (std::size_t f = 0; f < 4; ++f)
        d.sumSquares[f] = static_cast<float>(n * d.standard[f] * d.standard[f]);
    return d;
}

}  // namespace vesk::test
