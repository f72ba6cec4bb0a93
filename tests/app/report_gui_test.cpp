// Print Preview of a folder's summary and of one result dialog's record, and the statistics
// view, under Xvfb.
#include <gtest/gtest.h>
#include <wx/print.h>
#include <wx/wx.h>

#include "app/report_commands.h"
#include "app/statistics_dialog.h"
#include "cli/commands.h"
#include "display/result_dialogs.h"
#include "plot/report.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// The preview frame that is open, or nullptr.
wxPreviewFrame* OpenPreview() {
    wxYield();
    wxPreviewFrame* preview = nullptr;
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* f = dynamic_cast<wxPreviewFrame*>(w)) preview = f;
    return preview;
}

TEST(PrintPreview, ShowsTheSummaryPages) {
    test::TempDir dir;
    ASSERT_EQ(cli::CmdDemo({dir.File("demo")}), 0);
    ASSERT_TRUE(ConnectStoreAt(dir.File("demo/DATA")));
    auto* parent = new wxFrame(nullptr, wxID_ANY, "parent");
    parent->Show();
    PrintFolderSummary(parent, 1, {}, true);
    wxPreviewFrame* preview = OpenPreview();
    ASSERT_NE(preview, nullptr);
    wxPrintPreviewBase* view = preview->GetControlBar()->GetPrintPreview();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->IsOk());
    EXPECT_GE(view->GetMaxPage(), 1);
    EXPECT_TRUE(view->GetPrintout()->HasPage(1));
    preview->Destroy();
    wxYield();

    // A result dialog in front previews its own record: the measurement's pages alone, not the
    // folder's summary.
    CResultDialog* d = CResultDialog::Open('I', 1, 3, nullptr);
    ASSERT_NE(d, nullptr);
    wxCommandEvent key(wxEVT_MENU, wxID_PREVIEW);
    d->GetEventHandler()->ProcessEvent(key);
    preview = OpenPreview();
    ASSERT_NE(preview, nullptr);
    view = preview->GetControlBar()->GetPrintPreview();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->IsOk());
    Report record;
    std::string message;
    bool storeFailed = false;
    ASSERT_TRUE(record.Load(1, {3}, &message, &storeFailed)) << message;
    record.Layout(0, 0);
    EXPECT_EQ(view->GetMaxPage(), record.PageCount());
    EXPECT_GE(view->GetMaxPage(), 1);
    preview->Destroy();
    CResultDialog::DestroyAll();
    parent->Destroy();
    wxYield();
}

TEST(FolderStatistics, TableAndGraphOfTheChosenSeats) {
    test::TempDir dir;
    ASSERT_EQ(cli::CmdDemo({dir.File("demo")}), 0);
    ASSERT_TRUE(ConnectStoreAt(dir.File("demo/DATA")));
    auto* parent = new wxFrame(nullptr, wxID_ANY, "parent");
    {
        CStatisticsDlg dialog(parent, 1, {1, 2, 3});
        ASSERT_TRUE(dialog.Loaded());
        // Every band of the hall with three seats, and the graph shows the mean and the seats.
        ASSERT_GE(dialog.Table()->GetItemCount(), 10);
        EXPECT_EQ(dialog.Table()->GetItemText(0, 1), "3");
        const auto& plot = static_cast<const BandGraph&>(dialog.Graph()->Model()).data;
        EXPECT_EQ(plot.background.size(), 3u);
        EXPECT_EQ(plot.series.size(), 3u);
        EXPECT_EQ(plot.labels.size(), static_cast<std::size_t>(dialog.Table()->GetItemCount()));
    }
    parent->Destroy();
    wxYield();
}

}  // namespace
}  // namespace vesk
