#include "plot/report.h"

#include <cairo-pdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/atomic_file.h"
#include "plot/cairo_painter.h"
#include "plot/iso_view.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

struct ReportItem {
    enum Kind { Heading, Line, Row, Graphs, NewPage } kind = Line;
    double height = 12;
    std::string text;
    std::vector<std::string> cells;
    std::vector<double> widths;  // shares of the line
    bool header = false;
    const ReportItem* tableHeader = nullptr;  // repeated at the top of a continued table
    std::vector<std::unique_ptr<Graph>> graphs;
};

namespace {

constexpr double kMargin = 48, kBody = 8, kHeading = 13, kGraphFont = 7, kFooter = 24;

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y/%m/%d", &local);
    return text;
}

bool Valid(double v) {
    return std::isfinite(v) && v != -1000;
}

double FrameMean(const LoadedMeasurement& m,
                 double (*pick)(const LoadedMeasurement&, const AcfFactorRecord&)) {
    double sum = 0;
    int n = 0;
    for (const AcfFactorRecord& f : m.factors) {
        const double v = pick(m, f);
        if (Valid(v)) {
            sum += v;
            ++n;
        }
    }
    return n ? sum / n : -1000;
}

double Ms(float v) {
    return v == -1000.0f ? -1000.0 : v * 1000.0;
}

struct Factor {
    const char* name;
    bool noiseOnly, interaural;
    double (*pick)(const LoadedMeasurement&, const AcfFactorRecord&);
};
const Factor kFactors[] = {
    {"Phi(0) [dB]", false, false,
     [](const LoadedMeasurement& m, const AcfFactorRecord& f) {
         return f.phi0 == -1000.0f ? -1000.0 : f.phi0 + (m.kind == 'A' ? m.phiOffset : 0.0);
     }},
    {"Tau-e [ms]", false, false,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) { return Ms(f.tauE); }},
    {"Tau1 [ms]", false, false,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) { return Ms(f.tau1); }},
    {"Phi1", false, false,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) {
         return static_cast<double>(f.phi1);
     }},
    {"SPL [dB]", true, false,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) {
         return static_cast<double>(f.binauralLevel);
     }},
    {"IACC", false, true,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) {
         return static_cast<double>(f.iacc);
     }},
    {"TIACC [ms]", false, true,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) { return Ms(f.tauIacc); }},
    {"WIACC [ms]", false, true,
     [](const LoadedMeasurement&, const AcfFactorRecord& f) { return Ms(f.wiacc); }},
};

bool Shows(const Factor& f, char kind, int channels) {
    if (f.noiseOnly && kind != 'N') return false;
    return !f.interaural || kind == 'N' || channels == 2;
}

struct Parameter {
    const char* name;
    double BandParameters::*value;
    bool interaural;
};
const Parameter kParameters[] = {
    {"SPL [dB]", &BandParameters::spl, false},    {"A-value", &BandParameters::a, false},
    {"Tsub [s]", &BandParameters::tsub, false},   {"IACC", &BandParameters::iacc, true},
    {"TIACC [ms]", &BandParameters::tiacc, true}, {"WIACC [ms]", &BandParameters::wiacc, true},
};

double DeltaT1(const LoadedMeasurement& m) {
    const AcParamRecord& r = m.result;
    const double l = r.deltaT1L - r.deltaT0L, rr = r.deltaT1R - r.deltaT0R;
    return m.channels == 2 ? (l + rr) / 2 : l;
}

}  // namespace

Statistics Describe(const std::vector<double>& values) {
    Statistics s;
    double sum = 0;
    for (double v : values)
        if (Valid(v)) {
            s.min = s.count ? std::min(s.min, v) : v;
            s.max = s.count ? std::max(s.max, v) : v;
            sum += v;
            ++s.count;
        }
    if (s.count == 0) return s;
    s.mean = sum / s.count;
    double squares = 0;
    for (double v : values)
        if (Valid(v)) squares += (v - s.mean) * (v - s.mean);
    s.sd = s.count > 1 ? std::sqrt(squares / (s.count - 1)) : 0;
    return s;
}

