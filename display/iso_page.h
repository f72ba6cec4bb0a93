// The "ISO 3382" page of "Acoustic Parameters": every ISO 3382-1 value per band and ear with its
// flags, the single numbers, and the decay of the chosen row with its fitted lines.
#pragma once

#include <wx/listctrl.h>
#include <wx/wx.h>

#include "display/graph_window.h"
#include "display/impulse_pages.h"
#include "plot/iso_view.h"

namespace vesk {

// The backward-integrated decay from the onset with the EDT, T20 and T30 lines.
class CIsoDecayGraph : public CGraphWnd {
  public:
    explicit CIsoDecayGraph(wxWindow* parent);
    void SetData(FittedDecayGraph curve, const wxString& title);
    const Graph& Model() const override { return m_graph; }

  private:
    FittedDecayGraph m_graph;
};

class CIsoPage : public CResultPage {
  public:
    CIsoPage(wxWindow* parent, ImpulseView* view);
    void Reset() override;
    wxListCtrl* List() const { return m_list; }
    CIsoDecayGraph* Graph() const { return m_graph; }
    // Chooses a row (band and ear) as a click would.
    void SelectRow(long row);

  protected:
    void Rebuild() override;

  private:
    void ShowReason();
    ImpulseView* m_view;
    wxListCtrl* m_list;
    wxStaticText *m_single, *m_reason;
    CIsoDecayGraph* m_graph;
    std::vector<ResultRow> m_rows;
    long m_selected = 0;
};

}  // namespace vesk
