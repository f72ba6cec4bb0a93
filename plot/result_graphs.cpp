#include "plot/result_graphs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "acf/acf_calculation.h"
#include "acf/acf_conditions.h"
#include "dsp/bands.h"
#include "dsp/fft.h"
#include "impulse/impulse_analysis.h"
#include "impulse/impulse_calculation.h"
#include "impulse/preference.h"
#include "impulse/spl_reference.h"
#include "noise/noise_analysis.h"
#include "plot/iso_view.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

double Mean(double a, double b) {
    return a == -1000 || b == -1000 ? -1000 : (a + b) / 2;
}

float Peak(const std::vector<float>& l, const std::vector<float>& r) {
    float peak = 0;
    for (const std::vector<float>* c : {&l, &r})
        for (float v : *c)
            if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
    return peak;
}

struct FactorPage {
    const char* name;
    const char* title;
    bool levels, unitTop, interaural;
};
const FactorPage kFactorPages[] = {
    {"phi0", "Phi(0) [dB]", true, false, false}, {"tau-e", "Tau-e [ms]", false, false, false},
    {"tau1", "Tau1 [ms]", false, false, false},  {"phi1", "Phi1", false, true, false},
    {"spl", "SPL [dB]", true, false, false},     {"iacc", "IACC", false, true, true},
    {"tiacc", "TIACC [ms]", false, false, true}, {"wiacc", "WIACC [ms]", false, false, true},
};

double FactorValue(const LoadedMeasurement& m, const AcfFactorRecord& f, const std::string& page) {
    auto ms = [](float v) { return v == -1000.0f ? -1000.0 : v * 1000.0; };
    if (page == "phi0") return f.phi0 + (m.kind == 'A' ? m.phiOffset : 0.0);
    if (page == "tau-e") return ms(f.tauE);
    if (page == "tau1") return ms(f.tau1);
    if (page == "phi1") return f.phi1;
    if (page == "spl") return f.binauralLevel;
    if (page == "iacc") return f.iacc;
    if (page == "tiacc") return ms(f.tauIacc);
    return ms(f.wiacc);
}

// The responses filtered for a band (0: unfiltered).
void BandResponses(const LoadedMeasurement& m, int band, std::vector<float>* l,
                   std::vector<float>* r) {
    *l = m.left;
    *r = m.right;
    const std::int32_t n = static_cast<std::int32_t>(l->size());
    if (n > 0 && band != 0)
        ApplyBandFilter(l->data(), r->empty() ? nullptr : r->data(), n, m.fs, band,
                        m.result.freqBand);
}

TimeView WholeView(std::size_t samples, double fs) {
    TimeView view{fs > 0 ? samples / fs : 0.0, 0, 0};
    NormalizeView(&view);
    return view;
}

}  // namespace

