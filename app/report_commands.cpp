#include "app/report_commands.h"

#include <wx/busyinfo.h>
#include <wx/filedlg.h>

#include <wx/print.h>
#include <wx/printdlg.h>

#include <filesystem>
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

}  // namespace

void PrintFolderSummary(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements, bool preview) {
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
        report->Layout(1);
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

void PrintSetup(wxWindow* parent) {
    wxPageSetupDialogData data(PrintData());
    wxPageSetupDialog dialog(parent, &data);
    if (dialog.ShowModal() == wxID_OK) PrintData() = dialog.GetPageSetupDialogData().GetPrintData();
}

bool ExportFolderReport(wxWindow* parent, std::int32_t folderId,
                        const std::vector<std::int32_t>& measurements) {
    if (folderId < 0) return false;
    wxFileDialog dialog(parent, "Export Report", "", "report.pdf", "PDF File (*.pdf)|*.pdf",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return false;
    std::string path = dialog.GetPath().utf8_string();
    if (std::filesystem::path(path).extension().empty()) path += ".pdf";
    Report report;
    std::string message;
    bool storeFailed = false;
    bool ok;
    {
        wxBusyCursor wait;
        ok = report.Load(folderId, measurements, &message, &storeFailed);
        if (ok) {
            report.Layout();
            ok = report.WritePdf(path, &message);
        }
    }
    if (!ok)
        wxMessageBox(wxString::FromUTF8(message), "Export Report", wxOK | wxICON_ERROR, parent);
    return ok;
}

}  // namespace vesk
