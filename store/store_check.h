// The store's self-check: every table verified, then the records checked against each other
// (measurements without their folder, results without their measurement, results whose parts
// disagree); on request, after a question, what is found is removed.
#pragma once

#include <functional>
#include <string>

namespace vesk {

enum class StoreCheck {
    Clean,
    Problems,   // found, and left as they are (no repair asked, or nothing removable)
    Damaged,    // a table or a record cannot be read
    NotOpened,  // a table cannot be opened (the store's message was shown)
    Declined,   // the repair's question was answered No
    Repaired,
    RepairFailed,  // some of what was found could not be removed
};

// `print` gets the report as it goes, in whole lines.
StoreCheck CheckStore(bool repair, const std::function<void(const std::string&)>& print);

}  // namespace vesk