std::string FormatValue(double v) {
    return Valid(v) ? Format("%.2f", v) : "----";
}

std::vector<BandStatistics> FolderStatistics(const std::vector<LoadedMeasurement>& measurements) {
    std::vector<BandStatistics> out;
    if (measurements.empty()) return out;
    const char kind = measurements.front().kind;
    if (kind == 'I') {
        std::vector<std::vector<BandParameters>> tables;
        std::vector<std::string> bands;  // in the order they first appear
        bool stereo = false;
        for (const LoadedMeasurement& m : measurements) {
            tables.push_back(ParameterTable(m));
            stereo = stereo || (m.channels == 2 && m.hasResult);
            for (const BandParameters& b : tables.back())
                if (std::find(bands.begin(), bands.end(), b.label) == bands.end())
                    bands.push_back(b.label);
        }
        for (const std::string& band : bands)
            for (const Parameter& p : kParameters) {
                if (p.interaural && !stereo) continue;
                BandStatistics s{p.name, band, {}, {}};
                for (const std::vector<BandParameters>& t : tables) {
                    const auto at = std::find_if(t.begin(), t.end(), [&](const BandParameters& b) {
                        return b.label == band;
                    });
                    s.values.push_back(at == t.end() ? -1000 : (*at).*p.value);
                }
                s.stats = Describe(s.values);
                out.push_back(std::move(s));
            }
        // The ISO 3382-1 set per band, the mean of both ears where there are two.
        std::vector<std::string> isoBands;
        for (const LoadedMeasurement& m : measurements)
            if (m.hasIso)
                for (const std::string& b : IsoBandNames(m.iso))
                    if (std::find(isoBands.begin(), isoBands.end(), b) == isoBands.end())
                        isoBands.push_back(b);
        for (const std::string& band : isoBands)
            for (int k = 0; k < kIsoParameterCount; ++k) {
                const auto p = static_cast<IsoParameter>(k);
                if (p == IsoParameter::IaccA || (p >= IsoParameter::IaccE && !stereo)) continue;
                BandStatistics s{"", band, {}, {}};
                for (const LoadedMeasurement& m : measurements) {
                    double v = -1000;
                    if (m.hasIso) {
                        const ParameterPlot series = IsoParameterSeries(m.iso, p);
                        s.parameter = series.title;
                        const auto at = std::find(series.labels.begin(), series.labels.end(), band);
                        if (at != series.labels.end() && !series.series.empty())
                            v = series.series[0]
                                             [static_cast<std::size_t>(at - series.labels.begin())];
                    }
                    s.values.push_back(v);
                }
                s.stats = Describe(s.values);
                out.push_back(std::move(s));
            }
        BandStatistics d{"dT1 [ms]", "", {}, {}};
        for (const LoadedMeasurement& m : measurements)
            d.values.push_back(m.hasResult ? DeltaT1(m) : -1000);
        d.stats = Describe(d.values);
        out.push_back(std::move(d));
        return out;
    }
    bool stereo = false;
    for (const LoadedMeasurement& m : measurements)
        stereo = stereo || m.channels == 2;
    for (const Factor& f : kFactors) {
        if (!Shows(f, kind, stereo ? 2 : 1)) continue;
        BandStatistics s{f.name, "", {}, {}};
        for (const LoadedMeasurement& m : measurements)
            s.values.push_back(FrameMean(m, f.pick));
        s.stats = Describe(s.values);
        out.push_back(std::move(s));
    }
    return out;
}

Report::Report() : date(Today()) {}
Report::~Report() = default;

void Report::SetPageSize(double width, double height) {
    m_width = width;
    m_height = height;
}

