// The "Noise Source Template" editor without a window: the texts its fields show for a template
// and the weights, what its fields make of a template, the order of its list, and the file
// names its file choosers give.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "noise/templates.h"

namespace vesk {

// Editor units: tau-e and tau1 in milliseconds, the others as stored.
double EditorValue(Factor factor, float stored);
float StoredValue(Factor factor, double shown);
// "%.3g", in the C locale whatever the program's locale is.
std::string FormatEditorNumber(double value);
// A field's number: blanks around it allowed, a leading "+" allowed; false for anything else,
// for a value that is not finite, and for one that a float cannot hold.
bool ParseEditorNumber(const std::string& text, double* value);

// The texts of the editor's fields; the arrays are indexed by Factor.
struct TemplateFields {
    std::string name;
    std::array<std::string, 4> standard, upper, lower;
    std::array<bool, 4> useUpper{}, useLower{};
};

// The caption of a factor's group and of its fields ("Tau-e Upper Limit").
const char* FactorCaption(Factor factor);
const char* FactorUnit(Factor factor);  // "dB", "ms" or ""

TemplateFields FieldsOfTemplate(const NoiseTemplate& t);

// The template the fields describe: the twelve values and the eight flags; no statistics.
// The name must not be blank; a limit that is not in use may be (it counts as 0), every other
// field needs a number. On failure `problem` holds the message, the name's first.
bool TemplateDataOfFields(const TemplateFields& fields, NoiseTemplateData* data,
                          std::string* problem);

// The weights' texts and back, indexed as FactorWeights (w0 Phi(0), w1 tau-e, w2 tau1, w3 phi1).
std::array<std::string, 4> WeightTexts(const FactorWeights& weights);
bool WeightsOfTexts(const std::array<std::string, 4>& texts, FactorWeights* weights,
                    std::string* problem);

// The editor's and the Export dialog's list: names sorted alphabetically (letters compared
// without case, then byte by byte), equal names by ID.
struct TemplateListItem {
    std::int32_t id = 0;
    std::string name;
};
std::vector<TemplateListItem> TemplateListItems(const std::vector<NoiseTemplate>& templates);
// The row of that ID, or -1.
int RowOfTemplate(const std::vector<TemplateListItem>& items, std::int32_t id);

// The chosen file with ".nst" added when its name has no extension.
std::string WithTemplateExtension(const std::string& path);

}  // namespace vesk
