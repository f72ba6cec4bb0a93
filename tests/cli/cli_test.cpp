#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "cli/audio.h"
#include "cli/synth.h"
#include "noise/templates.h"
#include "shell/settings.h"
#include "store/file_io.h"
#include "tests/cli/cli_fixture.h"
#include "tests/impulse/synthetic_rooms.h"
#include "tests/sofa/sofa_writer.h"
#include "tests/sweep/convolve.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using Result = test::RunResult;

class Cli : public test::CliTest {
  protected:
    std::string Wav(const std::string& name, int channels, std::size_t frames, int rate = 48000) {
        std::vector<std::int16_t> samples(frames * static_cast<std::size_t>(channels));
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(10000 * std::sin(0.01 * static_cast<double>(i)));
        std::string path = dir.File(name);
        EXPECT_TRUE(cli::WriteWavFile(path, channels, rate, samples));
        return path;
    }
    // seat1.wav and seat2.wav: two synthetic room responses.
    void Seats() {
        for (unsigned seed : {1u, 2u})
            ASSERT_TRUE(cli::WriteWavFile(dir.File("seat" + std::to_string(seed) + ".wav"), 2,
                                          48000, cli::SynthRoomImpulse(48000, 0.3, 0.8, seed)));
    }
};

TEST_F(Cli, ImportListsAndDeletes) {
    Wav("hall.wav", 2, 3000);
    Wav("mls.wav", 2, 1 << 12);
    Wav("street.wav", 2, 4800, 44100);
    auto r =
        Run("import --kind ir --title Hall --place Tokyo --date 20260102 --scale 2.5 hall.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "folder 1\nrecord 1\thall.wav\n");
    r = Run("import --kind ir --folder 1 --mls 12 mls.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "folder 1\nrecord 2\tmls.wav\n");
    r = Run("import --kind noise --cal-level 94 street.wav street.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "folder 2\nrecord 1\tstreet.wav\nrecord 2\tstreet.wav\n");

    r = Run("folders");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first, "1\tI\tHall\t\tTokyo\t2026/01/02\t2.50");
    EXPECT_EQ(second.substr(0, 11), "2\tN\tstreet\t");

    r = Run("list 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1\thall\t"), std::string::npos);
    EXPECT_NE(r.out.find("2\tmls\t"), std::string::npos);
    r = Run("list 2");
    EXPECT_EQ(r.out.substr(0, 4), "1\t1\t");  // noise: the "No." value

    // Without an answer and without a terminal the question is cancelled.
    auto before = Snapshot();
    r = Run("delete-folder 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Delete selected folder with all data in. Are you sure?"),
              std::string::npos);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Run("--no delete-folder 1").status, 1);
    r = Run("--yes delete-folder 1");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("folders");
    EXPECT_EQ(r.out.find("1\tI"), std::string::npos);
    r = Run("check");
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(Cli, BadUsageAndBadInputChangeNothing) {
    Wav("ok.wav", 1, 1000);
    Wav("mls.wav", 2, 1000);
    ASSERT_EQ(Run("import --kind acf ok.wav").status, 0);
    auto before = Snapshot();
    struct Case {
        const char* args;
        int status;
        const char* says;
    } cases[] = {
        {"import --kind ir --mls 12 mls.wav", 2, "one period of an MLS of order 12 has 4096"},
        {"import --kind ir missing.wav", 2, "missing.wav"},
        {"import --kind ir --folder 1 ok.wav", 2, "folder 1 holds kind A"},
        {"import --kind acf --folder 9 ok.wav", 2, "no folder 9"},
        {"import --kind bogus ok.wav", 2, "--kind"},
        {"import --kind ir --mls 30 mls.wav", 2, "--mls"},
        {"import ok.wav", 2, "--kind"},
        {"list 9", 2, "no folder 9"},
        {"list abc", 2, "usage"},
        {"delete-folder 9", 2, "no folder 9"},
        {"frobnicate", 2, "unknown command"},
        {"--bogus folders", 2, "unknown option"},
        {"--threads 0 calc 1 --target all", 2, "--threads"},
        {"--threads two calc 1 --target all", 2, "--threads"},
        {"--threads 1025 calc 1 --target all", 2, "--threads"},
    };
    for (const Case& c : cases) {
        auto r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(Snapshot(), before) << c.args;
    }
    test::WriteFileBytes(dir.File("garbage.wav"), std::vector<unsigned char>(100, 'x'));
    EXPECT_EQ(Run("import --kind acf garbage.wav").status, 2);
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Cli, UnreadableStoresAreStoreFailures) {
    test::WriteFileBytes(dir.File("notafolder"), {1, 2, 3});
    auto r = Run("--store notafolder folders");
    EXPECT_EQ(r.status, 3);
    std::filesystem::create_directory(dir.File("broken"));
    test::WriteFileBytes(dir.File("broken/FOLDER.DBF"), std::vector<unsigned char>(40, 0x03));
    r = Run("--store broken folders");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Can't open folder. (Error="), std::string::npos) << r.err;
}

