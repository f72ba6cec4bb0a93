// vesk-cli demo: a working folder with a store of a simulated concert hall (binaural MLS
// measurements at six seats), a solo recording played in that hall, and recordings of three
// noise sources with a template library learnt from them; every folder calculated with the
// default conditions and written out. Seeded: two runs give the same files byte for byte.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>

#include "acf/acf_calculation.h"
#include "cli/commands.h"
#include "cli/progress_bar.h"
#include "dsp/bands.h"
#include "dsp/fft.h"
#include "dsp/mls.h"
#include "export/output_files.h"
#include "impulse/impulse_calculation.h"
#include "noise/noise_calculation.h"
#include "resources/strings.h"
#include "shell/settings.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk::cli {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFs = 48000;
constexpr double kSoundSpeed = 343.0;
constexpr int kOrder = 16;  // MLS order of the hall measurements
constexpr std::size_t kN = std::size_t{1} << kOrder, kL = kN - 1;

// The hall: a shoebox of 42 x 26 x 16 m with the source on the stage.
struct Point {
    double x, y, z;
};
constexpr double kHall[3] = {42.0, 26.0, 16.0};
constexpr Point kSource{6.0, 13.0, 1.6};

struct Seat {
    const char* title;
    Point at;
};
const Seat kSeats[] = {
    {"Stalls row 5 centre", {14, 13, 1.2}},  {"Stalls row 5 left", {14, 6, 1.2}},
    {"Stalls row 15 centre", {24, 13, 1.2}}, {"Stalls row 15 right", {24, 21, 1.2}},
    {"Rear stalls", {34, 11, 1.2}},          {"Balcony", {38, 15, 7.5}}};

// Reverberation time per octave band 1..10 (31.5 Hz .. 16 kHz): a hall whose decay shortens
// with frequency above 1 kHz, as air and audience absorb more there.
constexpr double kT60[11] = {0, 1.2, 1.2, 1.15, 1.1, 1.05, 1.0, 0.85, 0.7, 0.55, 0.4};

// A fractional-delay impulse (Hann-windowed sinc) added at time t seconds.
void AddArrival(std::vector<double>& h, double t, double amplitude) {
    const double at = t * kFs;
    const long centre = std::lround(at);
    for (long k = centre - 16; k <= centre + 16; ++k) {
        if (k < 0 || k >= static_cast<long>(h.size())) continue;
        const double x = static_cast<double>(k) - at;
        const double sinc = std::fabs(x) < 1e-9 ? 1.0 : std::sin(kPi * x) / (kPi * x);
        const double window = 0.5 * (1 + std::cos(kPi * x / 17.0));
        h[static_cast<std::size_t>(k)] += amplitude * sinc * window;
    }
}

