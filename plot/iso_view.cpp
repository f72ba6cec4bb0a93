#include "plot/iso_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "dsp/bands.h"
#include "impulse/iso_calculation.h"

namespace vesk {

namespace {

bool Has(double v) {
    return v != kNoValue && std::isfinite(v);
}

std::string Text(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// Short enough for a table cell; the page names the whole reason of the selected row.
const char* ShortReason(std::int32_t missing) {
    switch (static_cast<iso::Missing>(missing)) {
        case iso::Missing::NoSignal:
            return "no signal";
        case iso::Missing::NoDecay:
            return "no decay";
        case iso::Missing::Range:
            return "INR too low";
        case iso::Missing::OneChannel:
            return "one channel";
        default:
            return "----";
    }
}

std::string BandName(double centre) {
    if (centre <= 0) return "All";
    return centre >= 1000 ? Text("%gk", centre / 1000) : Text("%g", centre);
}

}  // namespace

bool ComputeIsoForDisplay(const std::vector<float>& left, const std::vector<float>& right,
                          double fs, const AcParamRecord& result, IsoResultRecord* out) {
    if (left.empty() || !(fs > 0) || (!right.empty() && right.size() != left.size())) return false;
    const int system = result.freqBand == 1 ? 1 : 0;
    const BandTable& table = GetBandTable(system);
    iso::Options options;
    options.system = system == 1 ? iso::BandSystem::ThirdOctave : iso::BandSystem::Octave;
    double lowest = 0, highest = 0;
    const int n = std::clamp(result.nData, 0, kAcParamBands);
    for (int k = 0; k < n; ++k) {
        const int band = result.bands[static_cast<std::size_t>(k)].freq;
        if (band < 1 || band >= table.count) continue;
        const double centre = table.nominalCentre[band];
        lowest = lowest > 0 ? std::min(lowest, centre) : centre;
        highest = std::max(highest, centre);
    }
    if (lowest > 0) {
        options.lowest = lowest;
        options.highest = highest;
    }
    iso::Analyzer analyzer;
    iso::Results results;
    if (analyzer.Calculate(left.data(), right.empty() ? nullptr : right.data(), left.size(), fs,
                           options, &results, PoolParallelFor()) != iso::kDone)
        return false;
    // No Tsub fits: those come only with a calculation.
    *out = ToIsoStored(results, options, result, CalcNotes{});
    return true;
}

IsoLoad LoadIsoForDisplay(long impulseId, const std::vector<float>& left,
                          const std::vector<float>& right, double fs, const AcParamRecord& result,
                          IsoResultRecord* out, bool* has, bool* computed) {
    const IsoLoad status = LoadIsoResult(impulseId, out);
    *has = status == IsoLoad::Loaded;
    *computed = false;
    if (status == IsoLoad::Absent)
        *has = *computed = ComputeIsoForDisplay(left, right, fs, result, out);
    if (!*has) *out = IsoResultRecord{};
    return status;
}

std::vector<std::string> IsoBandNames(const IsoResultRecord& result) {
    std::vector<std::string> names;
    for (const IsoBandStored& b : result.bands)
        names.push_back(BandName(b.nominalCentre));
    return names;
}

std::string IsoBandTitle(const IsoResultRecord& result, std::size_t band) {
    if (band >= result.bands.size() || result.bands[band].nominalCentre <= 0) return "Broadband";
    return Text("%g Hz", result.bands[band].nominalCentre) +
           (result.bandSystem == 1 ? " third-octave" : " octave");
}

std::vector<std::string> IsoSingleNumberLines(const IsoResultRecord& result) {
    const IsoSingleStored& s = result.single;
    const bool two = result.channels == 2;
    auto pair = [two](const double* v, const char* format, double scale) {
        auto one = [&](double x) { return Has(x) ? Text(format, x * scale) : std::string("----"); };
        return two ? one(v[0]) + " / " + one(v[1]) : one(v[0]);
    };
    std::vector<std::string> lines(2);
    lines[0] = "500 Hz-1 kHz octaves" + std::string(two ? " (left / right): " : ": ") + "EDT " +
               pair(s.edt, "%.2f", 1) + " s, T20 " + pair(s.t20, "%.2f", 1) + " s, T30 " +
               pair(s.t30, "%.2f", 1) + " s";
    lines[1] = "C50 " + pair(s.c50, "%.1f", 1) + " dB, C80 " + pair(s.c80, "%.1f", 1) +
               " dB, D50 " + pair(s.d50, "%.2f", 1) + ", Ts " + pair(s.ts, "%.0f", 1000) + " ms";
    if (two)
        lines[1] += ", IACC_E3 " + (Has(s.iaccE3) ? Text("%.2f", s.iaccE3) : std::string("----")) +
                    ", IACC_L3 " + (Has(s.iaccL3) ? Text("%.2f", s.iaccL3) : std::string("----"));
    return lines;
}

std::string IsoSingleNumberText(const IsoResultRecord& result) {
    const std::vector<std::string> lines = IsoSingleNumberLines(result);
    return lines[0] + ", " + lines[1];
}

FittedDecayGraph IsoDecayOf(const std::vector<float>& response, double fs,
                            const IsoResultRecord& result, std::size_t band, int ear) {
    FittedDecayGraph curve;
    if (band >= result.bands.size() || ear < 0 || ear > 1 || response.empty() || !(fs > 0))
        return curve;
    const IsoBandStored& b = result.bands[band];
    const IsoChannelStored& c = b.channel[ear];
    if (!Has(c.onset) || c.onset < 0) return curve;
    const std::size_t n = response.size();
    std::vector<double> y(n);
    if (b.nominalCentre > 0) {
        const auto system =
            result.bandSystem == 1 ? iso::BandSystem::ThirdOctave : iso::BandSystem::Octave;
        const std::vector<iso::BandFilter> filters =
            iso::DesignBandFilters(system, fs, b.nominalCentre, b.nominalCentre,
                                   b.timeReversed ? b.nominalCentre * 2 : 0.0);
        if (filters.empty()) return curve;
        iso::ApplyBandFilter(filters.front(), response.data(), y.data(), n);
    } else {
        std::copy(response.begin(), response.end(), y.begin());
    }
    // Stored times may be hostile: compared as doubles before any conversion.
    const double onsetSample = c.onset * fs;
    if (!(onsetSample < static_cast<double>(n))) return curve;
    const std::size_t first = static_cast<std::size_t>(onsetSample);
    std::size_t last = n;
    if (Has(c.truncation) && c.truncation > 0 &&
        c.truncation * fs + 1 < static_cast<double>(n - first))
        last = first + static_cast<std::size_t>(c.truncation * fs) + 1;
    // The energy beyond the truncation, as the latest fitted line extends it (Lundeby's
    // correction), keeps the curve from bending down where the noise was cut away.
    const IsoDecayStored* late = nullptr;
    for (const IsoDecayStored* d : {&c.t30, &c.t20, &c.edt})
        if (!late && Has(d->seconds) && d->seconds > 0 && Has(d->lineAtOnset)) late = d;
    std::vector<double> tail(last - first + 1, 0.0);
    for (std::size_t i = last; i-- > first;)
        tail[i - first] = tail[i - first + 1] + y[i] * y[i];
    const double total = tail[0];
    if (!(total > 0)) return curve;
    double correction = 0;
    if (late) {
        const double atEnd = late->lineAtOnset - 60.0 * ((last - first) / fs) / late->seconds;
        const double q = std::pow(10.0, atEnd / 10);
        if (q < 0.5) correction = total * q / (1 - q);
    }
    const std::size_t count = last - first;
    const std::size_t stride = std::max<std::size_t>(1, count / 2000);
    for (std::size_t i = 0; i < count; i += stride) {
        const double e = (tail[i] + correction) / (total + correction);
        curve.t.push_back(i / fs);
        curve.level.push_back(e > 0 ? 10 * std::log10(e) : -200.0);
    }
    const char* const kNames[] = {"EDT", "T20", "T30"};
    const IsoDecayStored* decays[] = {&c.edt, &c.t20, &c.t30};
    for (int k = 0; k < 3; ++k) {
        const IsoDecayStored& d = *decays[k];
        if (!Has(d.seconds) || !(d.seconds > 0) || !Has(d.lineAtOnset) || !Has(d.fromDb) ||
            !Has(d.toDb))
            continue;
        // Where the line crosses the ends of its range.
        const double slope = -60.0 / d.seconds;  // dB per second
        const double t0 = (d.fromDb - d.lineAtOnset) / slope, t1 = (d.toDb - d.lineAtOnset) / slope;
        curve.lines.push_back({kNames[k], t0, d.fromDb, t1, d.toDb});
    }
    return curve;
}

std::vector<ResultColumn> IsoColumns() {
    static const char* const kTitles[] = {
        "Band [Hz]", "Ear",        "EDT [s]",    "T20 [s]", "T30 [s]",  "r EDT",           "r T20",
        "r T30",     "xi T20 [‰]", "xi T30 [‰]", "C [%]",   "C50 [dB]", "C80 [dB]",        "D50",
        "Ts [ms]",   "INR [dB]",   "IACC_E",     "IACC_L",  "IACC_A",   "Tsub range [dB]", "Tsub r",
        "Flags"};
    std::vector<ResultColumn> columns;
    for (const char* t : kTitles)
        columns.push_back({t, std::string(t) == "Flags" ? 110 : 56});
    return columns;
}

std::vector<ResultRow> IsoRows(const IsoResultRecord& result) {
    std::vector<ResultRow> rows;
    const int ears = result.channels == 2 ? 2 : 1;
    const std::vector<std::string> names = IsoBandNames(result);
    for (std::size_t b = 0; b < result.bands.size(); ++b) {
        const IsoBandStored& band = result.bands[b];
        for (int ear = 0; ear < ears; ++ear) {
            const IsoChannelStored& c = band.channel[ear];
            ResultRow row;
            row.key = static_cast<std::int32_t>(b) * 2 + ear;
            auto add = [&row](double v, const char* format, std::int32_t missing,
                              double scale = 1) {
                const bool has = Has(v);
                row.values.push_back(has ? v * scale : kNoValue);
                row.texts.push_back(has ? Text(format, v * scale) : ShortReason(missing));
            };
            row.values.push_back(band.nominalCentre);
            row.texts.push_back(names[b]);
            row.values.push_back(ear);
            row.texts.push_back(ears == 1 ? "Mono" : ear == 0 ? "Left" : "Right");
            for (const IsoDecayStored* d : {&c.edt, &c.t20, &c.t30})
                add(d->seconds, "%.2f", d->missing);
            for (const IsoDecayStored* d : {&c.edt, &c.t20, &c.t30})
                add(d->r, "%.3f", d->missing);
            for (const IsoDecayStored* d : {&c.t20, &c.t30})
                add(d->xi, "%.1f", d->missing);
            add(c.curvature, "%.1f", Has(c.t20.seconds) ? c.t30.missing : c.t20.missing);
            add(c.c50, "%.1f", c.energyMissing);
            add(c.c80, "%.1f", c.energyMissing);
            add(c.d50, "%.2f", c.energyMissing);
            add(c.ts, "%.0f", c.energyMissing, 1000);
            add(c.inr, "%.1f", c.energyMissing);
            for (const IsoIaccStored* i : {&band.early, &band.late, &band.all})
                add(i->value, "%.2f", band.iaccMissing);
            add(c.tsubRangeDb, "%.1f", 0);
            add(c.tsubR, "%.3f", 0);
            std::string flags;
            for (const std::string& w : iso::FlagWords(c.flags))
                flags += (flags.empty() ? "" : " ") + w;
            row.values.push_back(static_cast<double>(c.flags));
            row.texts.push_back(flags);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

const char* IsoParameterName(IsoParameter p) {
    static const char* const kNames[] = {"EDT", "T20", "T30",    "C50",    "C80",   "D50",
                                         "Ts",  "INR", "IACC_E", "IACC_L", "IACC_A"};
    return kNames[static_cast<int>(p)];
}

ParameterPlot IsoParameterSeries(const IsoResultRecord& result, IsoParameter p) {
    ParameterPlot plot;
    const bool iacc =
        p == IsoParameter::IaccE || p == IsoParameter::IaccL || p == IsoParameter::IaccA;
    auto value = [p](const IsoBandStored& b, int ear) {
        const IsoChannelStored& c = b.channel[ear];
        switch (p) {
            case IsoParameter::Edt:
                return c.edt.seconds;
            case IsoParameter::T20:
                return c.t20.seconds;
            case IsoParameter::T30:
                return c.t30.seconds;
            case IsoParameter::C50:
                return c.c50;
            case IsoParameter::C80:
                return c.c80;
            case IsoParameter::D50:
                return c.d50;
            case IsoParameter::Ts:
                return Has(c.ts) ? c.ts * 1000 : kNoValue;
            case IsoParameter::Inr:
                return c.inr;
            case IsoParameter::IaccE:
                return b.early.value;
            case IsoParameter::IaccL:
                return b.late.value;
            case IsoParameter::IaccA:
                return b.all.value;
        }
        return kNoValue;
    };
    const int ears = iacc || result.channels != 2 ? 1 : 2;
    std::vector<std::vector<double>> perEar(static_cast<std::size_t>(ears));
    double largest = 0;
    for (const IsoBandStored& b : result.bands) {
        plot.labels.push_back(BandName(b.nominalCentre));
        for (int ear = 0; ear < ears; ++ear) {
            const double v = value(b, ear);
            perEar[static_cast<std::size_t>(ear)].push_back(Has(v) ? v : kNoValue);
            if (Has(v)) largest = std::max(largest, v);
        }
    }
    if (ears == 2) {
        std::vector<double> mean;
        for (std::size_t k = 0; k < perEar[0].size(); ++k)
            mean.push_back(Has(perEar[0][k]) && Has(perEar[1][k])
                               ? (perEar[0][k] + perEar[1][k]) / 2
                               : kNoValue);
        plot.series = {mean, perEar[0], perEar[1]};
        plot.names = {"L+R", "Left", "Right"};
    } else {
        plot.series = perEar;
        plot.names = {iacc ? IsoParameterName(p) : result.channels == 2 ? "Left" : "Mono"};
    }
    // Fixed axes where the values have natural bounds; decay times up to a round second.
    switch (p) {
        case IsoParameter::Edt:
        case IsoParameter::T20:
        case IsoParameter::T30:
            plot.top = std::max(1.0, std::ceil(largest * 2) / 2);
            plot.step = plot.top > 4 ? 1 : 0.5;
            plot.title = std::string(IsoParameterName(p)) + " [s]";
            break;
        case IsoParameter::C50:
        case IsoParameter::C80:
            plot.top = 20;
            plot.bottom = -20;
            plot.step = 5;
            plot.title = std::string(IsoParameterName(p)) + " [dB]";
            break;
        case IsoParameter::Ts:
            plot.top = std::max(100.0, std::ceil(largest / 100) * 100);
            plot.step = plot.top > 400 ? 100 : 50;
            plot.title = "Ts [ms]";
            break;
        case IsoParameter::Inr:
            plot.top = std::max(60.0, std::ceil(largest / 20) * 20);
            plot.step = 10;
            plot.title = "INR [dB]";
            break;
        default:
            plot.top = 1;
            plot.step = 0.1;
            plot.title = IsoParameterName(p);
    }
    return plot;
}

}  // namespace vesk
