// The report of a folder: a summary page (folder, conditions, measurements, statistics per band
// across them), then each measurement's parameter table and main graphs. Laid out once into
// pages that any painter can draw: the PDF file and the printer show the same pages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plot/painter.h"
#include "plot/result_graphs.h"

namespace vesk {

// Mean, standard deviation (n - 1; 0 for one value), minimum and maximum of the values that are
// not -1000; count 0 when there are none.
struct Statistics {
    int count = 0;
    double mean = 0, sd = 0, min = 0, max = 0;
};
Statistics Describe(const std::vector<double>& values);

// One parameter's values per band across measurements: the rows of the statistics table.
struct BandStatistics {
    std::string parameter;  // with its unit: "SPL [dB]"
    std::string band;
    std::vector<double> values;  // one per measurement
    Statistics stats;
};
// For impulse responses per band and parameter in band order, then the single-number values;
// for running sound and noise per factor over the mean of each recording's frames.
std::vector<BandStatistics> FolderStatistics(const std::vector<LoadedMeasurement>& measurements);

// "%.2f", or "----" for no value, as the output files write numbers.
std::string FormatValue(double v);

struct ReportItem;

class Report {
  public:
    Report();
    ~Report();
    // Page size in points (1/72 inch).
    void SetPageSize(double width, double height);
    // Reads the folder and the measurements (all when `ids` is empty); false with a message
    // when the folder, a measurement or the store cannot be read. `storeFailed` tells which.
    bool Load(std::int32_t folderId, const std::vector<std::int32_t>& ids, std::string* message,
              bool* storeFailed);
    // Lays out the summary alone, or one measurement alone (its position in the loaded list),
    // or everything (-1, the default).
    void Layout(int summaryOnly = 0, int measurement = -1);
    int PageCount() const { return static_cast<int>(m_pages.size()); }
    // Draws page `page` (0-based) in points.
    void DrawPage(Painter& painter, int page) const;
    // Writes the laid-out pages as a PDF file beside the target, renamed into place.
    bool WritePdf(const std::string& path, std::string* message) const;
    const std::vector<LoadedMeasurement>& Measurements() const { return m_measurements; }
    std::string date;  // printed on every page; today by default

  private:
    struct Page;
    void Add(std::unique_ptr<ReportItem> item);
    double m_width = 595.28, m_height = 841.89;
    FolderRecord m_folder;
    std::vector<LoadedMeasurement> m_measurements;
    std::vector<std::unique_ptr<ReportItem>> m_items;
    std::vector<std::vector<const ReportItem*>> m_pages;
};

// The sizes in points.
constexpr double kA4Width = 595.28, kA4Height = 841.89, kLetterWidth = 612, kLetterHeight = 792;

}  // namespace vesk