TEST_F(Cli, CalcComputesImpulseFoldersWithTargetsAndOverrides) {
    ASSERT_NO_FATAL_FAILURE(Seats());
    Wav("music.wav", 2, 4800);
    ASSERT_EQ(Run("import --kind ir --title Hall seat1.wav seat2.wav").status, 0);
    ASSERT_EQ(Run("import --kind acf music.wav").status, 0);
    auto r = Run("calc 1 --target 2 --rate-of-noise-range 20 --a-weighting on");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("1 computed"), std::string::npos) << r.err;
    r = Run("list 1");
    EXPECT_NE(r.out.find("1\tseat1\t"), std::string::npos);
    EXPECT_EQ(r.out.find("*\n"), r.out.rfind("*\n"));  // only the selected record has a result
    r = Run("calc 1");                                 // "non Calculation": the one left
    EXPECT_NE(r.err.find("1 computed"), std::string::npos) << r.err;
    r = Run("calc 1");
    EXPECT_NE(r.err.find("0 computed"), std::string::npos) << r.err;
    EXPECT_EQ(Run("check").status, 0);

    auto before = Snapshot();
    EXPECT_EQ(Run("calc 1 --tau-e soon").status, 2);
    EXPECT_EQ(Run("calc 1 --frobnicate 3").status, 2);
    EXPECT_EQ(Run("calc 1 --target none").status, 2);
    EXPECT_EQ(Run("calc 9").status, 2);
    r = Run("calc 2 --running-step 0");  // running-ACF conditions are checked first
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Running Step must be"), std::string::npos) << r.err;
    EXPECT_EQ(Run("calc 2 --rate-of-noise-range 20").status, 2);  // an impulse-only condition
    EXPECT_EQ(Snapshot(), before);
    r = Run("calc --help");
    EXPECT_NE(r.out.find("--rate-of-noise-range"), std::string::npos);
    EXPECT_NE(r.out.find("--end-of-regression-time"), std::string::npos);

    r =
        Run("calc 2 --integration-time 0.05 --max-delay-time 0.01 --running-step 0.02 "
            "--weighting c --peak-detection b --including-origin on");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("1 computed"), std::string::npos) << r.err;
    EXPECT_NE(Run("list 2").out.find("\t*\n"), std::string::npos);
    EXPECT_EQ(Run("check").status, 0);
}

TEST_F(Cli, NoiseFoldersAndTemplates) {
    ASSERT_TRUE(cli::WriteWavFile(dir.File("car.wav"), 2, 48000,
                                  cli::SynthPassingNoise(48000, 3.0, 400.0, 5)));
    ASSERT_TRUE(cli::WriteWavFile(dir.File("bell.wav"), 2, 48000, cli::SynthMusic(48000, 3.0, 4)));
    ASSERT_EQ(Run("import --kind noise --cal-level -94 car.wav bell.wav car.wav").status, 0);
    const std::string conditions =
        " --integration-time 0.5 --running-step 0.25 --including-origin on";
    auto r = Run("calc 1 --target all --identification min-tau-e --before-max-spl 2" + conditions);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("3 computed (0 identified)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No. 2"), std::string::npos) << r.err;
    r = Run("list 1");
    EXPECT_NE(r.out.find("1\t1\t"), std::string::npos);
    EXPECT_NE(r.out.find("\tUnknown\n"), std::string::npos) << r.out;
    r = Run("templates learn Car 1 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "template 0\tCar\t1 learnt, 1 in all\n");
    ASSERT_EQ(Run("templates learn Bell 1 2").status, 0);
    r = Run("calc 1 --target all" + conditions);
    EXPECT_NE(r.err.find("3 computed (3 identified)"), std::string::npos) << r.err;
    r = Run("list 1");
    EXPECT_NE(r.out.find("\tCar\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tBell\n"), std::string::npos) << r.out;

    r = Run("templates add Truck --tau-e 20 --tau-e-upper 25 --phi0 80");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "template 2\n");
    r = Run("templates show 2");
    EXPECT_NE(r.out.find("Tau-e\tStandard Value 20 ms\tUpper Limit 25 ms\tLower Limit off"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(Run("templates update 2 --tau-e-upper off --name Lorry").status, 0);
    EXPECT_NE(Run("templates show 2").out.find("Lorry"), std::string::npos);
    ASSERT_EQ(Run("templates export lib.nst").status, 0);
    EXPECT_EQ(std::filesystem::file_size(dir.File("lib.nst")), 3u * 133);
    ASSERT_EQ(Run("templates delete 2").status, 0);
    r = Run("templates import lib.nst");
    EXPECT_EQ(r.out, "3 imported\n");
    r = Run("templates list");
    EXPECT_NE(r.out.find("0\tCar\t2\n"), std::string::npos) << r.out;    // merged with itself
    EXPECT_NE(r.out.find("2\tLorry\t0\n"), std::string::npos) << r.out;  // the next free ID
    r = Run("templates weights 0.5 1 1 1");
    EXPECT_EQ(r.out, "Phi(0)\t0.5\nTau-e\t1\nTau-1\t1\nPhi1\t1\n");

    auto before = Snapshot();
    EXPECT_EQ(Run("templates add ''").status, 2);
    EXPECT_EQ(Run("templates show 99").status, 2);
    EXPECT_EQ(Run("templates add X --tau-e soon").status, 2);
    EXPECT_EQ(Run("templates import missing.nst").status, 2);
    EXPECT_EQ(Run("templates learn Car 9").status, 2);
    EXPECT_EQ(Run("calc 1 --target all --running-step 0").status, 2);
    EXPECT_EQ(Run("calc 1 --ref-level 3").status, 2);  // no Phi(0) reference for noise
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Run("check").status, 0);
}

