// Octave and third-octave bands, frequency weightings, and zero-phase band filtering.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct BandTable {
    std::int32_t count;        // band indices including the broadband entry 0
    double halfBandFactor;     // upper edge / centre = centre / lower edge
    double exactCentre[33];    // Hz; entry 0 is 0
    double nominalCentre[33];  // Hz, the label value; entry 0 is 0
};

// 0 = octave, 1 = third-octave (the stored FREQBAND); anything else is taken as octave.
const BandTable& GetBandTable(int bandSystem);

// "All(F)" for 0, "All(A)" for -1, else the nominal centre with "%g" ("%gk" of kHz when asked
// and at least 1000 Hz). An index outside the table gives "".
std::string BandLabel(int bandIndex, int bandSystem, bool kiloHertz);

struct WeightingPoint {
    double frequency;  // Hz
    double level;      // dB
};

// The 34-point A, B and C curves at 10^(k/10) Hz, k = 10..43.
const std::vector<WeightingPoint>& WeightingTable(int type);  // 1 A, 2 B, 3 C

// Natural cubic spline over x = ln(frequency).
struct WeightingSpline {
    std::vector<double> x, y, m;  // knots, values, one sixth of the second derivative
    static WeightingSpline Build(const WeightingPoint* points, int count);
    double operator()(double at) const;
};

// Fills h (length n) with the rectangular band-pass for an FFT of n samples at fs; 1 when at
// least one bin lies in the band.
int BandPassResponse(float* h, std::int32_t n, double fs, double lower, double upper);
// Flat (0) or the A, B, C curves (1..3) as amplitude factors; 0 for another type.
int WeightingResponse(float* h, std::int32_t n, double fs, int type, double divisor);
void TableResponse(float* h, std::int32_t n, double fs, const WeightingPoint* points, int count,
                   double divisor);

// Upper minus lower edge of band k of the system in Hz; 0 for the broadband entries (0, -1) and
// for an index outside the table. For an octave it equals the lower edge.
double BandWidth(int bandIndex, int bandSystem);

// Filters x and, when present, y in place for the band index (0 none, -1 A-weighted, k band
// k of the system). 0 when the band has no FFT bin: the signals are left as they were.
int ApplyBandFilter(float* x, float* y, std::int32_t n, double fs, int bandIndex, int bandSystem);
// The same for a band index other than 0, from the transform of x + iy (ForwardSpectrum) into
// x and y, which then hold the floats ApplyBandFilter gives; 0 when the band has no FFT bin.
int ApplyBandFilterFromSpectrum(const float* re, const float* im, float* x, float* y,
                                std::int32_t n, double fs, int bandIndex, int bandSystem);

}  // namespace vesk
