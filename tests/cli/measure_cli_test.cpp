// vesk-cli measure through the simulated card: each kind of folder, and refusals that store
// nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>

#include "cli/audio.h"
#include "tests/cli/cli_fixture.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

class MeasureCli : public test::CliTest {
  protected:
    using Result = test::RunResult;
    // A two-channel room at 16 kHz: direct sound, then a tail decaying 60 dB in 0.3 s.
    void Room(const std::string& name, double scale) {
        std::mt19937 random(3);
        std::normal_distribution<double> normal;
        std::vector<float> samples;
        for (int i = 0; i < 8000; ++i)
            for (int c = 0; c < 2; ++c)
                samples.push_back(static_cast<float>(
                    scale * (i == 100 + c ? 0.5
                             : i > 120 ? 0.03 * normal(random) * std::exp(-6.9 * (i - 120) / 4800.0)
                                       : 0.0)));
        std::string error;
        ASSERT_TRUE(cli::WriteFloatWavFile(dir.File(name), 2, 16000, samples, &error)) << error;
    }
    // The whole folder: the settings file must not change either.
    std::map<std::string, std::vector<unsigned char>> Snapshot() {
        std::map<std::string, std::vector<unsigned char>> files;
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path()))
            if (e.is_regular_file() && e.path().filename() != "stderr.txt")
                files[e.path().string()] = test::ReadFileBytes(e.path().string());
        return files;
    }
};

TEST_F(MeasureCli, MeasuresEachKindAndRemembersTheLatency) {
    Room("room.wav", 1.0);
    ASSERT_EQ(Run("--yes import --kind ir --title Hall room.wav").status, 0);
    ASSERT_EQ(Run("--yes import --kind noise --title Street room.wav").status, 0);

    Result r =
        Run("measure 1 --title 'Seat 1' --device sim:room.wav --mls 12 --averages 2 "
            "--loopback 3 --level -12");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("record 2\tSeat 1"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("latency 256 frames"), std::string::npos) << r.err;
    const auto settings = test::ReadFileBytes(dir.File("Vesk.dat"));
    EXPECT_NE(std::string(settings.begin(), settings.end()).find("latency 256 sim\n"),
              std::string::npos);

    // Without a loopback the remembered latency is removed.
    r =
        Run("measure 1 --title 'Seat 2' --device sim:room.wav,latency=256,noise=-90 --sweep "
            "--from 30 --to 7500 --length 1 --level -12 --no-check");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("measured before"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("test tone"), std::string::npos) << r.err;

    r =
        Run("measure 2 --title Kerb --device sim:room.wav --in 1 --record 1.5 --cal-level 94 "
            "--level -12");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("test tone"), std::string::npos) << r.err;

    r = Run("calc 1 --target all");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("list 1");
    EXPECT_NE(r.out.find("Seat 1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Seat 2"), std::string::npos) << r.out;
    r = Run("calc 2 --target all");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("list 2");
    EXPECT_NE(r.out.find("\t2\t"), std::string::npos) << r.out;  // the next number
    EXPECT_EQ(Run("show 2 2").status, 0);
}

TEST_F(MeasureCli, RefusalsStoreNothing) {
    Room("room.wav", 1.0);
    Room("silent.wav", 0.0);
    ASSERT_EQ(Run("--yes import --kind ir --title Hall room.wav").status, 0);
    const auto before = Snapshot();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--device sim:silent.wav --mls 12", "too quiet"},
        {"--device sim:room.wav --sweep --from 30 --to 7500 --level 0", "clips"},
        {"--device sim:room.wav --mls 12 --rate 48000", "does not support 48000"},
        {"--device sim:room.wav --mls 12 --in 1,7", "no input channel 7"},
        {"--device sim:room.wav,noise=loud --mls 12", "noise=DB"},
        {"--device sim:missing.wav --mls 12", "missing.wav"},
        {"--device 'no such card' --mls 12", "no audio device"},
        {"--device sim:room.wav --record 2", "--mls or --sweep"},
        {"--device sim:room.wav --mls 12 --sweep", "one of"},
        {"--device sim:room.wav --mls 12 --in 1 --loopback 1", "another input"},
    };
    for (const auto& [options, words] : cases) {
        const Result r = Run("measure 1 --title X " + options);
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_NE(r.err.find(words), std::string::npos) << options << ": " << r.err;
    }
    EXPECT_EQ(Run("measure 1 --device sim:room.wav --mls 12").status, 2);  // no title
    EXPECT_EQ(Run("measure 9 --title X --device sim:room.wav --mls 12").status, 2);
    EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace vesk