// Flips a byte near the end of a file: the last blob written fails its checksum.
void DamageLastBlob(const std::string& path) {
    auto bytes = test::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 8u);
    bytes[bytes.size() - 5] ^= 0xff;
    test::WriteFileBytes(path, bytes);
}

// A measurement whose samples fail their checksum is named and keeps its old result; a settings
// file with impossible conditions is refused before anything is read.
TEST_F(Cli, DamagedSamplesAndHostileSettingsAreFailures) {
    ASSERT_NO_FATAL_FAILURE(Seats());
    ASSERT_EQ(Run("import --kind ir --title Hall seat1.wav seat2.wav").status, 0);
    ASSERT_EQ(Run("calc 1").status, 0);
    const Result before = Run("show 1 2");
    ASSERT_EQ(before.status, 0) << before.err;

    AppSettings settings;
    settings.impulse.bandTo = std::numeric_limits<std::int32_t>::max();
    ASSERT_TRUE(settings.Save(dir.File("hostile.dat")));
    auto snapshot = Snapshot();
    auto r = Run("--settings hostile.dat calc 1 --target all");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("The last band of the range must be from 0 to 31."), std::string::npos)
        << r.err;
    EXPECT_EQ(Snapshot(), snapshot);

    DamageLastBlob(dir.File("DATA/IMPULSE.BIN"));  // seat2's samples
    r = Run("calc 1 --target all");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("seat2: Can't read impulse response file. (Error=3036)"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("1 of 2 measurements not calculated"), std::string::npos) << r.err;
    EXPECT_EQ(Run("show 1 2").out, before.out);

    // Titles wider than their field keep whole characters only.
    const std::string fits(29, 'a'), wide = fits + "\xc3\xa9";  // "é" would straddle byte 30
    std::filesystem::copy_file(dir.File("seat1.wav"), dir.File(wide + ".wav"));
    ASSERT_EQ(Run("import --kind ir --title " + wide + " " + wide + ".wav").status, 0);
    EXPECT_NE(Run("folders").out.find("2\tI\t" + fits + "\t"), std::string::npos);
    EXPECT_NE(Run("list 2").out.find("\t" + fits + "\t"), std::string::npos);
}

// An unreadable template library stops a noise calculation before it writes anything, so no
// identification is lost; an import file with values no one could type is refused.
TEST_F(Cli, UnreadableTemplatesKeepIdentifications) {
    ASSERT_TRUE(cli::WriteWavFile(dir.File("car.wav"), 2, 48000,
                                  cli::SynthPassingNoise(48000, 3.0, 400.0, 5)));
    ASSERT_EQ(Run("import --kind noise car.wav car.wav").status, 0);
    const std::string conditions =
        " --target all --integration-time 0.5 --running-step 0.25 --including-origin on";
    ASSERT_EQ(Run("calc 1" + conditions).status, 0);
    ASSERT_EQ(Run("templates learn Car 1 1").status, 0);
    ASSERT_EQ(Run("calc 1" + conditions).status, 0);
    const std::string listed = Run("list 1").out;
    ASSERT_NE(listed.find("\tCar\n"), std::string::npos) << listed;

    ASSERT_TRUE(WriteNstFile(dir.File("bad.nst"), {{"", {}}}));
    auto before = Snapshot();
    auto r = Run("templates import bad.nst");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("entry 1 has no name"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(), before);

    test::WriteFileBytes(dir.File("DATA/NSTMP.DBF"), std::vector<unsigned char>(40, 0x03));
    before = Snapshot();
    r = Run("calc 1" + conditions);
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Can't open noise template file."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2 of 2 measurements not calculated"), std::string::npos) << r.err;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Run("list 1").out, listed);
}

// A result that cannot be read fails export and show whole: the older file stays as it was.
TEST_F(Cli, UnreadableResultsFailExportAndShow) {
    Wav("music.wav", 1, 96000);
    ASSERT_EQ(Run("import --kind acf music.wav").status, 0);
    ASSERT_EQ(Run("calc 1 --integration-time 0.5 --running-step 0.25").status, 0);
    ASSERT_EQ(Run("export 1 out.txt").status, 0);
    const std::string old = Text("out.txt");
    ASSERT_NE(old.find("[Factor1]"), std::string::npos);

    DamageLastBlob(dir.File("DATA/ACFFACT.BIN"));
    auto r = Run("export 1 out.txt");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("Can't read calculation file. (Error=3036)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("out.txt not written"), std::string::npos) << r.err;
    EXPECT_EQ(Text("out.txt"), old);
    EXPECT_EQ(Run("export 1 new.csv").status, 3);
    EXPECT_FALSE(std::filesystem::exists(dir.File("new.csv")));
    r = Run("show 1 1");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "");
}

