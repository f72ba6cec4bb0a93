#include "display/result_lists.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/preference.h"

namespace vesk {

namespace {

std::string Cell(double v) {
    if (v == -1000.0 || std::isnan(v)) return "----";
    char text[32];
    std::snprintf(text, sizeof text, "%.2lf", v);
    return text;
}

void Add(ResultRow& row, double value) {
    row.values.push_back(value);
    row.texts.push_back(Cell(value));
}

}  // namespace

std::vector<ResultColumn> AcousticParameterColumns(int channels, bool hasResult) {
    if (!hasResult) return {};
    if (channels == 1)
        return {{"Freq.", 53}, {"SPL", 53}, {"dt1", 53}, {"A-value", 53}, {"Tsub", 53}};
    return {{"Freq.", 53},   {"SPL-LR", 53}, {"SPL-L", 53},  {"SPL-R", 53}, {"dt1-LR", 57},
            {"dt1-L", 53},   {"dt1-R", 53},  {"A-LR", 53},   {"A-L", 53},   {"A-R", 53},
            {"Tsub-LR", 57}, {"Tsub-L", 53}, {"Tsub-R", 53}, {"IACC", 53},  {"TIACC", 53},
            {"WIACC", 53},   {"S", 48}};
}

std::vector<ResultRow> AcousticParameterRows(const AcParamRecord& r, int channels, double offset) {
    std::vector<ResultRow> rows;
    const int n = std::clamp(r.nData, 0, kAcParamBands);
    const double dL = r.deltaT1L - r.deltaT0L, dR = r.deltaT1R - r.deltaT0R;
    for (int k = 0; k < n; ++k) {
        const AcParamBand& b = r.bands[static_cast<std::size_t>(k)];
        ResultRow row;
        row.key = k;
        // The band's frequency sorts the first column; the broadband entries come first.
        const BandTable& table = GetBandTable(r.freqBand);
        row.values.push_back(b.freq > 0 && b.freq < table.count ? table.nominalCentre[b.freq]
                                                                : b.freq);
        row.texts.push_back(BandLabel(b.freq, r.freqBand, false));
        if (channels == 1) {
            Add(row, b.splL == -1000 ? -1000 : b.splL + offset);
            Add(row, dL);
            Add(row, b.aL);
            Add(row, b.tsubL);
        } else {
            const bool silent = b.splL == -1000 || b.splR == -1000;
            Add(row, silent ? -1000 : ListeningLevel(b.splL, b.splR) + offset);
            Add(row, b.splL == -1000 ? -1000 : b.splL + offset);
            Add(row, b.splR == -1000 ? -1000 : b.splR + offset);
            Add(row, (dL + dR) / 2);
            Add(row, dL);
            Add(row, dR);
            Add(row, b.aL == -1000 || b.aR == -1000 ? -1000 : (b.aL + b.aR) / 2);
            Add(row, b.aL);
            Add(row, b.aR);
            Add(row, b.tsubL == -1000 || b.tsubR == -1000 ? -1000 : (b.tsubL + b.tsubR) / 2);
            Add(row, b.tsubL);
            Add(row, b.tsubR);
            Add(row, b.iacc);
            Add(row, b.tiacc);
            Add(row, b.wiacc);
            double sv = kNoValue;
            BandPreference(r, k, offset, &sv);
            Add(row, sv);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ResultColumn> FactorColumns(bool noise, int channels, FactorLayout layout) {
    if (noise)
        return {{"Time", 53}, {"Phi(0)", 53}, {"Tau-e", 53}, {"Tau1", 53}, {"Phi1", 53},
                {"SPL", 53},  {"IACC", 53},   {"TIACC", 53}, {"WIACC", 53}};
    if (layout != FactorLayout::General) {
        std::vector<ResultColumn> c{{"Time", 56}};
        for (int k = 1; k <= 10; ++k)
            c.push_back({(layout == FactorLayout::Tau ? "Tau" : "Phi") + std::to_string(k),
                         k == 10 ? 43 : 42});
        return c;
    }
    if (channels == 1)
        return {{"Time [s]", 68},
                {"Phi(0) [dB]", 64},
                {"Tau-e [ms]", 64},
                {"Tau1 [ms]", 64},
                {"Phi1", 64}};
    return {{"Time", 56}, {"Phi(0)", 59}, {"Tau-e", 59}, {"Tau1", 59},
            {"Phi1", 59}, {"IACC", 59},   {"TIACC", 59}, {"WIACC", 59}};
}

std::vector<ResultRow> FactorRows(const std::vector<AcfFactorRecord>& factors,
                                  const std::vector<AcfPeakRecord>& peaks, double step,
                                  double offset, bool noise, int channels, FactorLayout layout) {
    std::vector<ResultRow> rows;
    for (std::size_t k = 0; k < factors.size(); ++k) {
        const AcfFactorRecord& f = factors[k];
        ResultRow row;
        row.key = static_cast<std::int32_t>(k);
        Add(row, static_cast<double>(k) * step);
        auto ms = [](float v) { return v == kNoValue ? kNoValue : v * 1000.0; };
        if (layout != FactorLayout::General && !noise) {
            // A frame the peak blob does not reach (a short or damaged blob) has no peaks.
            for (std::size_t p = 0; p < 10; ++p)
                Add(row, k >= peaks.size()             ? -1000.0
                         : layout == FactorLayout::Tau ? peaks[k].tau[p] * 1000.0
                                                       : static_cast<double>(peaks[k].phi[p]));
        } else {
            Add(row, f.phi0 + offset);
            Add(row, ms(f.tauE));
            Add(row, ms(f.tau1));
            Add(row, f.phi1);
            if (noise) Add(row, f.binauralLevel);
            if (noise || channels == 2) {
                Add(row, f.iacc);
                Add(row, ms(f.tauIacc));
                Add(row, ms(f.wiacc));
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void SortResultRows(std::vector<ResultRow>* rows, int column, int direction) {
    if (column < 0) return;
    const std::size_t c = static_cast<std::size_t>(column);
    std::stable_sort(rows->begin(), rows->end(), [&](const ResultRow& a, const ResultRow& b) {
        const double x = c < a.values.size() ? a.values[c] : a.key;
        const double y = c < b.values.size() ? b.values[c] : b.key;
        const double d = (x - y) * direction;
        return d < 0;  // a difference of zero counts as equal
    });
}

namespace {

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Reference(std::int32_t choice) {
    return choice == -2   ? "Absolute value"
           : choice == -1 ? "Maximum value"
                          : Printf("ID %d", choice);
}

}  // namespace

std::string ImpulseConditionText(const AcParamRecord& r) {
    // The band range of the stored entries: the first and last band (not the broadband ones).
    int first = 0, last = 0;
    for (int k = 0; k < std::clamp(r.nData, 0, kAcParamBands); ++k) {
        const int band = r.bands[static_cast<std::size_t>(k)].freq;
        if (band < 1) continue;
        if (first == 0) first = band;
        last = band;
    }
    std::string text = Printf("Frequency band: %s", r.freqBand ? "1/3 Oct." : "1 Oct.");
    if (first > 0)
        text += ", " + BandLabel(first, r.freqBand, false) + " - " +
                BandLabel(last, r.freqBand, false) + " Hz";
    if (r.aFilter) text += ", A-weighting";
    text +=
        "\nSPL: Ref. Data " + Reference(r.splRefData) + Printf(", Ref. Level %g dB", r.splRefLevel);
    text += Printf("\nTsub: End of Regression %g dB%s\n    Rate of Noise Range %g %%", r.tsubEnd,
                   r.tsubAuto ? ", Auto" : "", r.tsubNoise * 100);
    text += Printf("\ndelta-t1: Minimum delay time %g ms", r.dt1MinTime);
    text += Printf("\nIACC: Width for WIACC %g", r.iaccWLevel);
    text += Printf("\nPreference: Optimum SPL %g dB, Tau-e %g ms", r.prefSpl, r.prefTauE);
    return text;
}

std::string AcfConditionText(const RunningAcfConditions& c, bool withReference) {
    static const char* const kWeightings[] = {"Flat", "A-weighting", "B-weighting", "C-weighting"};
    const char* weighting = c.weighting < 4 ? kWeightings[c.weighting] : "?";
    // Short lines: the conditions share the dialog's top row with two other groups.
    std::string text = Printf("Running ACF: Integration Time %g s, Running Step %g s",
                              c.integrationTime, c.runningStep);
    text += Printf("\n    Max Delay Time %g s, %s", c.maxDelayTime, weighting);
    text += Printf("\nTau-e: Peak Detection Time %g ms%s", c.peakDetectTime,
                   c.includeOrigin ? ", Including Origin" : "");
    text += Printf("\n    End of Regression %g dB / %g ms", c.tauERegLevel, c.tauERegTime);
    if (withReference)
        text += "\nPhi(0): Ref. Data " + Reference(c.phi0RefData) +
                Printf(", Ref. Level %g dB", c.phi0RefLevel);
    return text;
}

}  // namespace vesk
