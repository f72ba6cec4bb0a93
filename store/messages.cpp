#include "store/messages.h"

#include <atomic>
#include <cstdio>

#include "resources/strings.h"

namespace vesk {

namespace {
class Silent : public MessageSink {
  public:
    void ShowMessage(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return false; }
};
MessageSink* g_sink = nullptr;
std::atomic<unsigned> g_storeErrors{0};
}  // namespace

MessageSink& SilentMessages() {
    static Silent silent;
    return silent;
}

MessageSink& Messages() {
    return g_sink ? *g_sink : SilentMessages();
}

void SetMessages(MessageSink* sink) {
    g_sink = sink;
}

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