// A walk over a folder that meets a record it cannot read is a failure, not the folder's end.
TEST_F(Cli, AnUnreadableRecordIsNotTheEndOfAFolder) {
    for (const char* seat : {"seat1.wav", "seat2.wav"})
        ASSERT_TRUE(
            cli::WriteWavFile(dir.File(seat), 2, 48000, cli::SynthRoomImpulse(48000, 0.3, 0.8, 1)));
    ASSERT_EQ(Run("import --kind ir seat1.wav seat2.wav").status, 0);
    ASSERT_EQ(Run("calc 1").status, 0);
    ASSERT_EQ(Run("export 1 out.txt").status, 0);
    const std::string old = Text("out.txt");

    // The second record flagged deleted behind its index's back: reading it is damage.
    auto dbf = test::ReadFileBytes(dir.File("DATA/IMPULSE.DBF"));
    const std::size_t header = dbf[8] | dbf[9] << 8, length = dbf[10] | dbf[11] << 8;
    dbf[header + length] = '*';
    test::WriteFileBytes(dir.File("DATA/IMPULSE.DBF"), dbf);
    auto r = Run("export 1 out.txt");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(Text("out.txt"), old);
    r = Run("calc 1 --target all");
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("folder 1 not calculated"), std::string::npos) << r.err;
}

// A silent channel has no level: "----", never "-inf".
TEST_F(Cli, SilentChannelsShowNoLevel) {
    ASSERT_TRUE(
        cli::WriteWavFile(dir.File("quiet.wav"), 1, 48000, std::vector<std::int16_t>(96000, 0)));
    ASSERT_EQ(Run("import --kind acf quiet.wav").status, 0);
    ASSERT_EQ(Run("calc 1 --integration-time 0.5 --running-step 0.25").status, 0);
    auto r = Run("show 1 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Phi-0=---- ----"), std::string::npos) << r.out;
    ASSERT_EQ(Run("export 1 quiet.csv").status, 0);
    for (const std::string& text : {r.out, Text("quiet.csv")})
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
}

TEST_F(Cli, EveryProgramAnswersHelp) {
    for (const char* help : {"--help", "-h"}) {
        auto r = Run(help);
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_NE(r.out.find("usage: vesk-cli"), std::string::npos) << help;
        r = Run(help, VESK_SYNTH_PATH);
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_NE(r.out.find("usage: vesk-synth"), std::string::npos) << help;
    }
    EXPECT_EQ(Run("demo --bogus").status, 2);
    EXPECT_EQ(Run("--bogus", VESK_SYNTH_PATH).status, 2);
    EXPECT_EQ(Run("a b", VESK_SYNTH_PATH).status, 2);
    for (const char* made : {"--help", "-h", "--bogus", "a", "b", "wav"})
        EXPECT_FALSE(std::filesystem::exists(dir.File(made))) << made;
}

// The values of a line "Label=v1 v2 ... [unit]" of a text output file.
std::vector<std::string> Values(const std::string& file, const std::string& label, int nth = 0) {
    std::size_t at = 0;
    for (int k = 0; k <= nth; ++k) {
        at = file.find("\n" + label + "=", at);
        if (at == std::string::npos) return {};
        ++at;
    }
    std::string line =
        file.substr(at + label.size() + 1, file.find('\r', at) - at - label.size() - 1);
    std::stringstream in(line);
    std::vector<std::string> out;
    std::string v;
    while (in >> v)
        if (v[0] != '[') out.push_back(v);
    return out;
}

TEST_F(Cli, DemoCalculatesEveryFolderAndIsRepeatable) {
    auto r = Run("demo one");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("12 (12 identified as their own source)"), std::string::npos) << r.out;
    ASSERT_EQ(Run("demo two").status, 0);
    for (const char* f : {"hall.txt", "hall.csv", "recital.txt", "recital.csv", "building-site.txt",
                          "building-site.csv"}) {
        auto a = test::ReadFileBytes(dir.File(std::string("one/") + f));
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_EQ(a, test::ReadFileBytes(dir.File(std::string("two/") + f))) << f;
    }
    const std::string hall = Text("one/hall.txt");
    for (int seat = 0; seat < 6; ++seat) {
        EXPECT_NE(hall.find("[Parameters" + std::to_string(seat + 1) + "]"), std::string::npos);
        // Octave bands: All(F), 16 Hz ... 16 kHz; 1, 2, 4 kHz are entries 7, 8, 9.
        auto bands = Values(hall, "Frequency band", seat);
        auto tsub = Values(hall, "Tsub-LR", seat);
        ASSERT_EQ(bands.size(), 12u);
        ASSERT_EQ(tsub.size(), 12u);
        ASSERT_EQ(bands[7], "1000");
        EXPECT_GT(std::stod(tsub[7]), std::stod(tsub[8])) << "seat " << seat;
        EXPECT_GT(std::stod(tsub[8]), std::stod(tsub[9])) << "seat " << seat;
        EXPECT_GT(std::stod(tsub[9]), std::stod(tsub[10])) << "seat " << seat;
    }
    const std::string recital = Text("one/recital.txt");
    EXPECT_NE(recital.find("[Factor1]"), std::string::npos);
    EXPECT_NE(recital.find("[Factor2]"), std::string::npos);
    EXPECT_EQ(Values(recital, "IACC").size(),
              78u);  // the stereo take only: (480000 - 105600) / 4800
    // Another folder's contents are never overwritten.
    test::WriteFileBytes(dir.File("mine.txt"), {'x'});
    EXPECT_EQ(Run("demo .").status, 2);
}

