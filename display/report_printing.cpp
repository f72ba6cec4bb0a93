#include "display/report_printing.h"

#include <wx/print.h>
#include <wx/printdlg.h>

#include <memory>

#include "display/wx_painter.h"
#include "plot/report.h"

namespace vesk {

namespace {

wxPrintData& PrintData() {
    static wxPrintData data;
    return data;
}

// The report's pages in points, fitted to the paper.
class CReportPrintout : public wxPrintout {
  public:
    explicit CReportPrintout(std::shared_ptr<Report> report)
        : wxPrintout("Vesk report"), m_report(std::move(report)) {}
    bool OnPrintPage(int page) override {
        wxDC* dc = GetDC();
        if (!dc || !HasPage(page)) return false;
        FitThisSizeToPaper(wxSize(static_cast<int>(kA4Width), static_cast<int>(kA4Height)));
        WxPainter painter(*dc);
        m_report->DrawPage(painter, page - 1);
        return true;
    }
    bool HasPage(int page) override { return page >= 1 && page <= m_report->PageCount(); }
    void GetPageInfo(int* minPage, int* maxPage, int* from, int* to) override {
        *minPage = *from = 1;
        *maxPage = *to = m_report->PageCount();
    }

  private:
    std::shared_ptr<Report> m_report;
};

// Loads the report and lays out the summary (`record` < 0) or the one measurement alone, then
// prints it or shows its preview.
void PrintReport(wxWindow* parent, std::int32_t folderId,
                 const std::vector<std::int32_t>& measurements, int record, bool preview) {
    if (folderId < 0) return;
    auto report = std::make_shared<Report>();
    std::string message;
    bool storeFailed = false;
    {
        wxBusyCursor wait;
        if (!report->Load(folderId, measurements, &message, &storeFailed)) {
            wxMessageBox(wxString::FromUTF8(message), "Print", wxOK | wxICON_ERROR, parent);
            return;
        }
        if (record < 0)
            report->Layout(1);
        else
            report->Layout(0, record);
    }
    wxPrintDialogData data(PrintData());
    if (!preview) {
        wxPrinter printer(&data);
        CReportPrintout printout(report);
        if (printer.Print(parent, &printout, true))
            PrintData() = printer.GetPrintDialogData().GetPrintData();
        return;
    }
    auto* view =
        new wxPrintPreview(new CReportPrintout(report), new CReportPrintout(report), &data);
    if (!view->IsOk()) {
        delete view;
        wxMessageBox("The preview could not be made.", "Print Preview", wxOK | wxICON_ERROR,
                     parent);
        return;
    }
    auto* frame = new wxPreviewFrame(view, parent, "Print Preview", wxDefaultPosition,
                                     parent->FromDIP(wxSize(700, 860)));
    frame->Initialize();
    frame->Show();
}

}  // namespace

void PrintFolderSummary(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements, bool preview) {
    PrintReport(parent, folderId, measurements, -1, preview);
}

void PrintRecord(wxWindow* parent, std::int32_t folderId, std::int32_t recordId, bool preview) {
    PrintReport(parent, folderId, {recordId}, 0, preview);
}

void PrintSetup(wxWindow* parent) {
    wxPageSetupDialogData data(PrintData());
    wxPageSetupDialog dialog(parent, &data);
    if (dialog.ShowModal() == wxID_OK) PrintData() = dialog.GetPageSetupDialogData().GetPrintData();
}

}  // namespace vesk
