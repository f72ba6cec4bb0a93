#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "shell/template_fields.h"

namespace vesk {
namespace {

NoiseTemplate Sample() {
    NoiseTemplate t;
    t.id = 7;
    t.name = "Truck";
    t.data.standard = {61.234f, 0.02f, 0.0051f, 0.7f};
    t.data.upper = {1234.5f, 0.025f, 0.00001f, 0.9f};
    t.data.lower = {-3.5f, 0.0f, 0.004f, 0.5f};
    t.data.useUpper = {1, 1, 0, 0};
    t.data.useLower = {0, 0, 1, 1};
    t.data.count = 5;
    t.data.sumSquares = {1, 2, 3, 4};
    return t;
}

TEST(TemplateFields, ShownInEditorUnitsAndTakenBack) {
    const TemplateFields f = FieldsOfTemplate(Sample());
    EXPECT_EQ(f.name, "Truck");
    EXPECT_EQ(f.standard[kPhi0], "61.2");
    EXPECT_EQ(f.standard[kTauE], "20");  // seconds shown in milliseconds
    EXPECT_EQ(f.standard[kTau1], "5.1");
    EXPECT_EQ(f.standard[kPhi1], "0.7");
    EXPECT_EQ(f.upper[kPhi0], "1.23e+03");
    EXPECT_EQ(f.upper[kTau1], "0.01");
    EXPECT_EQ(f.lower[kPhi0], "-3.5");
    EXPECT_EQ(f.lower[kTauE], "0");
    EXPECT_TRUE(f.useUpper[kTauE]);
    EXPECT_FALSE(f.useUpper[kPhi1]);
    EXPECT_TRUE(f.useLower[kPhi1]);
    EXPECT_EQ(FormatEditorNumber(1e-5), "1e-05");

    // Back: the texts as shown, milliseconds to seconds in float; no statistics.
    NoiseTemplateData d;
    std::string problem;
    ASSERT_TRUE(TemplateDataOfFields(f, &d, &problem)) << problem;
    EXPECT_EQ(d.standard[kPhi0], 61.2f);
    EXPECT_EQ(d.standard[kTauE], static_cast<float>(20 * 0.001));
    EXPECT_EQ(d.standard[kTau1], static_cast<float>(5.1 * 0.001));
    EXPECT_EQ(d.upper[kPhi0], 1230.0f);
    EXPECT_EQ(d.useUpper, (std::array<std::int32_t, 4>{1, 1, 0, 0}));
    EXPECT_EQ(d.useLower, (std::array<std::int32_t, 4>{0, 0, 1, 1}));
    EXPECT_EQ(d.count, 0);
    EXPECT_EQ(d.sumSquares, (std::array<float, 4>{}));

    // The program's locale does not reach the numbers.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(FormatEditorNumber(0.5), "0.5");
        double v = 0;
        EXPECT_TRUE(ParseEditorNumber("0.5", &v));
        EXPECT_EQ(v, 0.5);
        std::setlocale(LC_NUMERIC, "C");
    }
}

TEST(TemplateFields, RefusesWhatIsNotAName) {
    TemplateFields f = FieldsOfTemplate(Sample());
    NoiseTemplateData d;
    d.count = 99;
    std::string problem;
    for (const char* name : {"", "   "}) {
        f.name = name;
        f.standard[kTauE] = "soon";  // the name is refused first
        EXPECT_FALSE(TemplateDataOfFields(f, &d, &problem)) << '"' << name << '"';
        EXPECT_EQ(problem, "Please input a name for this noise source.");
    }
    EXPECT_EQ(d.count, 99);  // untouched on failure
    f.name = " Truck";
    f.standard[kTauE] = "20";
    EXPECT_TRUE(TemplateDataOfFields(f, &d, &problem)) << problem;
}

TEST(TemplateFields, NumbersAndBlankLimits) {
    double v = 0;
    for (const char* good : {"5", " +5 ", "-0.5", "1e3", "\t.5"})
        EXPECT_TRUE(ParseEditorNumber(good, &v)) << good;
    EXPECT_TRUE(ParseEditorNumber(" +2.5e1", &v));
    EXPECT_EQ(v, 25.0);
    for (const char* bad :
         {"", " ", "12abc", "1,5", "nan", "inf", "-inf", "1e39", "+-5", "+", "0x10", "5 5"})
        EXPECT_FALSE(ParseEditorNumber(bad, &v)) << bad;

    TemplateFields f;
    f.name = "Hand";
    f.standard = {"60", "20", "5", "0.5"};
    NoiseTemplateData d;
    std::string problem;
    // Limits not in use may stay blank (0); a limit in use and a standard value may not.
    ASSERT_TRUE(TemplateDataOfFields(f, &d, &problem)) << problem;
    EXPECT_EQ(d.upper, (std::array<float, 4>{}));
    f.useUpper[kPhi1] = true;
    EXPECT_FALSE(TemplateDataOfFields(f, &d, &problem));
    EXPECT_EQ(problem, "Please input a number for Phi1 Upper Limit.");
    f.upper[kPhi1] = "0.9";
    f.standard[kTau1] = "";
    EXPECT_FALSE(TemplateDataOfFields(f, &d, &problem));
    EXPECT_EQ(problem, "Please input a number for Tau-1 Standard Value.");
    // A limit not in use still has to be a number when something is typed in it.
    f.standard[kTau1] = "5";
    f.lower[kTauE] = "x";
    EXPECT_FALSE(TemplateDataOfFields(f, &d, &problem));
    EXPECT_EQ(problem, "Please input a number for Tau-e Lower Limit.");
    f.lower[kTauE] = "";
    ASSERT_TRUE(TemplateDataOfFields(f, &d, &problem)) << problem;
    EXPECT_EQ(d.upper[kPhi1], 0.9f);
}

TEST(TemplateFields, WeightsInFileOrder) {
    FactorWeights w;
    w.w = {0.25f, 0.5f, 0.125f, 1.0f};
    const std::array<std::string, 4> texts = WeightTexts(w);
    EXPECT_EQ(texts, (std::array<std::string, 4>{"0.25", "0.5", "0.125", "1"}));
    FactorWeights back;
    std::string problem;
    ASSERT_TRUE(WeightsOfTexts({"0", "1", "0.333", "2"}, &back, &problem));
    EXPECT_EQ(back.w, (std::array<float, 4>{0, 1, 0.333f, 2}));
    EXPECT_FALSE(WeightsOfTexts({"0", "1", "", "2"}, &back, &problem));
    EXPECT_EQ(problem, "Please input a number for the Tau-1 weighting.");  // w2 is tau1
    EXPECT_EQ(back.w[3], 2.0f);
}

TEST(TemplateFields, ListOrderAndFileNames) {
    const std::vector<NoiseTemplate> templates{
        {0, "car", {}}, {1, "Bus", {}}, {2, "ambulance", {}},        {3, "Car", {}},
        {4, "bus", {}}, {5, "Bus", {}}, {6, "\xc3\xa9t\xc3\xa9", {}}};
    const std::vector<TemplateListItem> items = TemplateListItems(templates);
    std::vector<std::int32_t> ids;
    for (const TemplateListItem& item : items)
        ids.push_back(item.id);
    // Letters without case, then capitals first, then by ID; other bytes after the letters.
    EXPECT_EQ(ids, (std::vector<std::int32_t>{2, 1, 5, 4, 3, 0, 6}));
    EXPECT_EQ(RowOfTemplate(items, 4), 3);
    EXPECT_EQ(RowOfTemplate(items, 9), -1);
    EXPECT_TRUE(TemplateListItems({}).empty());

    EXPECT_EQ(WithTemplateExtension("/tmp/lib"), "/tmp/lib.nst");
    EXPECT_EQ(WithTemplateExtension("/tmp/lib.nst"), "/tmp/lib.nst");
    EXPECT_EQ(WithTemplateExtension("/tmp/lib.NST"), "/tmp/lib.NST");
    EXPECT_EQ(WithTemplateExtension("/tmp/v1.2/lib"), "/tmp/v1.2/lib.nst");
}

}  // namespace
}  // namespace vesk