// One line of `show` split into its numbers: "SPL-L=1.00 2.00 [dB]" gives 1, 2.
std::vector<double> ShownValues(const std::string& shown, const std::string& key) {
    std::vector<double> values;
    const std::size_t at = shown.find("\n" + key + "=");
    if (at == std::string::npos) return values;
    std::istringstream line(shown.substr(at + key.size() + 2, shown.find('\n', at + 1) - at));
    double v;
    while (line >> v)
        values.push_back(v);
    return values;
}

// 16-bit samples of a synthetic room, direct sound at 30000.
std::vector<std::int16_t> RoomSamples(const test::RoomDesign& d) {
    const std::vector<double> h = test::RoomResponse(d, 30000.0);
    std::vector<std::int16_t> s(h.size());
    for (std::size_t i = 0; i < h.size(); ++i)
        s[i] = static_cast<std::int16_t>(std::lround(std::clamp(h[i], -32768.0, 32767.0)));
    return s;
}

// The same binaural response as it comes: plain, after 2 s of low noise, with trailing digital
// silence that crosses a power of two, and as a float file with a lead-in. The import trims the
// silence before the onset and drops the trailing silence; levels, delta-t1 and Tsub agree.
TEST_F(Cli, ImpulseResponsesAreTrimmedToTheirOnset) {
    test::RoomDesign d = test::BinauralSeat16k();
    ASSERT_TRUE(cli::WriteWavFile(dir.File("plain.wav"), 2, 16000, RoomSamples(d)));
    std::vector<std::int16_t> tail = RoomSamples(d);
    tail.resize(tail.size() + 2 * 16000, 0);  // 1 s of both channels
    ASSERT_TRUE(cli::WriteWavFile(dir.File("tail.wav"), 2, 16000, tail));
    test::RoomDesign lead = d;
    lead.leadIn = 2.0;
    const std::vector<std::int16_t> led = RoomSamples(lead);
    ASSERT_TRUE(cli::WriteWavFile(dir.File("lead.wav"), 2, 16000, led));
    std::vector<float> asFloat(led.size());
    for (std::size_t i = 0; i < asFloat.size(); ++i)
        asFloat[i] = static_cast<float>(led[i] / 32767.0);
    std::string error;
    ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("float.wav"), 2, 16000, asFloat, &error)) << error;
    auto r = Run("import --kind ir --title Seats plain.wav tail.wav lead.wav float.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("plain.wav: 1.6 ms of silence put before"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("tail.wav: 1.000 s (16000 frames) of digital silence"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("lead.wav: 1.99"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("float.wav: 1.99"), std::string::npos) << r.err;
    r = Run("calc 1 --ref-data abs");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("warning"), std::string::npos) << r.err;
    const std::string plain = Run("show 1 1").out;
    for (const char* id : {"2", "3", "4"}) {
        const std::string other = Run(std::string("show 1 ") + id).out;
        for (const char* key : {"SPL-L", "SPL-R", "dT1-L", "dT1-R", "Tsub-L"}) {
            const std::vector<double> a = ShownValues(plain, key), b = ShownValues(other, key);
            ASSERT_EQ(a.size(), b.size()) << id << " " << key;
            ASSERT_FALSE(a.empty()) << key;
            for (std::size_t k = 0; k < a.size(); ++k)
                EXPECT_NEAR(a[k], b[k], std::string(key).find("Tsub") == 0 ? 0.02 : 0.01)
                    << "record " << id << " " << key << " entry " << k;
        }
    }

    // An early click keeps the onset at the start; the direct sound 3 s later lies past the half
    // of the 2^16 frames that is searched, and calc says so.
    test::RoomDesign late = d;
    late.leadIn = 3.0;
    late.seconds = 0.8;
    std::vector<std::int16_t> clicked = RoomSamples(late);
    clicked[20] = clicked[21] = 6000;
    ASSERT_TRUE(cli::WriteWavFile(dir.File("late.wav"), 2, 16000, clicked));
    ASSERT_EQ(Run("import --kind ir --folder 1 late.wav").status, 0);
    r = Run("calc 1 --target 5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: record 5 \"late\": the direct sound lies past"),
              std::string::npos)
        << r.err;
}

