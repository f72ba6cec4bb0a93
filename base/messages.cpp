#include "base/messages.h"

namespace vesk {

namespace {
class Silent : public MessageSink {
  public:
    void ShowMessage(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return false; }
};
MessageSink* g_sink = nullptr;
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

}  // namespace vesk
