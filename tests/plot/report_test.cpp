#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/audio.h"
#include "plot/report.h"
#include "plot/result_graphs.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using Result = test::RunResult;

// One demo store for the whole suite: its folders are an impulse-response hall, running sound
// and noise, all calculated, with their text output files.
class Reports : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        ASSERT_EQ(Run("demo demo", s_dir->Path()).status, 0);
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    // Runs vesk-cli without a display.
    static Result Run(const std::string& args, const std::string& where = "") {
        return test::RunProgram(where.empty() ? s_dir->File("demo") : where, VESK_CLI_PATH, args,
                                s_dir->File("stderr.txt"), "env -u DISPLAY -u WAYLAND_DISPLAY");
    }
    static std::string Output(const std::string& command) {
        FILE* pipe = popen(command.c_str(), "r");
        std::string out;
        char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
        return out;
    }
    static std::string File(const std::string& name) { return s_dir->File("demo/" + name); }
    static std::string Text(const std::string& pdf) {
        return Output("pdftotext -layout '" + File(pdf) + "' - 2>/dev/null");
    }
    // The numbers of a line "Key=..." of each measurement section in a text output file.
    static std::vector<std::vector<std::string>> Lines(const std::string& file,
                                                       const std::string& key) {
        std::ifstream in(File(file));
        std::vector<std::vector<std::string>> out;
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind(key + "=", 0) != 0) continue;
            std::istringstream words(line.substr(key.size() + 1));
            std::vector<std::string> numbers;
            std::string w;
            while (words >> w)
                if (w[0] != '[') numbers.push_back(w);
            out.push_back(numbers);
        }
        return out;
    }
    static test::TempDir* s_dir;
};
test::TempDir* Reports::s_dir = nullptr;

// Non-white pixels of a PNG file; -1 when it cannot be read.
long InkedPixels(const std::string& path) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return -1;
    }
    const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s),
              stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    long inked = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* p = data + y * stride + 4 * x;
            if (p[0] < 200 || p[1] < 200 || p[2] < 200) ++inked;
        }
    cairo_surface_destroy(s);
    return inked;
}

// The mean and the sample standard deviation, as the report's summary should give them.
std::pair<double, double> MeanAndDeviation(const std::vector<double>& values) {
    double mean = 0, squares = 0;
    for (double v : values)
        mean += v / static_cast<double>(values.size());
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return {mean, std::sqrt(squares / static_cast<double>(values.size() - 1))};
}

TEST_F(Reports, PdfHoldsTitlesAndTheNumbersOfTheTextFile) {
    const Result r = Run("report 1 hall.pdf");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string info = Output("pdfinfo '" + File("hall.pdf") + "'");
    EXPECT_NE(info.find("A4"), std::string::npos) << info;
    const std::string text = Text("hall.pdf");
    for (const char* title :
         {"Stalls row 5 centre", "Stalls row 15 right", "Rear stalls", "Balcony"})
        EXPECT_NE(text.find(title), std::string::npos) << title;
    // Every number of the text file's band lines is in the report.
    for (const char* key : {"SPL-LR", "SPL-L", "A-value-R", "Tsub-LR", "IACC", "WIACC"})
        for (const std::vector<std::string>& numbers : Lines("hall.txt", key))
            for (const std::string& n : numbers)
                EXPECT_NE(text.find(n), std::string::npos) << key << " " << n;
    EXPECT_NE(text.find("Page 1 of"), std::string::npos);
    EXPECT_NE(text.find("[dB]"), std::string::npos);

    // The summary's mean and standard deviation of the broadband SPL.
    std::vector<double> spl;
    for (const std::vector<std::string>& numbers : Lines("hall.txt", "SPL-LR"))
        spl.push_back(std::stod(numbers.at(0)));
    ASSERT_EQ(spl.size(), 6u);
    const auto [mean, sd] = MeanAndDeviation(spl);
    char expected[128];
    std::snprintf(expected, sizeof expected, "%.2f", mean);
    const std::size_t row = text.find("SPL [dB]", text.find("Statistics per band"));
    ASSERT_NE(row, std::string::npos);
    const std::string line = text.substr(row, text.find('\n', row) - row);
    EXPECT_NE(line.find("All(F)"), std::string::npos) << line;
    EXPECT_NE(line.find(expected), std::string::npos) << line;
    std::snprintf(expected, sizeof expected, "%.2f", sd);
    EXPECT_NE(line.find(expected), std::string::npos) << line;
}