// Left and right impulse responses at a seat (listener facing the stage, -x): image sources up
// to order 3 for the early sound, a head model for interaural time and level differences, and
// a diffuse tail from 60 ms whose decay falls with frequency.
void HallResponse(const Seat& seat, unsigned seed, std::vector<double>* left,
                  std::vector<double>* right) {
    left->assign(kL, 0.0);
    right->assign(kL, 0.0);
    const double headRadius = 0.0875, wallGain = 0.8;
    for (int i = -3; i <= 3; ++i)
        for (int j = -3; j <= 3; ++j)
            for (int k = -3; k <= 3; ++k) {
                const int order = std::abs(i) + std::abs(j) + std::abs(k);
                if (order > 3) continue;
                auto image = [](int n, double s, double size) {
                    return n % 2 == 0 ? n * size + s : (n + 1) * size - s;
                };
                const Point p{image(i, kSource.x, kHall[0]), image(j, kSource.y, kHall[1]),
                              image(k, kSource.z, kHall[2])};
                const double dx = p.x - seat.at.x, dy = p.y - seat.at.y, dz = p.z - seat.at.z;
                const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
                const double t = distance / kSoundSpeed + 0.004;
                if (t * kFs > static_cast<double>(kL) - 20) continue;
                // Azimuth from straight ahead (-x), positive to the listener's left (-y side).
                const double azimuth = std::atan2(-dy, -dx);
                const double itd = headRadius / kSoundSpeed * (azimuth + std::sin(azimuth));
                const double gain = std::pow(wallGain, order) / distance;
                const double shadow = 1 - 0.35 * std::fabs(std::sin(azimuth));
                const bool fromLeft = azimuth > 0;
                AddArrival(*left, t + (fromLeft ? 0 : std::fabs(itd) / 2),
                           gain * (fromLeft ? 1.0 : shadow));
                AddArrival(*right, t + (fromLeft ? std::fabs(itd) / 2 : 0),
                           gain * (fromLeft ? shadow : 1.0));
            }
    // The diffuse tail: noise filtered into octave bands, each decaying at its own rate, partly
    // common to both ears.
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    std::vector<float> common(kN), onlyL(kN), onlyR(kN);
    for (std::size_t i = 0; i < kN; ++i) {
        common[i] = static_cast<float>(g(random));
        onlyL[i] = static_cast<float>(g(random));
        onlyR[i] = static_cast<float>(g(random));
    }
    const double start = 0.06, level = 0.012;
    for (int band = 1; band <= 10; ++band) {
        std::vector<float> c = common, l = onlyL, r = onlyR;
        ApplyBandFilter(c.data(), l.data(), static_cast<std::int32_t>(kN), kFs, band, 0);
        ApplyBandFilter(r.data(), nullptr, static_cast<std::int32_t>(kN), kFs, band, 0);
        const double rate = std::log(1000.0) / kT60[band];
        for (std::size_t i = static_cast<std::size_t>(start * kFs); i < kL; ++i) {
            const double t = static_cast<double>(i) / kFs;
            const double rise = std::min(1.0, (t - start) / 0.02);
            const double env = level * rise * std::exp(-rate * (t - start));
            (*left)[i] += env * (0.5 * c[i] + 0.85 * l[i]);
            (*right)[i] += env * (0.5 * c[i] + 0.85 * r[i]);
        }
    }
}

// Circular convolution of h (L values) with one MLS period, by FFT of two periods: position
// j + 1 of the recording holds the convolution at j, as the recovery expects.
std::vector<double> MlsRecording(const std::vector<double>& h) {
    const auto& seq = SharedMls().sequence;
    const std::int32_t n = 1 << (kOrder + 2);
    std::vector<float> re(static_cast<std::size_t>(n), 0.0f), im(static_cast<std::size_t>(n), 0.0f),
        sre(static_cast<std::size_t>(n), 0.0f), sim(static_cast<std::size_t>(n), 0.0f);
    for (std::size_t i = 0; i < kL; ++i) {
        re[i] = static_cast<float>(h[i]);
        sre[i] = sre[i + kL] = seq[i] ? -1.0f : 1.0f;
    }
    FftTables tables;
    FftForward(tables, n, re.data(), im.data());
    FftForward(tables, n, sre.data(), sim.data());
    for (std::size_t k = 0; k < re.size(); ++k) {
        const double a = re[k], b = im[k], c = sre[k], d = sim[k];
        re[k] = static_cast<float>((a * c - b * d) / n);
        im[k] = static_cast<float>((a * d + b * c) / n);
    }
    FftInverse(tables, n, re.data(), im.data());
    std::vector<double> y(kN, 0.0);
    for (std::size_t j = 0; j < kL; ++j)
        y[j + 1] = re[j + kL];
    return y;
}