bool Report::Load(std::int32_t folderId, const std::vector<std::int32_t>& ids, std::string* message,
                  bool* storeFailed) {
    *storeFailed = false;
    m_measurements.clear();
    const unsigned errors = StoreErrorCount();
    CFolderTable folders;
    if (!folders.Open() || !folders.Read(folderId, &m_folder)) {
        *storeFailed = StoreErrorCount() != errors;
        *message = "no folder " + std::to_string(folderId);
        return false;
    }
    std::vector<std::int32_t> chosen = ids;
    if (chosen.empty()) {
        // The folder's measurements in ascending ID order, as the output files list them.
        bool ok = true;
        if (m_folder.type == "I") {
            CImpulseTable t;
            std::vector<ImpulseRecord> list;
            ok = ReadFolderRecords(t, folderId, &list);
            for (const ImpulseRecord& r : list)
                chosen.push_back(r.impulseId);
        } else if (m_folder.type == "A") {
            CAcfTable t;
            std::vector<AcfRecord> list;
            ok = ReadFolderRecords(t, folderId, &list);
            for (const AcfRecord& r : list)
                chosen.push_back(r.acfId);
        } else {
            CNmsTable t;
            std::vector<NmsRecord> list;
            ok = ReadFolderRecords(t, folderId, &list);
            for (const NmsRecord& r : list)
                chosen.push_back(r.nmsId);
        }
        if (!ok) {
            *storeFailed = true;
            *message = "the measurements of folder " + std::to_string(folderId) + " cannot be read";
            return false;
        }
        std::sort(chosen.begin(), chosen.end());
    }
    for (std::int32_t id : chosen) {
        LoadedMeasurement m;
        const LoadStatus st = LoadMeasurement(folderId, m_folder.type, id, true, &m);
        if (st != LoadStatus::Done) {
            *storeFailed = st == LoadStatus::StoreFailed;
            *message =
                "folder " + std::to_string(folderId) + " has no measurement " + std::to_string(id);
            return false;
        }
        m.block.samples.shrink_to_fit();
        m_measurements.push_back(std::move(m));
    }
    return true;
}

void Report::Add(std::unique_ptr<ReportItem> item) {
    m_items.push_back(std::move(item));
}

