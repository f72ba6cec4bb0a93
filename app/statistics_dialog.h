// View -> "Folder Statistics": mean and standard deviation per band of each parameter across
// the chosen measurements, as a table and as a graph with the single measurements behind.
#pragma once

#include <wx/listctrl.h>
#include <wx/wx.h>

#include <cstdint>
#include <vector>

#include "display/graph_window.h"
#include "plot/report.h"

namespace vesk {

class CStatisticsDlg : public wxDialog {
  public:
    // The measurements of the folder (all when `measurements` is empty).
    CStatisticsDlg(wxWindow* parent, std::int32_t folderId,
                   const std::vector<std::int32_t>& measurements);
    bool Loaded() const { return m_loaded; }
    CBandGraph* Graph() const { return m_graph; }
    wxListCtrl* Table() const { return m_table; }
    // Shows parameter `index` of the choice.
    void ShowParameter(int index);

  private:
    std::vector<BandStatistics> m_stats;
    std::vector<std::string> m_parameters;
    wxChoice* m_choice = nullptr;
    wxListCtrl* m_table = nullptr;
    CBandGraph* m_graph = nullptr;
    bool m_loaded = false;
};

}  // namespace vesk
