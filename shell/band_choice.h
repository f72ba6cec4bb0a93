// The band choices of the impulse-response conditions across a change of band system.
#pragma once

namespace vesk {

// The band of system `to` (0 octave, 1 third-octave) whose centre lies nearest, on a log
// scale, to band `band` of system `from`; the choice the user made stays where it was in
// hertz. Band 0 (none, or broadband) stays 0.
int NearestBand(int from, int band, int to);

}  // namespace vesk
