#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "noise/noise_calculation.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

constexpr double kPi = 3.14159265358979323846;

NoiseTemplate Template(std::int32_t id, const char* name, float phi0, float tauE, float tau1,
                       float phi1) {
    NoiseTemplate t;
    t.id = id;
    t.name = name;
    t.data.standard = {phi0, tauE, tau1, phi1};
    return t;
}

AcfFactorRecord Frame(float phi0, float tauE, float tau1 = 0.002f, float phi1 = 0.5f) {
    AcfFactorRecord f;
    f.phi0 = phi0;
    f.tauE = tauE;
    f.tau1 = tau1;
    f.phi1 = phi1;
    f.intercept = -1;
    return f;
}

TEST(NoiseIdentification, EvaluationFrameAndDistances) {
    // Mode 0: the first loudest frame. Mode 1 around it: the smallest tau-e within the steps.
    std::vector<AcfFactorRecord> frames{Frame(80, 0.05f), Frame(78, 0.01f), Frame(75, 0.005f),
                                        Frame(70, 0.001f), Frame(80, 0.02f)};
    IdentificationSettings s;
    EXPECT_EQ(SelectEvaluationFrame(frames, s)[1], 0.05f);
    s.mode = 1;
    s.stepsBefore = 2;
    s.stepsAfter = 2;
    EXPECT_EQ(SelectEvaluationFrame(frames, s)[1], 0.005f);  // frames 0, 1, 2 only
    EXPECT_EQ(SelectEvaluationFrame({}, s), (std::array<float, 5>{}));

    // With w0 = 0 (no weights file) Phi(0) decides nothing; the terms are those of the formula.
    const std::array<float, 5> frame{60, 0.02f, 0.004f, 0.6f, 0};
    std::vector<NoiseTemplate> library{Template(0, "Loud", 60, 0.04f, 0.004f, 0.6f),
                                       Template(1, "Quiet", 20, 0.021f, 0.004f, 0.6f)};
    NoiseSourceResult r;
    EXPECT_EQ(IdentifyAgainst(library, FactorWeights{}, frame, &r), 1);
    EXPECT_EQ(r.name, "Quiet");
    EXPECT_EQ(r.terms[0], 0.0f);
    EXPECT_FLOAT_EQ(r.terms[1], static_cast<float>(std::fabs(std::log(0.02) - std::log(0.021))));
    FactorWeights w{{1, 1, 1, 1}};
    EXPECT_EQ(IdentifyAgainst(library, w, frame, &r), 0);  // 40 dB now costs 4
    EXPECT_FLOAT_EQ(r.terms[1], static_cast<float>(std::log(2.0)));

    // Ties keep the first template; limits equal to the value pass.
    library = {Template(3, "First", 0, 0.02f, 0.004f, 0.6f),
               Template(4, "Second", 0, 0.02f, 0.004f, 0.6f)};
    EXPECT_EQ(IdentifyAgainst(library, FactorWeights{}, frame, &r), 3);
    library[0].data.useUpper[kTauE] = 1;
    library[0].data.upper[kTauE] = 0.02f;
    EXPECT_EQ(IdentifyAgainst(library, FactorWeights{}, frame, &r), 3);
    const std::array<float, 5> longer{60, 0.025f, 0.004f, 0.6f, 0};
    EXPECT_EQ(IdentifyAgainst(library, FactorWeights{}, longer, &r), 4);

    // No tau1 peak: every distance is non-finite, the source is "Unknown" with zero terms.
    const std::array<float, 5> noPeak{60, 0.02f, 0, 0, 0};
    NoiseSourceResult fresh;
    EXPECT_EQ(IdentifyAgainst(library, FactorWeights{}, noPeak, &fresh), -1);
    EXPECT_EQ(fresh.name, "Unknown");
    EXPECT_EQ(fresh.terms, (std::array<float, 4>{}));

    // A name of 32 characters is cut to 31 in the stored result so that it stays terminated;
    // "=" names are shown without the sign.
    NoiseSourceResult longName;
    longName.name = std::string(32, 'n');
    unsigned char b[48];
    EncodeNoiseSourceResult(longName, b);
    EXPECT_EQ(b[47], 0);
    EXPECT_EQ(DecodeNoiseSourceResult(b).name, std::string(31, 'n'));
    EXPECT_EQ(DisplayedSourceName("=Neighbour"), "Neighbour");
    EXPECT_EQ(DisplayedSourceName("Car"), "Car");
}

TEST(NoiseIdentification, CalibrationIsBoundedAndScales) {
    MicCalibration c;
    c.count = 1000;  // beyond the 20 points the block holds
    for (std::size_t i = 0; i < 20; ++i) {
        c.frequency[i] = 50.0 * static_cast<double>(i + 1);
        c.level[i] = 0.0;
    }
    std::vector<float> h = AcfWeightingResponse(0, &c, 1024, 48000);
    MicCalibration twenty = c;
    twenty.count = 20;
    EXPECT_EQ(h, AcfWeightingResponse(0, &twenty, 1024, 48000));
    // A flat 0 dB calibration with reference level 0: the flat response divided by 32767.
    MicCalibration none;
    h = AcfWeightingResponse(0, &none, 1024, 48000);
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_FLOAT_EQ(h[5], 3.0518509e-05f);
    none.referenceLevel = 20;
    EXPECT_FLOAT_EQ(AcfWeightingResponse(0, &none, 1024, 48000)[5], 3.0518509e-06f);
}