void Report::Layout(int summaryOnly, int measurement) {
    m_items.clear();
    m_pages.clear();
    const char kind = m_folder.type.empty() ? 'I' : m_folder.type[0];
    auto heading = [&](const std::string& text) {
        auto i = std::make_unique<ReportItem>();
        i->kind = ReportItem::Heading;
        i->height = kHeading * 1.8;
        i->text = text;
        Add(std::move(i));
    };
    auto line = [&](const std::string& text) {
        auto i = std::make_unique<ReportItem>();
        i->text = text;
        i->height = kBody * 1.5;
        Add(std::move(i));
    };
    auto gap = [&] {
        auto i = std::make_unique<ReportItem>();
        i->height = kBody;
        Add(std::move(i));
    };
    auto newPage = [&] {
        auto i = std::make_unique<ReportItem>();
        i->kind = ReportItem::NewPage;
        i->height = 0;
        Add(std::move(i));
    };
    // A table: a header row and its rows, which carry the header to continued pages.
    const ReportItem* header = nullptr;
    auto row = [&](std::vector<std::string> cells, std::vector<double> widths, bool isHeader) {
        auto i = std::make_unique<ReportItem>();
        i->kind = ReportItem::Row;
        i->height = kBody * 1.45;
        i->cells = std::move(cells);
        i->widths = std::move(widths);
        i->header = isHeader;
        i->tableHeader = isHeader ? nullptr : header;
        if (isHeader) header = i.get();
        Add(std::move(i));
    };
    auto even = [](std::size_t n, double first) {
        std::vector<double> w(n, 1.0);
        if (n > 0) w[0] = first;
        return w;
    };

    const bool summary = measurement < 0;
    if (summary) {
        heading("Report: " + m_folder.title);
        static const char* const kKinds[] = {"Impulse responses", "Running sound", "Noise"};
        line("Kind: " + std::string(kind == 'I' ? kKinds[0] : kind == 'A' ? kKinds[1] : kKinds[2]));
        line("Name: " + m_folder.name);
        line("Place: " + m_folder.place);
        line("Comment: " + m_folder.comment);
        line("Date: " + FormatDateTime(m_folder.date));
        line("Scale: 1/" + Format("%g", m_folder.TimeScale()));
        gap();
        heading("Calculation conditions");
        const LoadedMeasurement* first = nullptr;
        for (const LoadedMeasurement& m : m_measurements)
            if (m.hasResult) {
                first = &m;
                break;
            }
        if (!first) {
            line(m_measurements.empty() ? "The folder holds no measurements."
                                        : "No measurement of this folder has results.");
        } else if (kind == 'I') {
            const AcParamRecord& r = first->result;
            std::string bands;
            for (const BandParameters& b : ParameterTable(*first))
                bands += (bands.empty() ? "" : " ") + b.label;
            line("Frequency bands [Hz]: " + bands);
            line(std::string("A-weighting: ") + (r.aFilter ? "on" : "off") +
                 "   SPL reference level: " + Format("%.2f", r.splRefLevel) + " dB");
            line("dT1 minimum time: " + Format("%g", r.dt1MinTime) + " ms   Tsub end: " +
                 Format("%g", r.tsubEnd) + " dB" + (r.tsubAuto ? " (automatic)" : "") +
                 "   noise rate: " + Format("%g", r.tsubNoise) +
                 "   WIACC level: " + Format("%g", r.iaccWLevel));
        } else {
            const RunningAcfConditions& c = first->conditions;
            static const char* const kWeightings[] = {"Flat", "A-weighting", "B-weighting",
                                                      "C-weighting"};
            line("Integration time: " + Format("%g", c.integrationTime) +
                 " s   Running step: " + Format("%g", c.runningStep) +
                 " s   Max delay time: " + Format("%g", c.maxDelayTime) + " s   " +
                 kWeightings[std::min<std::uint32_t>(c.weighting, 3)]);
            line("Tau-e: peak detection " + Format("%g", c.peakDetectTime) +
                 " ms, end of regression " + Format("%g", c.tauERegLevel) + " dB / " +
                 Format("%g", c.tauERegTime) +
                 " ms   WIACC width: " + Format("%g", first->wiaccWidth));
        }
        gap();
        heading("Measurements");
        if (kind == 'I') {
            row({"ID", "Title", "SPL [dB]", "A-value", "Tsub [s]", "IACC", "dT1 [ms]", "Result"},
                {0.5, 3.5, 1, 1, 1, 1, 1, 1}, true);
            for (const LoadedMeasurement& m : m_measurements) {
                const std::vector<BandParameters> t = ParameterTable(m);
                const BandParameters b = t.empty() ? BandParameters{} : t.front();
                row({std::to_string(m.id), m.title, FormatValue(b.spl), FormatValue(b.a),
                     FormatValue(b.tsub), FormatValue(b.iacc),
                     m.hasResult ? FormatValue(DeltaT1(m)) : "----", m.hasResult ? "yes" : "no"},
                    {0.5, 3.5, 1, 1, 1, 1, 1, 1}, false);
            }
        } else {
            std::vector<std::string> cells{"ID", "Title", "Frames"};
            std::vector<double> widths{0.5, 3, 0.8};
            for (const Factor& f : kFactors)
                if (Shows(f, kind, 1)) {
                    cells.push_back(f.name);
                    widths.push_back(1);
                }
            if (kind == 'N') {
                cells.push_back("Source");
                widths.push_back(1.6);
            }
            row(cells, widths, true);
            for (const LoadedMeasurement& m : m_measurements) {
                std::vector<std::string> r{std::to_string(m.id), m.title,
                                           std::to_string(m.factors.size())};
                for (const Factor& f : kFactors)
                    if (Shows(f, kind, 1)) r.push_back(FormatValue(FrameMean(m, f.pick)));
                if (kind == 'N') r.push_back(m.source);
                row(r, widths, false);
            }
        }
        gap();
        heading(kind == 'I' ? "Statistics per band across the measurements"
                            : "Statistics across the measurements (means over time)");
        const std::vector<BandStatistics> stats = FolderStatistics(m_measurements);
        bool any = false;
        for (const BandStatistics& s : stats)
            any = any || s.stats.count > 0;
        if (!any) {
            line("No results to compare.");
        } else {
            row({"Parameter", "Band [Hz]", "N", "Mean", "SD", "Min", "Max"},
                {1.6, 1, 0.5, 1, 1, 1, 1}, true);
            for (const BandStatistics& s : stats) {
                if (s.stats.count == 0) continue;
                row({s.parameter, s.band.empty() ? "-" : s.band, std::to_string(s.stats.count),
                     FormatValue(s.stats.mean), FormatValue(s.stats.sd), FormatValue(s.stats.min),
                     FormatValue(s.stats.max)},
                    {1.6, 1, 0.5, 1, 1, 1, 1}, false);
            }
        }
    }
    if (!summaryOnly) {
        const std::size_t from = measurement < 0 ? 0 : static_cast<std::size_t>(measurement);
        const std::size_t to =
            measurement < 0 ? m_measurements.size() : std::min(m_measurements.size(), from + 1);
        for (std::size_t k = from; k < to; ++k) {
            const LoadedMeasurement& m = m_measurements[k];
            if (summary || k != from) newPage();
            header = nullptr;
            heading("Measurement " + std::to_string(m.id) + ": " + m.title);
            line("Channels: " + std::to_string(m.channels) +
                 "   Sampling rate: " + Format("%g", m.fs) + " Hz" +
                 (m.kind == 'N' && m.hasResult ? "   Identified source: " + m.source : ""));
            if (!m.hasResult) {
                line("This measurement has no results.");
                continue;
            }
            gap();
            std::vector<std::string> valid;
            auto graphBlock = [&](const std::string& page, double height) {
                auto i = std::make_unique<ReportItem>();
                i->kind = ReportItem::Graphs;
                PageGraphs(m, {page, "", 0}, &i->graphs, &valid);
                i->height =
                    height * static_cast<double>(std::max<std::size_t>(1, i->graphs.size()));
                i->text = page;
                Add(std::move(i));
            };
            if (m.kind == 'I') {
                const bool two = m.channels == 2;
                std::vector<std::string> cells{"Band [Hz]"};
                if (two)
                    cells.insert(cells.end(), {"SPL-LR [dB]", "SPL-L [dB]", "SPL-R [dB]", "A-LR",
                                               "A-L", "A-R", "Tsub-LR [s]", "Tsub-L [s]",
                                               "Tsub-R [s]", "IACC", "TIACC [ms]", "WIACC [ms]"});
                else
                    cells.insert(cells.end(), {"SPL [dB]", "A-value", "Tsub [s]"});
                const std::vector<double> widths = even(cells.size(), 1.1);
                row(cells, widths, true);
                for (const BandParameters& b : ParameterTable(m)) {
                    std::vector<std::string> r{b.label};
                    const std::vector<double> v =
                        two ? std::vector<double>{b.spl,   b.splL, b.splR,  b.a,
                                                  b.aL,    b.aR,   b.tsub,  b.tsubL,
                                                  b.tsubR, b.iacc, b.tiacc, b.wiacc}
                            : std::vector<double>{b.splL, b.aL, b.tsubL};
                    for (double x : v)
                        r.push_back(FormatValue(x));
                    row(r, widths, false);
                }
                header = nullptr;
                const AcParamRecord& r = m.result;
                line("dT1: " + FormatValue(DeltaT1(m)) + " ms   (left " +
                     FormatValue(r.deltaT1L - r.deltaT0L) + " ms" +
                     (two ? ", right " + FormatValue(r.deltaT1R - r.deltaT0R) + " ms" : "") + ")");
                gap();
                graphBlock("impulse-response", 120);
                graphBlock("reverberation", 130);
                if (two) graphBlock("cross-correlation", 170);
                if (m.hasIso) {
                    gap();
                    heading("ISO 3382-1");
                    if (m.isoComputed)
                        line("Computed from the impulse responses for this report; not stored.");
                    for (const std::string& text : IsoSingleNumberLines(m.iso))
                        line(text);
                    // The columns a reader compares; the desktop shows the fit figures too.
                    static const char* const kShown[] = {
                        "Band [Hz]", "Ear",      "EDT [s]", "T20 [s]", "T30 [s]",
                        "C50 [dB]",  "C80 [dB]", "D50",     "Ts [ms]", "INR [dB]",
                        "IACC_E",    "IACC_L",   "IACC_A"};
                    const std::vector<ResultColumn> columns = IsoColumns();
                    std::vector<std::size_t> shown;
                    std::vector<std::string> titles;
                    for (const char* t : kShown)
                        for (std::size_t c = 0; c < columns.size(); ++c)
                            if (columns[c].title == t && (two || c < 16)) {
                                shown.push_back(c);
                                titles.push_back(t);
                            }
                    // Wide enough for a missing decay time's reason ("INR too low").
                    std::vector<double> isoWidths(shown.size(), 1.0);
                    for (std::size_t c = 0; c < shown.size(); ++c)
                        if (shown[c] >= 2 && shown[c] <= 4) isoWidths[c] = 1.5;
                    row(titles, isoWidths, true);
                    for (const ResultRow& r : IsoRows(m.iso)) {
                        std::vector<std::string> cells;
                        for (std::size_t c : shown)
                            cells.push_back(c < r.texts.size() ? r.texts[c] : "");
                        row(cells, isoWidths, false);
                    }
                    header = nullptr;
                }
            } else {
                std::vector<std::string> cells{"Time [s]"};
                for (const Factor& f : kFactors)
                    if (Shows(f, m.kind, m.channels)) cells.push_back(f.name);
                const std::vector<double> widths = even(cells.size(), 1);
                for (const char* page : {"phi0", "tau-e", "tau1", "phi1"})
                    graphBlock(page, 125);
                if (m.kind == 'N') graphBlock("spl", 125);
                if (m.channels == 2 || m.kind == 'N')
                    for (const char* page : {"iacc", "tiacc", "wiacc"})
                        graphBlock(page, 125);
                for (auto& item : m_items)
                    if (item->kind == ReportItem::Graphs && !item->graphs.empty())
                        if (auto* f = dynamic_cast<FactorGraph*>(item->graphs[0].get()))
                            f->cursor = false;
                gap();
                row(cells, widths, true);
                for (std::size_t frame = 0; frame < m.factors.size(); ++frame) {
                    std::vector<std::string> r{Format("%.2f", frame * m.step)};
                    for (const Factor& f : kFactors)
                        if (Shows(f, m.kind, m.channels))
                            r.push_back(FormatValue(f.pick(m, m.factors[frame])));
                    row(r, widths, false);
                }
            }
        }
    }

    // Pages: items flow down; a continued table starts with its header again.
    const double bottom = m_height - kMargin - kFooter;
    double y = kMargin;
    m_pages.emplace_back();
    for (const auto& item : m_items) {
        if (item->kind == ReportItem::NewPage) {
            if (!m_pages.back().empty()) {
                m_pages.emplace_back();
                y = kMargin;
            }
            continue;
        }
        if (y + item->height > bottom && !m_pages.back().empty()) {
            m_pages.emplace_back();
            y = kMargin;
            if (item->tableHeader) {
                m_pages.back().push_back(item->tableHeader);
                y += item->tableHeader->height;
            }
        }
        m_pages.back().push_back(item.get());
        y += item->height;
    }
}

