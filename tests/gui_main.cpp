// The main of the desktop tests: a wxWidgets application without a main loop, on the display
// xvfb-run gives.
#include <gtest/gtest.h>
#include <wx/wx.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();  // listing needs no display
    // A failed wxWidgets check fails the test instead of opening a modal box.
    wxSetAssertHandler([](const wxString& file, int line, const wxString&, const wxString& cond,
                          const wxString& message) {
        std::fprintf(stderr, "%s:%d: wxWidgets check failed: %s %s\n", file.utf8_str().data(), line,
                     cond.utf8_str().data(), message.utf8_str().data());
        std::abort();
    });
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv)) return 2;  // no display
    wxTheApp->CallOnInit();
    const int result = RUN_ALL_TESTS();
    wxEntryCleanup();
    return result;
}
