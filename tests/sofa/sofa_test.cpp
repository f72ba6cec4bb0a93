#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>

#include "sofa/sofa_file.h"
#include "tests/sofa/sofa_writer.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

class Sofa : public ::testing::Test {
  protected:
    std::string File(const std::string& name) const { return m_dir.File(name); }

    // Values a float holds exactly, different for every measurement, receiver and emitter.
    static std::vector<double> Values(std::size_t count) {
        std::vector<double> v(count);
        for (std::size_t i = 0; i < count; ++i)
            v[i] = static_cast<float>(0.5 * std::sin(0.37 * static_cast<double>(i)) *
                                      std::exp(-0.001 * double(i % 256)));
        return v;
    }
    // An HRIR set: three directions around a listener at the origin, ears 9 cm to each side.
    static test::SofaSpec Hrir() {
        test::SofaSpec s;
        s.ir = Values(s.m * s.r * s.n);
        s.source = {30, 0, 1.5, 127.5, -22.5, 1.2, 0, 90, 2};
        s.listener = {0, 0, 0};
        s.receivers = {0, 0.09, 0, 0, -0.09, 0};
        return s;
    }
    // A room: one loudspeaker, three listener seats, two ears.
    static test::SofaSpec Room() {
        test::SofaSpec s;
        s.conventions = "SingleRoomSRIR";
        s.ir = Values(s.m * s.r * s.n);
        s.rates = {44100, 44100, 44100};
        s.sourceType = "cartesian";
        s.sourceUnits = "metre";
        s.source = {2, 0, 1.5};
        s.listener = {0, 0, 1.2, 4.25, -3, 1.2, 8, 3.5, 1.2};
        return s;
    }
    double At(const test::SofaSpec& s, std::size_t m, std::size_t r, std::size_t i) const {
        return s.ir[(m * s.r + r) * s.n + i];
    }

  private:
    test::TempDir m_dir;
};

TEST_F(Sofa, AnHrirSetReadsBackWithItsPositionsValuesAndRate) {
    const test::SofaSpec s = Hrir();
    ASSERT_TRUE(test::WriteSofa(File("hrir.sofa"), s));
    sofa::File file;
    std::string error;
    ASSERT_TRUE(file.Open(File("hrir.sofa"), &error)) << error;
    const sofa::FileInfo& info = file.Info();
    EXPECT_EQ(info.conventions, "SimpleFreeFieldHRIR");
    EXPECT_EQ(info.measurements, 3u);
    EXPECT_EQ(info.receivers, 2u);
    EXPECT_EQ(info.samples, 256u);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_TRUE(info.notes.empty());
    EXPECT_EQ(info.source.type, sofa::Coordinates::kSpherical);
    EXPECT_EQ(info.source.units, "degree, degree, metre");
    ASSERT_EQ(info.source.rows.size(), 3u);
    EXPECT_EQ(info.source.At(1), (std::array<double, 3>{127.5, -22.5, 1.2}));
    ASSERT_EQ(info.listener.rows.size(), 1u);
    EXPECT_EQ(info.listener.At(2), (std::array<double, 3>{0, 0, 0}));
    ASSERT_EQ(info.receiver.rows.size(), 2u);
    EXPECT_EQ(info.receiver.At(1), (std::array<double, 3>{0, -0.09, 0}));

    std::vector<sofa::Response> responses;
    std::vector<std::string> notes;
    ASSERT_TRUE(sofa::ReadResponses(File("hrir.sofa"), {}, &responses, &notes, &error)) << error;
    ASSERT_EQ(responses.size(), 3u);
    const char* titles[] = {"src az30 el0 r1.5 lis 0,0,0", "src az127.5 el-22.5 r1.2",
                            "src az0 el90 r2 lis 0,0,0"};
    for (std::size_t m = 0; m < 3; ++m) {
        const sofa::Response& r = responses[m];
        EXPECT_EQ(r.number, m + 1);
        EXPECT_EQ(r.title, titles[m]);
        EXPECT_EQ(r.sampleRate, 48000);
        ASSERT_EQ(r.channels.size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            ASSERT_EQ(r.channels[c].size(), 256u);
            for (std::size_t i = 0; i < 256; ++i)
                ASSERT_EQ(r.channels[c][i], At(s, m, c, i))
                    << "measurement " << m << " ear " << c << " sample " << i;
        }
    }
}

