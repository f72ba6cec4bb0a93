// A table's columns and rows as the result lists, the reports and the files show them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

struct ResultColumn {
    std::string title;
    int width;  // pixels at the templates' font
};

struct ResultRow {
    std::int32_t key = 0;        // band entry or frame index
    std::vector<double> values;  // one per column (the first column's value sorts it)
    std::vector<std::string> texts;
};

}  // namespace vesk
