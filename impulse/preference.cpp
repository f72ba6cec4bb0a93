#include "impulse/preference.h"

#include <cmath>

#include "impulse/impulse_analysis.h"

namespace vesk {

namespace {

double Scale(double alpha, double x) {
    return -alpha * std::pow(std::fabs(x), 1.5);
}

bool Positive(double v) {
    return v > 0 && std::isfinite(v);
}

struct BandInputs {
    double ll, deltaT1, tsub, iacc, a;
};

BandInputs Inputs(const AcParamRecord& r, int entry, double offset) {
    const AcParamBand& b = r.bands[static_cast<std::size_t>(entry)];
    return {ListeningLevel(b.splL, b.splR) + offset,
            ((r.deltaT1L - r.deltaT0L) + (r.deltaT1R - r.deltaT0R)) * 0.5,
            (b.tsubL + b.tsubR) * 0.5, b.iacc, (b.aL + b.aR) * 0.5};
}

}  // namespace

int EvaluatePreference(double ll, double deltaT1, double tsub, double iacc, double a, double tauE,
                       double llp, PreferenceValues* out) {
    int valid = 1;
    const double x1 = ll - llp;
    out->s1 = Scale(x1 >= 0 ? 0.07 : 0.04, x1);
    const double p = (1 - std::log10(a)) * tauE;
    if (!(p > 0) || !Positive(a) || !Positive(deltaT1)) {
        out->s2 = kNoValue;
        valid = 0;
    } else {
        const double x2 = std::log10(deltaT1 / p);
        out->s2 = Scale(x2 >= 0 ? 1.42 : 1.11, x2);
    }
    if (a >= 5.0 || !Positive(a) || !Positive(tsub) || !Positive(tauE)) {
        out->s3 = kNoValue;
        valid = 0;
    } else {
        const double x3 = std::log10(tsub / (0.023 * tauE));
        out->s3 = Scale(x3 >= 0 ? 0.45 + 0.74 * a : 2.36 - 0.42 * a, x3);
    }
    out->s4 = -1.45 * std::pow(std::fabs(iacc), 1.5);
    out->sv = valid ? out->s2 + out->s3 + out->s1 + out->s4 : kNoValue;
    if (!std::isfinite(out->sv)) {
        out->sv = kNoValue;
        valid = 0;
    }
    return valid;
}

int BandPreference(const AcParamRecord& record, int entry, double offset, double* sv) {
    *sv = kNoValue;
    if (entry < 0 || entry >= kAcParamBands) return 0;
    const BandInputs in = Inputs(record, entry, offset);
    PreferenceValues v;
    if (!EvaluatePreference(in.ll, in.deltaT1, in.tsub, in.iacc, in.a, record.prefTauE,
                            record.prefSpl, &v))
        return 0;
    *sv = v.sv;
    return 1;
}

PreferenceSweep SweepTauE(const AcParamRecord& record, double offset, double optimumSpl) {
    PreferenceSweep s;
    const BandInputs in = Inputs(record, 0, offset);
    for (int t = 1; t <= 300; ++t) {
        PreferenceValues v;
        EvaluatePreference(in.ll, in.deltaT1, in.tsub, in.iacc, in.a, t, optimumSpl, &v);
        s.curve[static_cast<std::size_t>(t - 1)] = v.sv;
        if (v.sv > s.maximum) {
            s.maximum = v.sv;
            s.optimumTauE = t;
        }
    }
    return s;
}

}  // namespace vesk