// Binaural recordings of three sources with variation of level and spectrum.
std::vector<std::int16_t> Source(int kind, unsigned variant, std::size_t frames) {
    std::mt19937 random(100 + variant);
    std::normal_distribution<double> g(0.0, 1.0);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    const double gain = std::pow(10.0, u(random) * 3 / 20);  // +-3 dB
    const double detune = 1 + 0.02 * u(random);
    std::vector<std::int16_t> s(2 * frames);
    double lp = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 48000;
        double v = 0;
        if (kind == 0) {  // a 500 Hz tone with harmonics
            for (int k = 1; k <= 4; ++k)
                v += 3000.0 / k * std::sin(2 * kPi * 500 * detune * k * t);
            v += 100 * g(random);
        } else if (kind == 1) {  // broadband noise, slightly coloured
            lp = 0.2 * detune * lp + g(random);
            v = 2500 * lp;
        } else {  // thumps of a machine, every 10 ms
            const double period = 0.01 * detune;
            const double phase = std::fmod(t, period) - period / 2;
            v = 12000 * std::exp(-phase * phase / (2 * 0.0015 * 0.0015)) + 50 * g(random);
        }
        v *= gain;
        s[2 * i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
        s[2 * i + 1] =
            static_cast<std::int16_t>(std::lround(std::clamp(0.9 * v, -32768.0, 32767.0)));
    }
    return s;
}

void AddRecording(CNmsTable& table, std::int32_t folderId, std::int32_t id, std::int32_t number,
                  const std::vector<std::int16_t>& samples, int channels = 2) {
    NmsRecord r;
    r.folderId = folderId;
    r.nmsId = id;
    r.sampling = 48000;
    r.channel = channels;
    r.sampleNum = static_cast<std::int32_t>(samples.size() / static_cast<std::size_t>(channels));
    r.number = number;
    std::array<unsigned char, blob::kNmsCondSize> cond{};
    NoiseConditionBlock b;
    b.calibration.referenceLevel = -94;  // full scale is 94 dB
    EncodeNoiseConditionBlock(b, cond.data());
    ASSERT_EQ(table.Append(r, MakeWaveBlock(channels, samples), cond), 1);
}

void MakeNoiseFolder(std::int32_t folderId) {
    CFolderTable folders;
    ASSERT_TRUE(folders.Open());
    ASSERT_EQ(test::AppendFolder(folders, folderId, "N"), 1);
}

RunningAcfConditions Quick() {
    RunningAcfConditions c = NoiseConditionDefaults();
    c.weighting = 0;      // "Flat": the thumps lie below the A-weighting's pass band
    c.includeOrigin = 1;  // white-ish noise has no envelope to fit from its first negative lag
    c.integrationTime = 0.4;
    c.runningStep = 0.2;
    c.maxDelayTime = 0.05;
    return c;
}