// Linear convolution of x with h by FFT, cut to the length of x.
std::vector<double> Convolve(const std::vector<double>& x, const std::vector<double>& h) {
    std::int32_t n = 1;
    while (static_cast<std::size_t>(n) < x.size() + h.size())
        n *= 2;
    std::vector<float> re(static_cast<std::size_t>(n), 0.0f), im(static_cast<std::size_t>(n), 0.0f);
    for (std::size_t i = 0; i < x.size(); ++i)
        re[i] = static_cast<float>(x[i]);
    for (std::size_t i = 0; i < h.size(); ++i)
        im[i] = static_cast<float>(h[i]);
    FftTables tables;
    FftForward(tables, n, re.data(), im.data());
    // Separate the two spectra and multiply them: X = (Z[k] + conj Z[n-k]) / 2, H = (Z[k] -
    // conj Z[n-k]) / 2j.
    std::vector<float> pr(re.size()), pi(re.size());
    for (std::int32_t k = 0; k < n; ++k) {
        const std::size_t a = static_cast<std::size_t>(k),
                          b = static_cast<std::size_t>((n - k) % n);
        const double xr = (re[a] + re[b]) / 2, xi = (im[a] - im[b]) / 2;
        const double hr = (im[a] + im[b]) / 2, hi = (re[b] - re[a]) / 2;
        pr[a] = static_cast<float>((xr * hr - xi * hi) / n);
        pi[a] = static_cast<float>((xr * hi + xi * hr) / n);
    }
    FftInverse(tables, n, pr.data(), pi.data());
    return std::vector<double>(pr.begin(), pr.begin() + static_cast<std::ptrdiff_t>(x.size()));
}

std::int16_t Sample(double v) {
    return static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}

// A solo melody: notes of harmonic tones with onsets and decays, 10 s.
std::vector<double> Melody(unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> step(-2, 2);
    std::uniform_real_distribution<double> length(0.2, 0.6);
    const std::size_t n = static_cast<std::size_t>(10 * kFs);
    std::vector<double> out(n, 0.0);
    const int scale[] = {0, 2, 4, 5, 7, 9, 11, 12, 14};
    int degree = 4;
    for (double start = 0; start < 10.0;) {
        degree = std::clamp(degree + step(random), 0, 8);
        const double f = 293.66 * std::pow(2.0, scale[degree] / 12.0);
        const double d = length(random);
        const std::size_t a = static_cast<std::size_t>(start * kFs);
        const std::size_t b = std::min(n, static_cast<std::size_t>((start + d + 0.3) * kFs));
        for (std::size_t i = a; i < b; ++i) {
            const double u = static_cast<double>(i - a) / kFs;
            const double env = std::min(1.0, u / 0.02) * (u < d ? 1.0 : std::exp(-(u - d) / 0.08));
            double v = 0;
            for (int k = 1; k <= 7; ++k)
                v += std::sin(2 * kPi * f * k * u + 0.3 * k) / k;
            out[i] += 0.25 * env * v;
        }
        start += d;
    }
    return out;
}

// Three noise sources: a fan (a hum of 120 Hz with harmonics up to 1.2 kHz and a little air),
// road traffic (broadband noise rolling off above 500 Hz), and a pile driver (a knocking of
// 800 Hz bursts every 0.35 s). Level and spectrum vary a little from one recording to the next.
std::vector<std::int16_t> NoiseSource(int kind, unsigned variant, double seconds) {
    std::mt19937 random(1000 + variant);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const double gain = std::pow(10.0, 2 * u(random) / 20), detune = 1 + 0.02 * u(random);
    const std::size_t n = static_cast<std::size_t>(seconds * kFs);
    std::vector<std::int16_t> out(2 * n);
    double l1 = 0, l2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kFs;
        double v = 0;
        if (kind == 0) {
            for (int k = 1; k <= 10; ++k)
                v += 1500.0 / k * std::sin(2 * kPi * 120 * detune * k * t + k);
            v += 150 * g(random);
        } else if (kind == 1) {
            const double a = std::exp(-2 * kPi * 500 * detune / kFs);
            l1 = a * l1 + (1 - a) * g(random);
            l2 = a * l2 + (1 - a) * l1;
            v = 60000 * l2 * (1 + 0.3 * std::sin(2 * kPi * 0.2 * t));
        } else {
            const double period = 0.35 * detune, phase = std::fmod(t, period);
            v = 14000 * std::exp(-phase / 0.03) * std::sin(2 * kPi * 800 * phase) + 60 * g(random);
        }
        v *= gain;
        out[2 * i] = Sample(v);
        out[2 * i + 1] = Sample(0.85 * v + (kind == 1 ? 500 * g(random) : 0));
    }
    return out;
}

// TIME of the demo's measurements: 1 December 2026, minutes after 14:00.
std::string Stamp(int minute) {
    char text[32];
    std::snprintf(text, sizeof text, "20261201%02d%02d00", (14 + minute / 60) % 24, minute % 60);
    return text;
}