// The ISO 3382-1 set: each seat's T30 as the table CSV gives it, and the summary's mean and
// deviation across the seats of the mean of both ears.
TEST_F(Reports, PdfHoldsTheIsoSetOfEverySeat) {
    ASSERT_EQ(Run("report 1 iso.pdf").status, 0);
    ASSERT_EQ(Run("export 1 iso.csv --table").status, 0);
    const auto bytes = test::ReadFileBytes(File("iso.csv"));
    std::vector<std::vector<std::string>> rows;
    ASSERT_TRUE(test::ReadCsv(std::string(bytes.begin(), bytes.end()), &rows));
    ASSERT_FALSE(rows.empty());
    auto column = [&](const std::string& title) {
        return std::find(rows[0].begin(), rows[0].end(), title) - rows[0].begin();
    };
    const auto band = column("band"), left = column("left T30"), right = column("right T30");
    ASSERT_LT(static_cast<std::size_t>(right), rows[0].size());
    const std::string text = Text("iso.pdf");
    std::vector<double> seats;
    char shown[64];
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i][band] != "1000") continue;
        const double l = std::stod(rows[i][left]), r = std::stod(rows[i][right]);
        for (double v : {l, r}) {
            std::snprintf(shown, sizeof shown, "%.2f", v);
            EXPECT_NE(text.find(shown), std::string::npos) << shown;
        }
        seats.push_back((l + r) / 2);
    }
    ASSERT_EQ(seats.size(), 6u);
    const auto [mean, sd] = MeanAndDeviation(seats);
    std::size_t at = text.find("Statistics per band");
    std::string line;
    while ((at = text.find("T30 [s]", at + 1)) != std::string::npos) {
        line = text.substr(at, text.find('\n', at) - at);
        if (line.find(" 1k ") != std::string::npos) break;
    }
    ASSERT_NE(at, std::string::npos);
    for (double v : {mean, sd}) {
        std::snprintf(shown, sizeof shown, "%.2f", v);
        EXPECT_NE(line.find(shown), std::string::npos) << line << " lacks " << shown;
    }
    EXPECT_NE(text.find("500 Hz-1 kHz octaves (left / right): EDT"), std::string::npos);
}

TEST_F(Reports, ChosenMeasurementsPageSizeAndRefusals) {
    ASSERT_EQ(Run("report 1 two.pdf --measurements 2,5 --letter").status, 0);
    EXPECT_NE(Output("pdfinfo '" + File("two.pdf") + "'").find("612 x 792"), std::string::npos);
    const std::string text = Text("two.pdf");
    EXPECT_NE(text.find("Stalls row 5 left"), std::string::npos);
    EXPECT_EQ(text.find("Stalls row 5 centre"), std::string::npos);

    // Running sound and noise: the factors and the identified source.
    ASSERT_EQ(Run("report 3 noise.pdf").status, 0);
    EXPECT_NE(Text("noise.pdf").find("Identified source"), std::string::npos);
    ASSERT_EQ(Run("report 2 music.pdf").status, 0);
    EXPECT_NE(Text("music.pdf").find("Tau-e [ms]"), std::string::npos);

    EXPECT_EQ(Run("report 1 hall.pdf --measurements 1,999").status, 2);
    EXPECT_EQ(Run("report 1 hall.txt").status, 2);
    EXPECT_EQ(Run("report 99 x.pdf").status, 2);
    EXPECT_EQ(Run("report 1 x.pdf --measurements 1,x").status, 2);
    const Result unwritable = Run("report 1 no/such/folder/r.pdf");
    EXPECT_EQ(unwritable.status, 2);
    EXPECT_NE(unwritable.err.find("no/such/folder/r.pdf"), std::string::npos) << unwritable.err;
    // A refused report leaves the older file as it was.
    const auto before = test::ReadFileBytes(File("two.pdf"));
    EXPECT_EQ(Run("report 1 two.pdf --measurements 77").status, 2);
    EXPECT_EQ(test::ReadFileBytes(File("two.pdf")), before);
}