TEST(NoiseCalculation, LearnsThreeSourcesAndIdentifiesTheirOtherRecordings) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeNoiseFolder(1);
    {
        CNmsTable table;
        ASSERT_TRUE(table.Open());
        std::int32_t id = 1;
        for (int kind = 0; kind < 3; ++kind)
            for (unsigned v = 0; v < 6; ++v, ++id)
                AddRecording(table, 1, id, id - 1, Source(kind, 10 * kind + v, 48000));
    }
    IdentificationSettings s;
    RunSummary run = RunNoiseCalculation(1, Quick(), s, 0.1, Target::All, {}, nullptr);
    ASSERT_EQ(run.computed, 18);
    EXPECT_EQ(run.identified, 0);  // no templates yet: all "Unknown"
    const char* names[3] = {"Tone", "Noise", "Clicks"};
    for (int kind = 0; kind < 3; ++kind) {
        std::set<long> firstHalf;
        for (long no = 1; no <= 3; ++no)
            firstHalf.insert(6 * kind + no);
        std::vector<std::array<float, 4>> factors;
        std::vector<std::string> notes;
        ASSERT_TRUE(EvaluationFactorsOfFolder(1, firstHalf, s, &factors, &notes));
        ASSERT_EQ(factors.size(), 3u) << names[kind] << (notes.empty() ? "" : notes[0]);
        std::int32_t id = 0;
        ASSERT_EQ(MergeLearntTemplate(names[kind], LearnTemplateData(factors), &id),
                  TemplateAction::Done);
    }
    std::vector<NoiseTemplate> library;
    ASSERT_TRUE(LoadTemplates(&library));
    ASSERT_EQ(library.size(), 3u);
    EXPECT_EQ(library[2].data.count, 3);
    const FactorWeights weights = ReadFactorWeights();
    EXPECT_EQ(weights.w[0], 0.0f);
    EXPECT_EQ(std::max({weights.w[1], weights.w[2], weights.w[3]}), 1.0f);

    run = RunNoiseCalculation(1, Quick(), s, 0.1, Target::All, {}, nullptr);
    EXPECT_EQ(run.identified, 18);
    CNmsTable table;
    ASSERT_TRUE(table.Open());
    for (std::int32_t id = 1; id <= 18; ++id) {
        NmsRecord r;
        NmsBlobs blobs;
        ASSERT_TRUE(table.Read(id, &r, &blobs));
        const NoiseSourceResult source = DecodeNoiseSourceResult(blobs.source.data());
        EXPECT_EQ(source.name, names[(id - 1) / 6]) << "recording " << id;
        // The terms are those of the formula for the chosen template's standard values.
        const auto v = SelectEvaluationFrame(DecodeAcfFactors(blobs.factors), s);
        const NoiseTemplate& t = library[static_cast<std::size_t>((id - 1) / 6)];
        EXPECT_FLOAT_EQ(
            source.terms[2],
            static_cast<float>(std::fabs(std::log(static_cast<double>(v[2])) -
                                         std::log(static_cast<double>(t.data.standard[kTau1]))) *
                               weights.w[2]));
        EXPECT_EQ(r.nNmsFact, 2);  // (48000 - 21600) / 9600
        EXPECT_EQ(r.condSize, 416);
        EXPECT_EQ(DecodeNoiseConditionBlock(blobs.cond.data()).calibration.referenceLevel, -94);
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST(NoiseCalculation, HandGivenNamesMonoRecordingsCancelAndFailedWrites) {
    test::TempStore store;
    test::ScriptedMessages messages;
    MakeNoiseFolder(1);
    {
        CNmsTable table;
        ASSERT_TRUE(table.Open());
        AddRecording(table, 1, 1, 0, Source(0, 1, 48000));
        std::vector<std::int16_t> mono = Source(1, 2, 24000);  // 48000 values: one channel
        AddRecording(table, 1, 2, 1, mono, 1);
        AddRecording(table, 1, 3, 2, Source(2, 3, 48000));
        // A name given by hand on recording 3.
        NmsRecord r;
        ASSERT_TRUE(table.Read(3, &r));
        std::array<unsigned char, 48> source{};
        std::memcpy(source.data() + 16, "=Neighbour", 10);
        ASSERT_EQ(table.WriteBlob("NOISESRC", source.data(), 48), db::kOk);
    }
    IdentificationSettings s;
    RunSummary run = RunNoiseCalculation(1, Quick(), s, 0.1, Target::All, {}, nullptr);
    EXPECT_EQ(run.computed, 3);
    {
        CNmsTable table;
        ASSERT_TRUE(table.Open());
        NmsRecord r;
        NmsBlobs blobs;
        ASSERT_TRUE(table.Read(2, &r, &blobs));
        EXPECT_EQ(r.nNmsFact, 2);  // the mono recording, analysed as one channel
        EXPECT_EQ(DecodeAcfFactors(blobs.factors)[0].iacc, 0.0f);
        ASSERT_TRUE(table.Read(3, &r, &blobs));
        EXPECT_EQ(DecodeNoiseSourceResult(blobs.source.data()).name, "=Neighbour");
        EXPECT_EQ(DisplayedSourceName(DecodeNoiseSourceResult(blobs.source.data()).name),
                  "Neighbour");
    }
    // "Non Calculation" finds nothing left; cancel in the second recording keeps the first.
    EXPECT_EQ(RunNoiseCalculation(1, Quick(), s, 0.1, Target::NonCalculated, {}, nullptr).computed,
              0);
    test::ScriptedProgress sink;
    sink.cancelAtPoll = 3;
    {
        test::Threads one(1);
        Progress p(sink);
        run = RunNoiseCalculation(1, Quick(), s, 0.1, Target::All, {}, &p);
    }
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.computed, 1);
    EXPECT_EQ(sink.messages, (std::vector<std::string>{"No. 1", "No. 2"}));

    // A write that cannot complete is reported and leaves the old result whole.
    CNmsTable table;
    NmsRecord before, after;
    NmsBlobs oldBlobs, newBlobs;
    ASSERT_TRUE(table.Open());
    ASSERT_TRUE(table.Read(1, &before, &oldBlobs));
    table.Close();
    const auto bin = std::filesystem::file_size(store.File("NMS.BIN"));
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = bin + 200;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    run = RunNoiseCalculation(1, Quick(), s, 0.1, Target::Selected, {1}, nullptr);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(run.writeFailures, 1);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_NE(messages.shown.back().find("Can't write calculation file."), std::string::npos);
    ASSERT_TRUE(table.Open());
    ASSERT_TRUE(table.Read(1, &after, &newBlobs));
    EXPECT_EQ(after.nNmsFact, before.nNmsFact);
    EXPECT_GT(after.nNmsFact, 0);
    EXPECT_EQ(newBlobs.factors, oldBlobs.factors);
    EXPECT_EQ(newBlobs.source, oldBlobs.source);
}

}  // namespace
}  // namespace vesk