bool AddFolder(std::int32_t id, const char* type, const char* title, const char* place) {
    CFolderTable folders;
    FolderRecord f;
    f.folderId = id;
    f.type = type;
    f.title = title;
    f.name = "Vesk demo";
    f.place = place;
    f.date = "20261201";
    f.comment = "Synthetic measurements";
    f.scale = 0;
    return folders.Open() && folders.Append(f);
}

bool MakeHall() {
    if (!AddFolder(1, "I", "Concert hall", "Shoebox hall model") || !MlsPrepare(kOrder))
        return false;
    std::vector<std::vector<double>> recordings;
    double peak = 0;
    for (std::size_t s = 0; s < std::size(kSeats); ++s) {
        std::vector<double> l, r;
        HallResponse(kSeats[s], static_cast<unsigned>(10 + s), &l, &r);
        recordings.push_back(MlsRecording(l));
        recordings.push_back(MlsRecording(r));
        for (std::size_t c = recordings.size() - 2; c < recordings.size(); ++c)
            for (double v : recordings[c])
                peak = std::max(peak, std::fabs(v));
    }
    // One scale for every seat, so that their levels compare; a noise floor of the measurement
    // system 70 dB below full scale.
    const double scale = 24000 / peak;
    std::mt19937 random(7);
    std::normal_distribution<double> g(0.0, 10.0);
    CImpulseTable table;
    if (!table.Open()) return false;
    for (std::size_t s = 0; s < std::size(kSeats); ++s) {
        std::vector<std::int16_t> samples(2 * kN);
        for (std::size_t i = 0; i < kN; ++i) {
            samples[2 * i] = Sample(recordings[2 * s][i] * scale + g(random));
            samples[2 * i + 1] = Sample(recordings[2 * s + 1][i] * scale + g(random));
        }
        ImpulseRecord m;
        m.folderId = 1;
        m.impulseId = static_cast<std::int32_t>(s + 1);
        m.sampling = 48000;
        m.mesTime = kOrder;
        m.mesNum = 1;
        m.channel = 2;
        m.bit = 16;
        m.time = Stamp(static_cast<int>(s) * 3);
        m.title = kSeats[s].title;
        m.comment = "MLS order 16, binaural";
        m.temperature = 21.0;
        m.humidity = 45.0;
        m.multiplier = 1;
        if (!table.Append(m, MakeWaveBlock(2, samples))) return false;
    }
    return true;
}

bool MakeMusic() {
    if (!AddFolder(2, "A", "Solo recital", "Shoebox hall model")) return false;
    std::vector<double> hl, hr;
    HallResponse(kSeats[2], 99, &hl, &hr);
    hl.resize(static_cast<std::size_t>(0.9 * kFs));
    hr.resize(hl.size());
    const std::vector<double> dry = Melody(5);
    const std::vector<double> left = Convolve(dry, hl), right = Convolve(dry, hr);
    double peak = 0;
    for (std::size_t i = 0; i < left.size(); ++i)
        peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    const double scale = 20000 / peak;
    CAcfTable table;
    if (!table.Open()) return false;
    for (int channels = 1; channels <= 2; ++channels) {
        std::vector<std::int16_t> samples;
        for (std::size_t i = 0; i < left.size(); ++i) {
            samples.push_back(Sample(left[i] * scale));
            if (channels == 2) samples.push_back(Sample(right[i] * scale));
        }
        AcfRecord r;
        r.folderId = 2;
        r.acfId = channels;
        r.sampling = 48000;
        r.channel = channels;
        r.sampleNum = static_cast<std::int32_t>(left.size());
        r.dataTime = 10.0;
        r.time = Stamp(30 + channels);
        r.title = channels == 1 ? "Violin solo, one microphone" : "Violin solo, dummy head";
        r.comment = "Row 15";
        if (!table.Append(r, MakeWaveBlock(channels, samples))) return false;
    }
    return true;
}

const char* const kSourceNames[3] = {"Fan", "Road traffic", "Pile driver"};
constexpr int kPerSource = 4;