LoadStatus LoadMeasurement(std::int32_t folderId, const std::string& kind, std::int32_t id,
                           bool samples, LoadedMeasurement* out) {
    *out = LoadedMeasurement{};
    out->kind = kind.empty() ? 'I' : kind[0];
    out->id = id;
    const unsigned errors = StoreErrorCount();
    auto failed = [&] {
        return StoreErrorCount() != errors ? LoadStatus::StoreFailed : LoadStatus::NoMeasurement;
    };
    FolderRecord folder;
    {
        CFolderTable folders;
        if (!folders.Open() || !folders.Read(folderId, &folder)) return failed();
    }
    const double scale = folder.TimeScale();
    if (out->kind == 'I') {
        CImpulseTable table;
        ImpulseRecord& r = out->impulse;
        if (!table.Open() || !table.Read(id, &r) || r.folderId != folderId) return failed();
        out->title = r.title;
        out->channels = r.channel == 1 ? 1 : 2;
        out->fs = r.sampling / scale;
        if (samples && ReadWaveData(table, &out->block) == db::kOk &&
            !RecoverImpulseResponses(r, out->block, out->fs, &out->left, &out->right)) {
            out->left.clear();
            out->right.clear();
        }
        out->block = SampleBlock{};
        CAcParamTable results;
        out->hasResult = results.Open() && results.Read(id, &out->result) && out->result.nData > 0;
        if (out->hasResult) {
            out->splOffset =
                SplReferenceOffset(out->result.splRefData, folderId, out->result.splRefLevel);
            LoadIsoForDisplay(id, out->left, out->right, out->fs, out->result, &out->iso,
                              &out->hasIso, &out->isoComputed);
        }
    } else if (out->kind == 'A') {
        CAcfTable table;
        AcfRecord r;
        if (!table.Open() || !table.Read(id, &r) || r.folderId != folderId) return failed();
        out->title = r.title;
        out->channels = r.channel == 2 ? 2 : 1;
        out->fs = r.sampling / scale;
        if (samples && ReadWaveData(table, &out->block) != db::kOk) out->block = SampleBlock{};
        CAcfFactTable results;
        AcfFactRecord f;
        AcfFactBlobs blobs;
        if (results.Open() && results.Read(id, &f, &blobs)) {
            const AcfConditionBlock c = DecodeAcfConditionBlock(blobs.cond.data());
            out->conditions = c.conditions;
            out->sampleNum = c.sampleNum;
            out->wiaccWidth = c.wiaccWidth;
            out->factors = DecodeAcfFactors(blobs.factors);
            out->step = c.conditions.runningStep;
            out->phiOffset = PhiZeroReferenceOffset(folderId, c.conditions.phi0RefData,
                                                    c.conditions.phi0RefLevel);
            out->hasResult = !out->factors.empty();
        }
    } else {
        CNmsTable table;
        NmsRecord r;
        NmsBlobs blobs;
        if (!table.Open() || !table.Read(id, &r, &blobs) || r.folderId != folderId) return failed();
        out->title = "No. " + std::to_string(r.number + 1);
        out->channels = r.channel == 2 ? 2 : 1;
        out->fs = r.sampling / scale;
        if (samples && ReadWaveData(table, &out->block) != db::kOk) out->block = SampleBlock{};
        if (!blobs.factors.empty()) {
            const NoiseConditionBlock nc = DecodeNoiseConditionBlock(blobs.cond.data());
            out->conditions = nc.acf.conditions;
            out->sampleNum = nc.acf.sampleNum;
            out->wiaccWidth = nc.acf.wiaccWidth;
            out->calibration = nc.calibration;
            out->calibrated = true;
            out->factors = DecodeAcfFactors(blobs.factors);
            out->step = nc.acf.conditions.runningStep;
            out->source = DisplayedSourceName(DecodeNoiseSourceResult(blobs.source.data()).name);
            out->hasResult = !out->factors.empty();
        }
    }
    if (!std::isfinite(out->step) || !(out->step > 0)) out->step = 0.1;
    return LoadStatus::Done;
}

std::vector<BandParameters> ParameterTable(const LoadedMeasurement& m) {
    std::vector<BandParameters> rows;
    if (m.kind != 'I' || !m.hasResult) return rows;
    const AcParamRecord& r = m.result;
    const int n = std::clamp(r.nData, 0, kAcParamBands);
    auto level = [&](double v) { return v == -1000 ? -1000 : v + m.splOffset; };
    for (int k = 0; k < n; ++k) {
        const AcParamBand& b = r.bands[static_cast<std::size_t>(k)];
        BandParameters p;
        p.freq = b.freq;
        p.label = BandLabel(b.freq, r.freqBand, false);
        p.splL = level(b.splL);
        p.aL = b.aL;
        p.tsubL = b.tsubL;
        if (m.channels == 1) {
            p.spl = p.splL;
            p.a = p.aL;
            p.tsub = p.tsubL;
        } else {
            p.splR = level(b.splR);
            p.spl = b.splL == -1000 || b.splR == -1000
                        ? -1000
                        : ListeningLevel(b.splL, b.splR) + m.splOffset;
            p.aR = b.aR;
            p.a = Mean(b.aL, b.aR);
            p.tsubR = b.tsubR;
            p.tsub = Mean(b.tsubL, b.tsubR);
            p.iacc = b.iacc;
            p.tiacc = b.tiacc;
            p.wiacc = b.wiacc;
        }
        rows.push_back(p);
    }
    return rows;
}