TEST_F(Sofa, ARoomSetTakesTheChosenSeatsAndEarsWithTheirDelays) {
    test::SofaSpec s = Room();
    s.delays = {0, 3, 0, 0, 5.4, 0};   // [M R]: seat 1's right ear 3 frames late, seat 3's left 5
    s.conventions = "SingleRoomDRIR";  // the older name
    ASSERT_TRUE(test::WriteSofa(File("room.sofa"), s));
    std::vector<sofa::Response> responses;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(
        sofa::ReadResponses(File("room.sofa"), {{1, 3}, {2, 1}}, &responses, &notes, &error))
        << error;
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[0].title, "src 2,0,1.5 lis 0,0,1.2");
    EXPECT_EQ(responses[1].title, "src 2,0,1.5 lis 8,3.5,1.2");
    EXPECT_EQ(responses[0].sampleRate, 44100);
    // Seat 1: left is receiver 2, late by 3; right is receiver 1, padded at the end to match.
    const auto& a = responses[0].channels;
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(a[0].size(), 259u);
    ASSERT_EQ(a[1].size(), 259u);
    for (std::size_t i = 0; i < 259; ++i) {
        EXPECT_EQ(a[0][i], i < 3 ? 0.0 : At(s, 0, 1, i - 3)) << i;
        EXPECT_EQ(a[1][i], i < 256 ? At(s, 0, 0, i) : 0.0) << i;
    }
    // Seat 3: a fractional delay is rounded to whole frames.
    const auto& b = responses[1].channels;
    ASSERT_EQ(b[1].size(), 261u);
    EXPECT_EQ(b[1][4], 0.0f);
    EXPECT_EQ(b[1][5], At(s, 2, 0, 0));
    EXPECT_EQ(b[0][0], At(s, 2, 1, 0));

    // Long positions give way: the fixed source is left out.
    s.listener = {12.25, -13.75, 1.25, 4.25, -3, 1.2, 8, 3.5, 1.2};
    ASSERT_TRUE(test::WriteSofa(File("room.sofa"), s));
    ASSERT_TRUE(sofa::ReadResponses(File("room.sofa"), {{1}, {}}, &responses, &notes, &error))
        << error;
    EXPECT_EQ(responses[0].title, "lis 12.25,-13.75,1.25");
}

TEST_F(Sofa, LoudspeakerArraysNumberMeasurementsTimesEmitters) {
    test::SofaSpec s;
    s.conventions = "MultiSpeakerBRIR";
    s.dataType = "FIRE";
    s.m = 2;
    s.e = 3;
    s.n = 16;
    s.ir = Values(s.m * s.r * s.e * s.n);
    s.sourceType = "cartesian";
    s.sourceUnits = "metre";
    s.source = {0, 0, 0};
    s.listener = {1, 2, 1.2, 3, 2, 1.2};
    ASSERT_TRUE(test::WriteSofa(File("array.sofa"), s));
    std::vector<sofa::Response> responses;
    std::vector<std::string> notes;
    std::string error;
    ASSERT_TRUE(sofa::ReadResponses(File("array.sofa"), {}, &responses, &notes, &error)) << error;
    ASSERT_EQ(responses.size(), 6u);
    // Response 5: measurement 2, emitter 2.
    EXPECT_EQ(responses[4].title, "e2 src 0,0,0 lis 3,2,1.2");
    for (std::size_t c = 0; c < 2; ++c)
        for (std::size_t i = 0; i < s.n; ++i)
            ASSERT_EQ(responses[4].channels[c][i], s.ir[((1 * s.r + c) * s.e + 1) * s.n + i])
                << c << " " << i;
}