bool MakeNoise(const AppSettings& settings) {
    if (!AddFolder(3, "N", "Building site", "Street corner")) return false;
    CNmsTable table;
    if (!table.Open()) return false;
    std::int32_t id = 1;
    for (int take = 0; take < kPerSource; ++take)
        for (int kind = 0; kind < 3; ++kind, ++id) {
            const std::vector<std::int16_t> samples =
                NoiseSource(kind, static_cast<unsigned>(10 * kind + take), 5.0);
            NmsRecord r;
            r.folderId = 3;
            r.nmsId = id;
            r.sampling = 48000;
            r.channel = 2;
            r.sampleNum = static_cast<std::int32_t>(samples.size() / 2);
            r.number = id - 1;
            r.dataTime = 5.0;
            r.time = Stamp(40 + id);
            NoiseConditionBlock cond;
            cond.acf.sampleNum = r.sampleNum;
            cond.acf.conditions = settings.noise;
            cond.acf.wiaccWidth = settings.noiseParameter;
            cond.calibration.referenceLevel = -94;  // full scale is 94 dB
            std::array<unsigned char, blob::kNmsCondSize> bytes{};
            EncodeNoiseConditionBlock(cond, bytes.data());
            if (!table.Append(r, MakeWaveBlock(2, samples), bytes)) return false;
        }
    return true;
}

// Results stored in a folder: ACPARAM / ACFFACT records, or analysed NMS records (and of
// those, the ones identified as the source they are a take of).
template <class Table, class Results, class Record>
int CountWithResults(std::int32_t folder, std::int32_t Record::*id) {
    Table table;
    Results results;
    std::vector<Record> list;
    if (!results.Open() || !ReadFolderRecords(table, folder, &list)) return 0;
    int count = 0;
    for (const Record& r : list)
        count += results.Exists(r.*id);
    return count;
}

