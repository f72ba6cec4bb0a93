// What a user does to the controls of a real window, as the tests under Xvfb need it.
#pragma once

#include <gtest/gtest.h>
#include <wx/wx.h>

namespace vesk::test {

// A click on the button `id` in `window` (any top-level window when null).
inline void Press(wxWindow* window, int id) {
    wxWindow* button = wxWindow::FindWindowById(id, window);
    ASSERT_NE(button, nullptr) << id;
    wxCommandEvent e(wxEVT_BUTTON, id);
    e.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(e);
}

}  // namespace vesk::test