TEST_F(Sofa, ChoicesOutsideTheFileAreRefused) {
    ASSERT_TRUE(test::WriteSofa(File("hrir.sofa"), Hrir()));
    sofa::File file;
    std::string error;
    ASSERT_TRUE(file.Open(File("hrir.sofa"), &error)) << error;
    std::vector<std::size_t> numbers, receivers;
    const struct {
        sofa::Choice choice;
        const char* says;
    } cases[] = {
        {{{0}, {}}, "has no response 0 (it has 3)"},
        {{{4}, {}}, "has no response 4"},
        {{{1}, {1, 3}}, "has no receiver 3 (it has 2)"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(file.Choose(c.choice, &numbers, &receivers, &error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    ASSERT_TRUE(file.Choose({{3, 1}, {2}}, &numbers, &receivers, &error)) << error;
    EXPECT_EQ(numbers, (std::vector<std::size_t>{3, 1}));
    EXPECT_EQ(receivers, (std::vector<std::size_t>{1}));

    // A one-receiver file is mono; more than a thousand responses need a choice.
    test::SofaSpec big;
    big.m = sofa::kMaxUnchosen + 1;
    big.r = 1;
    big.n = 4;
    big.ir = Values(big.m * big.n);
    ASSERT_TRUE(test::WriteSofa(File("big.sofa"), big));
    sofa::File many;
    ASSERT_TRUE(many.Open(File("big.sofa"), &error)) << error;
    EXPECT_FALSE(many.Choose({}, &numbers, &receivers, &error));
    EXPECT_NE(error.find("holds 1001 responses; choose at most 1000 of them with --measurement"),
              std::string::npos)
        << error;
    ASSERT_TRUE(many.Choose({{1001}, {}}, &numbers, &receivers, &error)) << error;
    EXPECT_EQ(receivers, (std::vector<std::size_t>{0}));
}

// Damaged and hostile files are refused with a message that says why, and nothing crashes.
TEST_F(Sofa, BadFilesAreRefusedWithTheirReason) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        std::function<void(test::SofaSpec&)> change;
        const char* says;
    } cases[] = {
        {"no IR", [](auto& s) { s.writeIr = false; }, "has no Data.IR"},
        {"rank 2",
         [](auto& s) {
             s.irDims = {"M", "N"};
         },
         "Data.IR has dimensions [M N], not [M R N]"},
        {"order",
         [](auto& s) {
             s.irDims = {"M", "N", "R"};
         },
         "Data.IR has dimensions [M N R]"},
        {"huge N", [](auto& s) { s.declared["N"] = std::size_t{1} << 40; },
         "samples per response 1099511627776"},
        {"huge M", [](auto& s) { s.declared["M"] = std::size_t{1} << 40; },
         "measurements 1099511627776"},
        {"empty N", [](auto& s) { s.declared["N"] = 0; }, "samples per response 0"},
        {"negative rate", [](auto& s) { s.rates = {-48000}; },
         "sampling rate -48000 Hz cannot be stored"},
        {"NaN rate", [nan](auto& s) { s.rates = {nan}; }, "sampling rate ? Hz cannot be stored"},
        {"fractional rate", [](auto& s) { s.rates = {44100.5}; }, "sampling rate 44100.5 Hz"},
        {"differing rates",
         [](auto& s) {
             s.rates = {48000, 44100, 48000};
         },
         "sampling rates differ"},
        {"transfer functions",
         [](auto& s) {
             s.conventions = "SimpleFreeFieldHRTF";
             s.dataType = "TF";
         },
         "conventions SimpleFreeFieldHRTF with data type TF"},
        {"negative delay",
         [](auto& s) {
             s.delays = {0, -2};
         },
         "Data.Delay of response 1 is -2 samples"},
        {"NaN delay",
         [nan](auto& s) {
             s.delays = {nan, 0};
         },
         "Data.Delay of response 1 is ?"},
        {"huge delay",
         [](auto& s) {
             s.delays = {1e300, 0};
         },
         "Data.Delay of response 1 is"},
        {"NaN sample", [nan](auto& s) { s.ir[300] = nan; },
         "Data.IR of response 1 holds a value that is not a finite"},
        {"sample beyond float", [](auto& s) { s.ir[600] = 1e300; },
         "Data.IR of response 2 cannot be read"},
    };
    for (const auto& c : cases) {
        test::SofaSpec s = Hrir();
        c.change(s);
        ASSERT_TRUE(test::WriteSofa(File("bad.sofa"), s)) << c.name;
        std::vector<sofa::Response> responses;
        std::vector<std::string> notes;
        std::string error;
        EXPECT_FALSE(sofa::ReadResponses(File("bad.sofa"), {}, &responses, &notes, &error))
            << c.name;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(error.find(File("bad.sofa") + ": "), 0u) << c.name << ": " << error;
    }

    // Not netCDF at all, and a sound file cut short at several points.
    std::ofstream(File("text.sofa")) << "not a SOFA file at all";
    std::string error;
    sofa::File text;
    EXPECT_FALSE(text.Open(File("text.sofa"), &error));
    EXPECT_NE(error.find("not a SOFA file"), std::string::npos) << error;
    EXPECT_FALSE(text.Open(File("missing.sofa"), &error));
    std::vector<std::size_t> numbers, receivers;
    EXPECT_FALSE(text.Choose({}, &numbers, &receivers, &error));
    ASSERT_TRUE(test::WriteSofa(File("whole.sofa"), Hrir()));
    // A file object that refused one file opens the next.
    ASSERT_TRUE(text.Open(File("whole.sofa"), &error)) << error;
    EXPECT_TRUE(text.Choose({}, &numbers, &receivers, &error)) << error;
    const auto size = std::filesystem::file_size(File("whole.sofa"));
    for (std::uintmax_t keep : {size / 8, size / 2, size - 100}) {
        std::filesystem::copy_file(File("whole.sofa"), File("cut.sofa"),
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(File("cut.sofa"), keep);
        std::vector<sofa::Response> responses;
        std::vector<std::string> notes;
        EXPECT_FALSE(sofa::ReadResponses(File("cut.sofa"), {}, &responses, &notes, &error)) << keep;
    }

    // Other conventions of impulse responses are read, with a note.
    test::SofaSpec general = Hrir();
    general.conventions = "GeneralFIR";
    ASSERT_TRUE(test::WriteSofa(File("general.sofa"), general));
    std::vector<sofa::Response> responses;
    std::vector<std::string> notes;
    ASSERT_TRUE(sofa::ReadResponses(File("general.sofa"), {}, &responses, &notes, &error)) << error;
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "conventions GeneralFIR read as FIR impulse responses");
}

}  // namespace
}  // namespace vesk