int CountResults(std::int32_t folder, const std::string& type, int* identified) {
    *identified = 0;
    if (type == "I")
        return CountWithResults<CImpulseTable, CAcParamTable>(folder, &ImpulseRecord::impulseId);
    if (type == "A") return CountWithResults<CAcfTable, CAcfFactTable>(folder, &AcfRecord::acfId);
    CNmsTable table;
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(table, folder, &list)) return 0;
    int count = 0;
    for (const NmsRecord& m : list) {
        NmsRecord x;
        NmsBlobs blobs;
        if (!table.Read(m.nmsId, &x, &blobs) || x.nNmsFact <= 0) continue;
        ++count;
        // Recording i is a take of source (i - 1) % 3.
        if (DecodeNoiseSourceResult(blobs.source.data()).name == kSourceNames[(m.nmsId - 1) % 3])
            ++*identified;
    }
    return count;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int CmdDemo(const std::vector<std::string>& args) {
    namespace fs = std::filesystem;
    if (args.size() > 1 || (!args.empty() && args[0].size() > 1 && args[0][0] == '-'))
        return Usage("usage: demo [DIR]");  // an unknown option is never a folder name
    const fs::path dir = args.empty() ? fs::path("demo") : fs::path(args[0]);
    std::error_code ec;
    // Only a folder the demo made before, or an empty one, is reused.
    if (fs::exists(dir, ec)) {
        if (!fs::is_directory(dir, ec) ||
            (!fs::is_empty(dir, ec) && !fs::exists(dir / ".vesk-demo", ec))) {
            std::fprintf(stderr, "vesk-cli: %s exists and is not a demo folder; choose another\n",
                         dir.string().c_str());
            return kBadInput;
        }
        for (const auto& e : fs::directory_iterator(dir, ec))
            fs::remove_all(e.path(), ec);
    }
    fs::create_directories(dir, ec);
    if (std::FILE* marker = std::fopen((dir / ".vesk-demo").string().c_str(), "w"))
        std::fclose(marker);
    if (ec || !ConnectStoreAt((dir / "DATA").string())) {
        std::fprintf(stderr, "vesk-cli: cannot make %s\n", dir.string().c_str());
        return kBadInput;
    }
    const AppSettings settings;  // the default conditions
    const auto begin = std::chrono::steady_clock::now();
    std::fprintf(stderr, "Making the measurements...\n");
    if (!MakeHall() || !MakeMusic() || !MakeNoise(settings)) return kStoreFailure;
    const double making = Seconds(begin);

    struct Folder {
        std::int32_t id;
        const char* type;
        const char* file;
        const char* what;
        double seconds = 0;
    } folders[] = {{1, "I", "hall", "impulse responses"},
                   {2, "A", "recital", "running-sound recordings"},
                   {3, "N", "building-site", "noise recordings"}};
    const IdentificationSettings identification{settings.identifyMethod, settings.stepsBeforeMax,
                                                settings.stepsAfterMax};
    bool ok = true;
    {
        CliProgress sink;
        Progress progress(sink);
        progress.SetMessage(LoadString(str::kCalculating));
        auto start = std::chrono::steady_clock::now();
        const RunSummary hall =
            RunImpulseCalculation(1, settings.impulse, Target::All, {}, &progress);
        ok = ok && !hall.failed && hall.damaged == 0 && hall.refused.empty() && !hall.cancelled;
        folders[0].seconds = Seconds(start);
        start = std::chrono::steady_clock::now();
        RunSummary acf = RunAcfCalculation(2, settings.acf, Target::All, {}, &progress);
        ok = ok && !acf.failed && acf.damaged == 0 && acf.writeFailures == 0 &&
             acf.refused.empty() && !acf.cancelled;
        folders[1].seconds = Seconds(start);
        // The noise folder twice: its factors first, then, with templates learnt from every
        // source's recordings, the identification.
        start = std::chrono::steady_clock::now();
        RunSummary noise = RunNoiseCalculation(3, settings.noise, identification,
                                               settings.noiseParameter, Target::All, {}, &progress);
        ok = ok && !noise.failed && noise.damaged == 0 && noise.writeFailures == 0 &&
             noise.refused.empty() && !noise.cancelled;
        for (int kind = 0; ok && kind < 3; ++kind) {
            std::set<long> numbers;
            for (int take = 0; take < kPerSource; ++take)
                numbers.insert(3 * take + kind + 1);
            std::vector<std::array<float, 4>> factors;
            std::vector<std::string> notes;
            std::int32_t id = 0;
            ok = EvaluationFactorsOfFolder(3, numbers, identification, &factors, &notes) &&
                 !factors.empty() &&
                 MergeLearntTemplate(kSourceNames[kind], LearnTemplateData(factors), &id) ==
                     TemplateAction::Done;
        }
        noise = RunNoiseCalculation(3, settings.noise, identification, settings.noiseParameter,
                                    Target::All, {}, &progress);
        ok = ok && !noise.failed && noise.damaged == 0 && noise.writeFailures == 0 &&
             !noise.cancelled;
        folders[2].seconds = Seconds(start);
    }
    if (!ok) {
        std::fprintf(stderr, "vesk-cli: the demo's calculation did not finish\n");
        return kStoreFailure;
    }

    std::printf("Demo store: %s\n", fs::absolute(dir / "DATA").string().c_str());
    std::printf("%-4s %-26s %-14s %s\n", "ID", "Folder", "Measurements", "Results");
    for (Folder& f : folders) {
        int identified = 0;
        const int results = CountResults(f.id, f.type, &identified);
        int count = f.type[0] == 'N' ? kPerSource * 3 : f.type[0] == 'I' ? 6 : 2;
        std::printf("%-4d %-26s %-14d %d", f.id, f.what, count, results);
        if (f.type[0] == 'N') std::printf(" (%d identified as their own source)", identified);
        std::printf("  %.1f s\n", f.seconds);
        for (const char* extension : {".txt", ".csv"}) {
            const fs::path file = dir / (std::string(f.file) + extension);
            if (WriteOutputFile(f.id, f.type, file.string()) != OutputStatus::Written)
                return kStoreFailure;
            std::printf("     %s\n", fs::absolute(file).string().c_str());
        }
    }
    std::printf("Made in %.1f s, calculated in %.1f s. Try: vesk-cli --store %s show 1 1\n", making,
                Seconds(begin) - making, (dir / "DATA").string().c_str());
    return kDone;
}

}  // namespace vesk::cli