// Up to 2^21 frames are stored; a longer response loses its tail with a warning, not the file.
TEST_F(Cli, LongImpulseResponses) {
    Wav("church.wav", 1, std::size_t{1} << 21, 96000);
    Wav("longer.wav", 1, (std::size_t{1} << 21) + 4800, 96000);
    auto r = Run("import --kind ir church.wav longer.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("church.wav: warning"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("church.wav: 4.9 ms"), std::string::npos) << r.err;  // no room for it
    EXPECT_NE(r.err.find("warning: longer.wav: 2101952 frames after the onset"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("the last 0.050 s are cut off"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "folder 1\nrecord 1\tchurch.wav\nrecord 2\tlonger.wav\n");
    EXPECT_EQ(Run("check").status, 0);
}

std::vector<unsigned char> Wav(std::uint16_t format, std::uint16_t channels, std::uint32_t rate,
                               std::uint16_t bits, std::size_t frames) {
    const std::uint32_t data = static_cast<std::uint32_t>(frames * channels * bits / 8);
    std::vector<unsigned char> b(44 + data);
    std::memcpy(b.data(), "RIFF", 4);
    detail::PutU32(b.data() + 4, 36 + data);
    std::memcpy(b.data() + 8, "WAVEfmt ", 8);
    detail::PutU32(b.data() + 16, 16);
    detail::PutU16(b.data() + 20, format);
    detail::PutU16(b.data() + 22, channels);
    detail::PutU32(b.data() + 24, rate);
    detail::PutU32(b.data() + 28, rate * channels * bits / 8);
    detail::PutU16(b.data() + 32, static_cast<std::uint16_t>(channels * bits / 8));
    detail::PutU16(b.data() + 34, bits);
    std::memcpy(b.data() + 36, "data", 4);
    detail::PutU32(b.data() + 40, data);
    std::mt19937 g(frames);
    for (std::size_t i = 44; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(g());
    if (format == 3)  // finite floats in range, with a few NaNs and infinities among them
        for (std::size_t i = 44, k = 0; i + 4 <= b.size(); i += 4, ++k)
            detail::PutF32(b.data() + i, k % 97 == 5 ? (k % 2 ? NAN : INFINITY)
                                                     : static_cast<float>(k % 200) / 100 - 1);
    return b;
}

TEST(Audio, DamagedAudioFilesAreRefusedOrReadWhole) {
    test::TempDir dir;
    const std::string path = dir.File("in.wav");
    struct Source {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    const Source sources[] = {{"pcm16 stereo", Wav(1, 2, 48000, 16, 300)},
                              {"pcm24 mono", Wav(1, 1, 44100, 24, 300)},
                              {"float stereo", Wav(3, 2, 48000, 32, 200)},
                              {"pcm8 mono", Wav(1, 1, 8000, 8, 500)}};
    int read = 0;
    auto check = [&](const std::vector<unsigned char>& b, const std::string& what) {
        test::WriteFileBytes(path, b);
        cli::AudioData audio;
        std::string error;
        if (cli::ReadAudioFile(path, &audio, &error)) {
            ++read;
            EXPECT_TRUE(audio.channels == 1 || audio.channels == 2) << what;
            EXPECT_GT(audio.frames, 0u) << what;
            EXPECT_TRUE(audio.sampleRate > 0 && audio.sampleRate <= 999999) << what;
            EXPECT_EQ(audio.samples.size(), audio.frames * static_cast<std::size_t>(audio.channels))
                << what;
        } else {
            EXPECT_FALSE(error.empty()) << what;
        }
    };
    for (const Source& s : sources) {
        check(s.bytes, s.what);
        const std::size_t n = s.bytes.size();
        for (std::size_t cut = 0; cut < n; cut += cut < 64 ? 3 : n / 10)
            check(std::vector<unsigned char>(s.bytes.begin(),
                                             s.bytes.begin() + static_cast<long>(cut)),
                  std::string(s.what) + " cut");
        for (std::size_t at = 0; at < 44; ++at) {
            std::vector<unsigned char> b = s.bytes;
            b[at] ^= 0xFF;
            check(b, std::string(s.what) + " flip " + std::to_string(at));
        }
        const std::pair<std::size_t, std::uint32_t> fields[] = {
            {4, 0xFFFFFFFFu}, {16, 0xFFFFFFFFu}, {16, 2}, {16, 40},          {22, 0},
            {22, 3},          {22, 0xFFFF},      {24, 0}, {24, 0xFFFFFFFFu}, {24, 1000000},
            {32, 0},          {32, 0xFFFF},      {34, 0}, {34, 1},           {34, 12},
            {34, 64},         {34, 0xFFFF},      {40, 0}, {40, 0xFFFFFFFFu}, {40, 0x7FFFFFFFu},
            {40, 1}};
        for (auto [at, v] : fields) {
            std::vector<unsigned char> b = s.bytes;
            if (at == 22 || at == 32 || at == 34)
                detail::PutU16(b.data() + at, static_cast<std::uint16_t>(v));
            else
                detail::PutU32(b.data() + at, v);
            check(b,
                  std::string(s.what) + " field " + std::to_string(at) + " = " + std::to_string(v));
        }
    }
    EXPECT_GE(read, 4);  // at least the undamaged sources
    std::mt19937 g(9);
    for (int i = 0; i < 60; ++i) {
        std::vector<unsigned char> b(g() % 3000);
        for (auto& c : b)
            c = static_cast<unsigned char>(g());
        if (i % 2 == 0 && b.size() >= 12) std::memcpy(b.data(), "RIFF\0\0\0\0WAVE", 12);
        check(b, "garbage " + std::to_string(i));
    }
}

// Values of one "Name=v v v ... [unit]" line of `show`, by band label.
std::map<std::string, double> BandValues(const std::string& shown, const std::string& name) {
    auto line = [&](const std::string& key) {
        const std::size_t at = shown.find("\n" + key + "=");
        if (at == std::string::npos) return std::vector<std::string>{};
        const std::size_t from = at + key.size() + 2;
        std::istringstream in(shown.substr(from, shown.find('\n', from) - from));
        std::vector<std::string> words;
        for (std::string w; in >> w && w[0] != '[';)
            words.push_back(w);
        return words;
    };
    const auto bands = line("Frequency band"), values = line(name);
    std::map<std::string, double> out;
    for (std::size_t i = 0; i < bands.size() && i < values.size(); ++i)
        if (values[i] != "----") out[bands[i]] = std::stod(values[i]);
    return out;
}

// A binaural room played as a sweep and recorded: imported with --sweep, it must give what the
// room's own response gives.
TEST_F(Cli, SweepRecordingsGiveTheResultsOfTheirResponse) {
    auto r = Run("sweep --length 3 --tail 1.5 sweep.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    cli::FloatAudio sweep;
    std::string error;
    ASSERT_TRUE(cli::ReadAudioFileFloat(dir.File("sweep.wav"), &sweep, &error)) << error;
    ASSERT_EQ(sweep.sampleRate, 48000);

    test::RoomDesign design;
    design.tLow = 1.6;
    design.tHigh = 0.6;
    design.seconds = 1.4;
    design.channels = 2;
    design.noiseDb = 75;
    const std::vector<double> room = test::RoomResponse(design, 0.5);
    const std::size_t frames = room.size() / 2;
    std::vector<float> response(room.begin(), room.end());
    ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("room.wav"), 2, 48000, response, &error));

    // The recording: each ear's response convolved with the excitation.
    const std::size_t length = sweep.channels[0].size() + frames / 2;
    std::vector<float> recording(2 * length);
    for (std::size_t ear = 0; ear < 2; ++ear) {
        std::vector<float> h(frames);
        for (std::size_t i = 0; i < frames; ++i)
            h[i] = response[2 * i + ear];
        const std::vector<float> wet = test::Convolve(sweep.channels[0], h);
        for (std::size_t i = 0; i < length; ++i)
            recording[2 * i + ear] = wet[i];
    }
    ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("recorded.wav"), 2, 48000, recording, &error));

    ASSERT_EQ(Run("import --kind ir --title Hall room.wav").status, 0);
    r = Run("import --kind ir --folder 1 --sweep sweep.wav recorded.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("deconvolved"), std::string::npos) << r.err;
    r = Run("calc 1");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string direct = Run("show 1 1").out, swept = Run("show 1 2").out;
    ASSERT_EQ(BandValues(direct, "Tsub-R").count("1000"), 1u) << direct;
    ASSERT_EQ(BandValues(swept, "IACC").count("1000"), 1u) << swept;
    for (const char* band : {"125", "250", "500", "1000", "2000", "4000"}) {
        for (const char* side : {"L", "R"}) {
            const std::string spl = std::string("SPL-") + side, tsub = std::string("Tsub-") + side;
            EXPECT_NEAR(BandValues(swept, spl)[band], BandValues(direct, spl)[band], 0.2)
                << spl << " " << band;
            const double t = BandValues(direct, tsub)[band];
            EXPECT_NEAR(BandValues(swept, tsub)[band], t, 0.03 * t) << tsub << " " << band;
        }
        EXPECT_NEAR(BandValues(swept, "IACC")[band], BandValues(direct, "IACC")[band], 0.02)
            << band;
    }
    // What cannot be deconvolved is refused and leaves the store as it was.
    const auto before = Snapshot();
    EXPECT_EQ(Run("import --kind ir --folder 1 --sweep sweep.wav room.wav").status, 2);
    EXPECT_EQ(Run("import --kind ir --folder 1 --sweep recorded.wav recorded.wav").status, 2);
    EXPECT_EQ(Run("import --kind acf --sweep sweep.wav recorded.wav").status, 2);
    EXPECT_EQ(Run("sweep --from 5000 --to 4000 bad.wav").status, 2);
    EXPECT_EQ(Snapshot(), before);
}

// A dummy head beside an omni and a spare channel: channels 3 and 4 are the ears.
TEST_F(Cli, ChannelsOfAMultichannelFileAreChosen) {
    test::RoomDesign design;
    design.seconds = 0.6;
    design.channels = 2;
    const std::vector<double> ears = test::RoomResponse(design, 0.5);
    const std::size_t frames = ears.size() / 2;
    std::vector<float> four(4 * frames), two(ears.begin(), ears.end());
    for (std::size_t i = 0; i < frames; ++i) {
        four[4 * i] = 0.25f * std::sin(0.01f * float(i));
        four[4 * i + 2] = two[2 * i];
        four[4 * i + 3] = two[2 * i + 1];
    }
    std::string error;
    ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("four.wav"), 4, 48000, four, &error));
    ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("ears.wav"), 2, 48000, two, &error));

    auto r = Run("import --kind ir four.wav");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--channels"), std::string::npos) << r.err;
    EXPECT_EQ(Run("import --kind ir --channels 3,5 four.wav").status, 2);
    EXPECT_EQ(Run("import --kind ir --channels 3,3 four.wav").status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.File("DATA/FOLDER.DBF")));

    ASSERT_EQ(Run("import --kind ir --title Head --channels 3,4 four.wav").status, 0);
    ASSERT_EQ(Run("import --kind ir --folder 1 ears.wav").status, 0);
    ASSERT_EQ(Run("import --kind ir --folder 1 --channels 4 four.wav").status, 0);
    ASSERT_EQ(Run("calc 1").status, 0);
    auto results = [&](int id) {
        const std::string shown = Run("show 1 " + std::to_string(id)).out;
        return shown.substr(shown.find("[Parameters"));
    };
    EXPECT_EQ(results(1), results(2).replace(11, 1, "1"));
    const std::string mono = Run("show 1 3").out;
    EXPECT_NE(mono.find("Channel=Mono"), std::string::npos) << mono;
}

