#include "store/messages.h"

#include <atomic>
#include <cstdio>

#include "resources/strings.h"

namespace vesk {

namespace {
std::atomic<unsigned> g_storeErrors{0};
}  // namespace

void ReportStoreError(int id, DbStatus status) {
    ReportStoreError(std::string(), id, status);
}

void ReportStoreError(const std::string& subject, int id, DbStatus status) {
    char text[512];
    std::snprintf(text, sizeof text, "%s (Error=%d)", LoadString(id), static_cast<int>(status));
    ++g_storeErrors;
    Messages().ShowMessage(subject.empty() ? std::string(text) : subject + ": " + text);
}

unsigned StoreErrorCount() {
    return g_storeErrors.load();
}

void ShowStoreMessage(int id) {
    Messages().ShowMessage(LoadString(id));
}

bool AskStoreQuestion(int id) {
    return Messages().AskOkCancel(LoadString(id));
}

}  // namespace vesk