TEST_F(Reports, FolderWithoutResultsSaysSo) {
    test::TempDir work;
    std::vector<std::int16_t> samples(2 * 4800);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(i % 97 == 0 ? 20000 : 0);
    ASSERT_TRUE(cli::WriteWavFile(work.File("seat.wav"), 2, 48000, samples));
    ASSERT_EQ(Run("import --kind ir --title Empty seat.wav", work.Path()).status, 0);
    const Result r = Run("report 1 empty.pdf", work.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text =
        Output("pdftotext -layout '" + work.File("empty.pdf") + "' - 2>/dev/null");
    EXPECT_NE(text.find("No measurement of this folder has results."), std::string::npos) << text;
}

TEST_F(Reports, EveryPageKindPlotsToPngAndSvg) {
    struct Folder {
        int id;
        char kind;
    };
    for (const Folder f : {Folder{1, 'I'}, Folder{2, 'A'}, Folder{3, 'N'}})
        for (const std::string& page : GraphPageNames(f.kind)) {
            const std::string png = page + std::to_string(f.id) + ".png",
                              svg = page + std::to_string(f.id) + ".svg";
            const Result r = Run("plot " + std::to_string(f.id) + " 1 " + page + " " + png);
            ASSERT_EQ(r.status, 0) << page << r.err;
            EXPECT_GT(InkedPixels(File(png)), 2000) << png;
            ASSERT_EQ(
                Run("plot " + std::to_string(f.id) + " 1 " + page + " " + svg + " --size 640x300")
                    .status,
                0);
            const auto bytes = test::ReadFileBytes(File(svg));
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_NE(text.find("<svg"), std::string::npos);
            EXPECT_GT(std::count(text.begin(), text.end(), 'L'), 20) << svg;  // path segments
        }
    // A band and a frame change the picture.
    ASSERT_EQ(Run("plot 1 1 impulse-response band.png --band 1000").status, 0);
    ASSERT_EQ(Run("plot 1 1 impulse-response all.png").status, 0);
    EXPECT_NE(test::ReadFileBytes(File("band.png")), test::ReadFileBytes(File("all.png")));
    ASSERT_EQ(Run("plot 2 1 acf f3.pdf --frame 3").status, 0);
    EXPECT_NE(Output("pdfinfo '" + File("f3.pdf") + "'").find("Pages:"), std::string::npos);
}

TEST_F(Reports, PlotRefusesWithTheValidChoices) {
    const Result help = Run("--help");
    EXPECT_NE(help.out.find("  plot FOLDERID ID PAGE"), std::string::npos);
    EXPECT_NE(help.out.find("  report FOLDERID FILE.pdf"), std::string::npos);
    Result r = Run("plot 1 1 echo x.png");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("impulse-response"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cross-correlation"), std::string::npos) << r.err;
    r = Run("plot 1 1 spectrum x.png --band 999");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("All(F)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1000"), std::string::npos) << r.err;
    r = Run("plot 1 1 iso-3382 x.png --band 17");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("All, 16, 31.5"), std::string::npos) << r.err;
    // A band by its short name or its centre frequency.
    ASSERT_EQ(Run("plot 1 1 iso-3382 k1.png --band 1k").status, 0);
    ASSERT_EQ(Run("plot 1 1 iso-3382 k1000.png --band 1000").status, 0);
    EXPECT_EQ(test::ReadFileBytes(File("k1.png")), test::ReadFileBytes(File("k1000.png")));
    r = Run("plot 2 1 phi0 x.png --frame 100000");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("0 .. "), std::string::npos) << r.err;
    EXPECT_EQ(Run("plot 1 1 spectrum x.gif").status, 2);
    EXPECT_EQ(Run("plot 1 1 spectrum x.png --size 10x10").status, 2);
    EXPECT_EQ(Run("plot 1 99 spectrum x.png").status, 2);
    EXPECT_EQ(Run("plot 1 1 spectrum nowhere/x.png").status, 2);
    EXPECT_FALSE(std::filesystem::exists(File("x.png")));
}

TEST(Statistics, IgnoresMissingValuesAndUsesTheSampleDeviation) {
    const Statistics s = Describe({2, -1000, 4, NAN, 9});
    EXPECT_EQ(s.count, 3);
    EXPECT_DOUBLE_EQ(s.mean, 5);
    EXPECT_DOUBLE_EQ(s.sd, std::sqrt((9.0 + 1.0 + 16.0) / 2));
    EXPECT_EQ(s.min, 2);
    EXPECT_EQ(s.max, 9);
    EXPECT_EQ(Describe({-1000}).count, 0);
    EXPECT_EQ(Describe({7}).sd, 0);
    EXPECT_EQ(FormatValue(-1000), "----");
}

}  // namespace
}  // namespace vesk