// Three seats of a room in a SOFA file, taken with their ears swapped beside the same responses
// as float WAV files: the stored measurements must give the same results.
TEST_F(Cli, SofaResponsesImportLikeTheirAudioFiles) {
    test::SofaSpec sofa;
    sofa.conventions = "SingleRoomSRIR";
    sofa.sourceType = "cartesian";
    sofa.sourceUnits = "metre";
    sofa.source = {2, 0, 1.5};
    sofa.listener = {0, 0, 1.2, 4.25, -3, 1.2, 8, 3.5, 1.2};
    std::string error;
    for (std::size_t m = 0; m < sofa.m; ++m) {
        test::RoomDesign design;
        design.seconds = 0.6;
        design.channels = 2;
        design.tLow = 1.0 + 0.5 * double(m);
        design.seed = static_cast<unsigned>(m + 1);
        const std::vector<double> room = test::RoomResponse(design, 0.5);
        sofa.n = room.size() / 2;
        sofa.ir.resize(sofa.m * 2 * sofa.n);
        std::vector<float> swapped(room.size());
        for (std::size_t i = 0; i < sofa.n; ++i)
            for (std::size_t ear = 0; ear < 2; ++ear) {
                const float v = static_cast<float>(room[2 * i + ear]);
                sofa.ir[(m * 2 + ear) * sofa.n + i] = v;
                swapped[2 * i + 1 - ear] = v;
            }
        ASSERT_TRUE(cli::WriteFloatWavFile(dir.File("seat" + std::to_string(m + 1) + ".wav"), 2,
                                           48000, swapped, &error));
    }
    ASSERT_TRUE(test::WriteSofa(dir.File("room.sofa"), sofa));

    auto r = Run("import --kind ir --measurement 2,3 --ears 2,1 room.sofa seat2.wav seat3.wav");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "folder 1\nrecord 1\troom.sofa#2\nrecord 2\troom.sofa#3\nrecord 3\tseat2.wav\n"
              "record 4\tseat3.wav\n");
    EXPECT_EQ(Run("folders").out.substr(0, 11), "1\tI\troom\t\t\t");
    const std::string list = Run("list 1").out;
    EXPECT_NE(list.find("1\tsrc 2,0,1.5 lis 4.25,-3,1.2\t"), std::string::npos) << list;
    EXPECT_NE(list.find("2\tsrc 2,0,1.5 lis 8,3.5,1.2\t"), std::string::npos) << list;
    ASSERT_EQ(Run("calc 1").status, 0);
    auto results = [&](int id) {
        const std::string shown = Run("show 1 " + std::to_string(id)).out;
        return shown.substr(shown.find("\nSPL-L="));
    };
    EXPECT_EQ(results(1), results(3));
    EXPECT_EQ(results(2), results(4));
    EXPECT_NE(results(1), results(2));

    // What the file cannot give is refused before the store is touched.
    std::ofstream(dir.File("text.sofa")) << "not netCDF";
    sofa.rates = {48000, 44100, 48000};
    ASSERT_TRUE(test::WriteSofa(dir.File("rates.sofa"), sofa));
    const auto before = Snapshot();
    const struct {
        const char* args;
        const char* says;
    } refused[] = {
        {"--folder 1 seat2.wav text.sofa", "text.sofa: not a SOFA file"},
        {"--folder 1 rates.sofa", "rates.sofa: sampling rates differ"},
        {"--folder 1 --measurement 4 room.sofa", "room.sofa: has no response 4 (it has 3)"},
        {"--folder 1 --ears 1,3 room.sofa", "room.sofa: has no receiver 3"},
        {"--folder 1 --measurement 0 room.sofa", "--measurement takes"},
        {"--folder 1 --measurement 2 seat2.wav", "apply to SOFA files"},
        {"--folder 1 --channels 1 room.sofa", "SOFA files take --ears"},
    };
    for (const auto& c : refused) {
        r = Run(std::string("import --kind ir ") + c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_EQ(Run("import --kind acf room.sofa").status, 2);
    EXPECT_EQ(Snapshot(), before);

    // A single ear gives a mono measurement.
    ASSERT_EQ(Run("import --kind ir --folder 1 --measurement 1 --ears 2 room.sofa").status, 0);
    ASSERT_EQ(Run("calc 1 --target 5").status, 0);
    EXPECT_NE(Run("show 1 5").out.find("Channel=Mono"), std::string::npos);
}

}  // namespace
}  // namespace vesk