std::vector<std::string> GraphPageNames(char kind) {
    if (kind == 'I')
        return {"impulse-response", "reverberation", "cross-correlation", "spectrum",
                "preference",       "parameters",    "iso-3382"};
    std::vector<std::string> names;
    for (const FactorPage& p : kFactorPages)
        if (p.name != std::string("spl") || kind == 'N') names.push_back(p.name);
    names.push_back("acf");
    names.push_back("iacf");
    return names;
}

std::vector<std::string> BandNames(const LoadedMeasurement& m) {
    std::vector<std::string> names;
    for (const BandParameters& p : ParameterTable(m))
        names.push_back(p.label);
    return names;
}

PageStatus PageGraphs(const LoadedMeasurement& m, const PageChoice& choice,
                      std::vector<std::unique_ptr<Graph>>* graphs,
                      std::vector<std::string>* valid) {
    graphs->clear();
    const std::string page = Lower(choice.page);
    const std::vector<std::string> pages = GraphPageNames(m.kind);
    if (std::find(pages.begin(), pages.end(), page) == pages.end()) {
        *valid = pages;
        return PageStatus::UnknownPage;
    }
    if (page == "iso-3382") {
        // The decay of one band, one graph per ear; the band by its short name or its centre.
        const std::vector<std::string> bands =
            m.hasIso ? IsoBandNames(m.iso) : std::vector<std::string>{};
        std::size_t band = 0;
        if (!choice.band.empty() || bands.empty()) {
            char* end = nullptr;
            const double centre = std::strtod(choice.band.c_str(), &end);
            const bool number = !choice.band.empty() && end && *end == '\0';
            band = bands.size();
            for (std::size_t k = 0; k < bands.size() && band == bands.size(); ++k)
                if (Lower(bands[k]) == Lower(choice.band) ||
                    (number && centre > 0 && m.iso.bands[k].nominalCentre == centre))
                    band = k;
            if (band == bands.size()) {
                *valid = bands;
                return PageStatus::UnknownBand;
            }
        }
        const int ears = m.iso.channels == 2 ? 2 : 1;
        for (int ear = 0; ear < ears; ++ear) {
            auto g = std::make_unique<FittedDecayGraph>(
                IsoDecayOf(ear == 0 ? m.left : m.right, m.fs, m.iso, band, ear));
            g->title = IsoBandTitle(m.iso, band) + (ears == 1  ? ""
                                                    : ear == 0 ? ", Left"
                                                               : ", Right");
            graphs->push_back(std::move(g));
        }
        return PageStatus::Done;
    }
    if (m.kind == 'I') {
        int entry = 0;
        const std::vector<std::string> bands = BandNames(m);
        if (!choice.band.empty()) {
            const auto at = std::find_if(bands.begin(), bands.end(), [&](const std::string& b) {
                return Lower(b) == Lower(choice.band);
            });
            if (at == bands.end()) {
                *valid = bands;
                return PageStatus::UnknownBand;
            }
            entry = static_cast<int>(at - bands.begin());
        }
        const int band = bands.empty() ? 0 : m.result.bands[static_cast<std::size_t>(entry)].freq;
        const AcParamRecord& rec = m.result;
        if (page == "parameters") {
            const std::vector<BandParameters> rows = ParameterTable(m);
            const bool two = m.channels == 2;
            for (int c = 0; c < (two ? 6 : 3); ++c) {
                auto g = std::make_unique<BandGraph>();
                g->data = ParameterAxis(static_cast<ShownParameter>(c));
                for (const BandParameters& r : rows)
                    g->data.labels.push_back(r.label);
                auto series = [&](auto pick) {
                    std::vector<double> v;
                    for (const BandParameters& r : rows)
                        v.push_back(pick(r));
                    g->data.series.push_back(std::move(v));
                };
                if (c < 3 && two) {
                    g->data.names = {"L+R", "Left", "Right"};
                    if (c == 0) {
                        series([](const BandParameters& r) { return r.spl; });
                        series([](const BandParameters& r) { return r.splL; });
                        series([](const BandParameters& r) { return r.splR; });
                    } else if (c == 1) {
                        series([](const BandParameters& r) { return r.a; });
                        series([](const BandParameters& r) { return r.aL; });
                        series([](const BandParameters& r) { return r.aR; });
                    } else {
                        series([](const BandParameters& r) { return r.tsub; });
                        series([](const BandParameters& r) { return r.tsubL; });
                        series([](const BandParameters& r) { return r.tsubR; });
                    }
                } else {
                    g->data.names = {two ? g->data.title : "Left"};
                    series([c](const BandParameters& r) {
                        const double v[] = {r.splL, r.aL, r.tsubL, r.iacc, r.tiacc, r.wiacc};
                        return v[c];
                    });
                }
                graphs->push_back(std::move(g));
            }
            return PageStatus::Done;
        }
        if (page == "preference") {
            auto g = std::make_unique<CurveGraph>();
            g->xTitle = "Tau-e [ms]";
            g->yTitle = "Scale value";
            if (m.hasResult && m.channels == 2) {
                const AcParamBand& b = rec.bands[0];
                const PreferenceSweep sweep =
                    SweepTauE(rec, m.splOffset, ListeningLevel(b.splL, b.splR) + m.splOffset);
                g->y.assign(sweep.curve.begin(), sweep.curve.end());
                for (int t = 1; t <= 300; ++t)
                    g->x.push_back(t);
                g->marker = sweep.optimumTauE;
            }
            graphs->push_back(std::move(g));
            return PageStatus::Done;
        }
        std::vector<float> l, r;
        BandResponses(m, band, &l, &r);
        if (page == "impulse-response") {
            const double scale = Peak(l, r);
            const char* const names[] = {"Left", "Right"};
            for (int c = 0; c < (r.empty() ? 1 : 2); ++c) {
                auto g = std::make_unique<ImpulseGraph>();
                g->title = names[c];
                g->SetSamples(c == 0 ? l : r, m.fs, scale);
                g->view = WholeView(g->samples.size(), g->fs);
                g->directMs = c == 0 ? rec.deltaT0L : rec.deltaT0R;
                g->reflectionMs = c == 0 ? rec.deltaT1L : rec.deltaT1R;
                graphs->push_back(std::move(g));
            }
        } else if (page == "reverberation") {
            const DecayDisplay d = ComputeDecayDisplay(
                l.empty() ? nullptr : l.data(), r.empty() ? nullptr : r.data(),
                static_cast<std::int32_t>(l.size()), m.fs, rec.deltaT1L, rec.deltaT1R, rec.tsubEnd,
                rec.tsubAuto, rec.tsubNoise, r.empty() ? DecayChannel::Left : DecayChannel::Average,
                DecayLength(m.impulse, m.left, m.right, rec.tsubNoise),
                BandWidth(band, rec.freqBand));
            for (bool echo : {true, false}) {
                auto g = std::make_unique<DecayGraph>();
                g->echo = echo;
                g->display = d;
                g->fs = m.fs > 0 ? m.fs : 1;
                g->view = WholeView(l.size(), g->fs);
                graphs->push_back(std::move(g));
            }
        } else if (page == "cross-correlation") {
            auto g = std::make_unique<LagGraph>();
            g->fs = m.fs > 0 ? m.fs : 1;
            const std::int32_t n = IacfLength(m.fs);
            if (!r.empty() && l.size() == r.size() && n > 0) {
                g->values.resize(static_cast<std::size_t>(n));
                ComputeIacf(l.data(), r.data(), static_cast<std::int32_t>(l.size()),
                            g->values.data(), n);
                g->delta = m.hasResult ? rec.iaccWLevel : 0.1;
                const IacfResult x = EvaluateIacf(g->values.data(), n, m.fs, g->delta);
                g->centre = n / 2;
                g->iacc = x.iacc;
                g->tauMs = x.tauIacc;
                g->leftMs = x.leftWidth;
                g->rightMs = x.rightWidth;
            }
            graphs->push_back(std::move(g));
        } else {  // spectrum
            const std::int32_t n = static_cast<std::int32_t>(l.size());
            const bool stereo = !r.empty();
            std::vector<float> pl(l.size()), pr(stereo ? r.size() : l.size());
            const bool ok = n >= 4 && !PowerSpectrum2(l.data(), stereo ? r.data() : nullptr,
                                                      pl.data(), pr.data(), n);
            for (int c = 0; c < (stereo ? 2 : 1); ++c) {
                auto g = std::make_unique<SpectrumGraph>();
                g->name = c == 0 ? "Left" : "Right";
                g->fs = m.fs;
                if (ok) {
                    g->power = c == 0 ? pl : pr;
                    for (float& v : g->power)
                        v /= static_cast<float>(n);
                }
                graphs->push_back(std::move(g));
            }
        }
        return PageStatus::Done;
    }
    const int frames = static_cast<int>(m.factors.size());
    if (choice.frame < 0 || (choice.frame >= frames && frames > 0) ||
        (frames == 0 && choice.frame != 0)) {
        valid->clear();
        valid->push_back(frames > 0 ? "0 .. " + std::to_string(frames - 1) : "0");
        return PageStatus::UnknownFrame;
    }
    if (page == "acf" || page == "iacf") {
        AcfFrameView frame;
        const double fs = m.fs > 0 ? m.fs : 1;
        if (m.hasResult && m.block.Frames() > 0) {
            const AcfFrameViewer viewer(m.block, m.sampleNum, m.conditions, m.wiaccWidth,
                                        m.calibrated ? &m.calibration : nullptr, fs);
            if (choice.frame < viewer.Frames())
                frame = viewer.Frame(choice.frame, m.block.channels == 2);
        }
        const AcfFactorRecord stored = choice.frame < frames
                                           ? m.factors[static_cast<std::size_t>(choice.frame)]
                                           : AcfFactorRecord{};
        if (page == "iacf") {
            auto g = std::make_unique<LagGraph>();
            g->fs = fs;
            if (!frame.iacf.empty()) {
                const AcfFactorRecord& f = frame.factors;
                g->values = frame.iacf;
                g->centre = static_cast<int>(frame.iacf.size() / 2);
                g->iacc = f.iacc;
                g->tauMs = f.tauIacc * 1000.0;
                g->leftMs = f.wiaccLeft * 1000.0;
                g->rightMs = f.wiacc * 1000.0 - g->leftMs;
                g->delta = m.wiaccWidth;
            }
            graphs->push_back(std::move(g));
            return PageStatus::Done;
        }
        for (bool logarithm : {false, true}) {
            auto g = std::make_unique<RunningAcfGraph>();
            g->frame = frame;
            g->stored = stored;
            g->fs = fs;
            g->logarithm = logarithm;
            g->view = WholeView(frame.phi.size(), fs);
            graphs->push_back(std::move(g));
        }
        return PageStatus::Done;
    }
    const FactorPage& p = *std::find_if(std::begin(kFactorPages), std::end(kFactorPages),
                                        [&](const FactorPage& f) { return page == f.name; });
    auto g = std::make_unique<FactorGraph>();
    g->title = p.title;
    g->levels = p.levels;
    g->unitTop = p.unitTop;
    g->step = m.step;
    g->frame = choice.frame;
    if (!p.interaural || m.channels == 2 || m.kind == 'N')
        for (const AcfFactorRecord& f : m.factors)
            g->values.push_back(FactorValue(m, f, page));
    graphs->push_back(std::move(g));
    return PageStatus::Done;
}

}  // namespace vesk