void Report::DrawPage(Painter& p, int page) const {
    if (page < 0 || page >= PageCount()) return;
    const int width = static_cast<int>(m_width), height = static_cast<int>(m_height);
    p.SetPen({{255, 255, 255}});
    p.SetFill({255, 255, 255});
    p.Rectangle({0, 0, width, height});
    p.NoFill();
    p.SetTextColour({0, 0, 0});
    const double content = m_width - 2 * kMargin;
    double y = kMargin;
    for (const ReportItem* item : m_pages[static_cast<std::size_t>(page)]) {
        const int top = static_cast<int>(y);
        switch (item->kind) {
            case ReportItem::Heading:
                p.SetFont(kHeading, true);
                p.Text(item->text, static_cast<int>(kMargin),
                       top + static_cast<int>(kHeading * 0.4));
                break;
            case ReportItem::Line:
                p.SetFont(kBody, false);
                p.Text(item->text, static_cast<int>(kMargin), top);
                break;
            case ReportItem::Row: {
                p.SetFont(item->header ? kBody - 1 : kBody, item->header);
                double total = 0;
                for (double w : item->widths)
                    total += w;
                double x = kMargin;
                for (std::size_t c = 0; c < item->cells.size() && c < item->widths.size(); ++c) {
                    const double w = content * item->widths[c] / total;
                    std::string text = item->cells[c];
                    // A long heading takes a smaller face; other long texts are cut to their
                    // column rather than run into the next.
                    for (double size = kBody - 1;
                         item->header && size > 4.5 && p.TextExtent(text).width > w - 3;
                         size -= 0.5)
                        p.SetFont(size, true);
                    while (text.size() > 1 && p.TextExtent(text).width > w - 3)
                        text.pop_back();
                    const bool number = text == "----" ||
                                        (!text.empty() && text.find_first_not_of("0123456789.-") ==
                                                              std::string::npos);
                    const int tx = c == 0 || item->header || !number
                                       ? static_cast<int>(x)
                                       : static_cast<int>(x + w - 3 - p.TextExtent(text).width);
                    p.Text(text, tx, top + 1);
                    if (item->header) p.SetFont(kBody - 1, true);
                    x += w;
                }
                if (item->header) {
                    p.SetPen({{0, 0, 0}});
                    const int rule = top + static_cast<int>(item->height) - 1;
                    p.Line(static_cast<int>(kMargin), rule, static_cast<int>(kMargin + content),
                           rule);
                }
                break;
            }
            case ReportItem::Graphs: {
                p.SetFont(kGraphFont, false);
                std::vector<const Graph*> graphs;
                for (const auto& g : item->graphs)
                    graphs.push_back(g.get());
                p.Translate(static_cast<int>(kMargin), top);
                PaintGraphs(p, graphs, static_cast<int>(content), static_cast<int>(item->height),
                            true);
                p.Translate(-static_cast<int>(kMargin), -top);
                p.SetTextColour({0, 0, 0});
                break;
            }
            case ReportItem::NewPage:
                break;
        }
        y += item->height;
    }
    // Footer: date, folder and page number.
    p.SetFont(kBody - 1, false);
    p.SetTextColour({80, 80, 80});
    const int footer = static_cast<int>(m_height - kMargin);
    p.SetPen({{160, 160, 160}});
    p.Line(static_cast<int>(kMargin), footer - 4, static_cast<int>(m_width - kMargin), footer - 4);
    p.Text(date, static_cast<int>(kMargin), footer);
    p.Text(m_folder.title, static_cast<int>((m_width - p.TextExtent(m_folder.title).width) / 2),
           footer);
    const std::string number =
        "Page " + std::to_string(page + 1) + " of " + std::to_string(PageCount());
    p.Text(number, static_cast<int>(m_width - kMargin - p.TextExtent(number).width), footer);
    p.SetTextColour({0, 0, 0});
}

bool Report::WritePdf(const std::string& path, std::string* message) const {
    std::string bytes;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(AppendToString, &bytes, m_width, m_height);
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                       ("Report: " + m_folder.title).c_str());
        cairo_t* cr = cairo_create(surface);
        {
            CairoPainter painter(cr, kBody);
            for (int page = 0; page < PageCount(); ++page) {
                DrawPage(painter, page);
                cairo_show_page(cr);
            }
        }
        ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
        cairo_destroy(cr);
    }
    cairo_surface_finish(surface);
    ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok || bytes.empty()) {
        *message = "the report could not be drawn";
        return false;
    }
    if (!WriteFileAtomically(path, bytes.data(), bytes.size())) {
        *message = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace vesk
