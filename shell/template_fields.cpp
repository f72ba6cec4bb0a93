#include "shell/template_fields.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

#include "resources/strings.h"

namespace vesk {

namespace {

constexpr Factor kFactors[4] = {kPhi0, kTauE, kTau1, kPhi1};

bool IsTime(Factor f) {
    return f == kTauE || f == kTau1;
}

std::string NeedsNumber(const std::string& field) {
    return "Please input a number for " + field + ".";
}

// A blank text is 0 where `blankIsZero`; otherwise the text must be a number.
bool TakeValue(const std::string& text, Factor f, bool blankIsZero, float* out) {
    if (blankIsZero && text.find_first_not_of(" \t") == std::string::npos) {
        *out = 0.0f;
        return true;
    }
    double v = 0;
    if (!ParseEditorNumber(text, &v)) return false;
    *out = StoredValue(f, v);
    return std::isfinite(*out);
}

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

double EditorValue(Factor factor, float stored) {
    return IsTime(factor) ? stored * 1000.0 : stored;
}

float StoredValue(Factor factor, double shown) {
    return static_cast<float>(IsTime(factor) ? shown * 0.001 : shown);
}

std::string FormatEditorNumber(double value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 3);
    return std::string(text, r.ptr);
}

bool ParseEditorNumber(const std::string& text, double* value) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const std::size_t last = text.find_last_not_of(" \t");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
    double v = 0;
    const auto r = std::from_chars(begin, end, v);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v) ||
        std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    *value = v;
    return true;
}

const char* FactorCaption(Factor factor) {
    static const char* const kCaptions[4] = {"Phi(0)", "Tau-e", "Tau-1", "Phi1"};
    return kCaptions[factor];
}

const char* FactorUnit(Factor factor) {
    return factor == kPhi0 ? "dB" : IsTime(factor) ? "ms" : "";
}

TemplateFields FieldsOfTemplate(const NoiseTemplate& t) {
    TemplateFields fields;
    fields.name = t.name;
    for (Factor f : kFactors) {
        fields.standard[f] = FormatEditorNumber(EditorValue(f, t.data.standard[f]));
        fields.upper[f] = FormatEditorNumber(EditorValue(f, t.data.upper[f]));
        fields.lower[f] = FormatEditorNumber(EditorValue(f, t.data.lower[f]));
        fields.useUpper[f] = t.data.useUpper[f] != 0;
        fields.useLower[f] = t.data.useLower[f] != 0;
    }
    return fields;
}

bool TemplateDataOfFields(const TemplateFields& fields, NoiseTemplateData* data,
                          std::string* problem) {
    if (fields.name.find_first_not_of(' ') == std::string::npos) {
        *problem = LoadString(str::kNoTemplateName);
        return false;
    }
    NoiseTemplateData d;
    for (Factor f : kFactors) {
        const std::string caption = FactorCaption(f);
        d.useUpper[f] = fields.useUpper[f] ? 1 : 0;
        d.useLower[f] = fields.useLower[f] ? 1 : 0;
        if (!TakeValue(fields.standard[f], f, false, &d.standard[f])) {
            *problem = NeedsNumber(caption + " Standard Value");
            return false;
        }
        if (!TakeValue(fields.upper[f], f, !fields.useUpper[f], &d.upper[f])) {
            *problem = NeedsNumber(caption + " Upper Limit");
            return false;
        }
        if (!TakeValue(fields.lower[f], f, !fields.useLower[f], &d.lower[f])) {
            *problem = NeedsNumber(caption + " Lower Limit");
            return false;
        }
    }
    *data = d;
    return true;
}

std::array<std::string, 4> WeightTexts(const FactorWeights& weights) {
    std::array<std::string, 4> texts;
    for (std::size_t k = 0; k < 4; ++k)
        texts[k] = FormatEditorNumber(weights.w[k]);
    return texts;
}

bool WeightsOfTexts(const std::array<std::string, 4>& texts, FactorWeights* weights,
                    std::string* problem) {
    FactorWeights w;
    for (std::size_t k = 0; k < 4; ++k) {
        double v = 0;
        if (!ParseEditorNumber(texts[k], &v)) {
            *problem = NeedsNumber(std::string("the ") + FactorCaption(kFactors[k]) + " weighting");
            return false;
        }
        w.w[k] = static_cast<float>(v);
    }
    *weights = w;
    return true;
}

std::vector<TemplateListItem> TemplateListItems(const std::vector<NoiseTemplate>& templates) {
    std::vector<TemplateListItem> items;
    items.reserve(templates.size());
    for (const NoiseTemplate& t : templates)
        items.push_back({t.id, t.name});
    auto folded = [](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) {
                                                return static_cast<unsigned char>(FoldCase(x)) <
                                                       static_cast<unsigned char>(FoldCase(y));
                                            });
    };
    // std::string compares byte by byte as unsigned characters.
    std::sort(items.begin(), items.end(),
              [&](const TemplateListItem& a, const TemplateListItem& b) {
                  if (folded(a.name, b.name)) return true;
                  if (folded(b.name, a.name)) return false;
                  return a.name != b.name ? a.name < b.name : a.id < b.id;
              });
    return items;
}

int RowOfTemplate(const std::vector<TemplateListItem>& items, std::int32_t id) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].id == id) return static_cast<int>(i);
    return -1;
}

std::string WithTemplateExtension(const std::string& path) {
    return std::filesystem::path(path).extension().empty() ? path + ".nst" : path;
}

}  // namespace vesk
