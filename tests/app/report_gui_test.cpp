// Print Preview of a folder's summary under Xvfb.
#include <gtest/gtest.h>
#include <wx/print.h>
#include <wx/wx.h>

#include "app/report_commands.h"
#include "app/statistics_dialog.h"
#include "cli/commands.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

TEST(PrintPreview, ShowsTheSummaryPages) {
    test::TempDir dir;
    ASSERT_EQ(cli::CmdDemo({dir.File("demo")}), 0);
    ASSERT_TRUE(ConnectStoreAt(dir.File("demo/DATA")));
    auto* parent = new wxFrame(nullptr, wxID_ANY, "parent");
    parent->Show();
    PrintFolderSummary(parent, 1, {}, true);
    wxYield();
    wxPreviewFrame* preview = nullptr;
    for (wxWindow* w : wxTopLevelWindows)
        if (auto* f = dynamic_cast<wxPreviewFrame*>(w)) preview = f;
    ASSERT_NE(preview, nullptr);
    wxPrintPreviewBase* view = preview->GetControlBar()->GetPrintPreview();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->IsOk());
    EXPECT_GE(view->GetMaxPage(), 1);
    EXPECT_TRUE(view->GetPrintout()->HasPage(1));
    preview->Destroy();
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
