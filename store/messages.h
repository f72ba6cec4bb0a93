// How core code shows a message or asks a question. The desktop program installs dialogs,
// the command line prints to stderr and answers from its options, tests script the answers.
#pragma once

#include <string>

#include "store/db_engine.h"

namespace vesk {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // A message with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A question with OK and Cancel; true for OK.
    virtual bool AskOkCancel(const std::string& text) = 0;
};

// Answers every question with Cancel and drops messages; used until a program installs its own.
MessageSink& SilentMessages();

// The sink in use; never null.
MessageSink& Messages();
void SetMessages(MessageSink* sink);  // nullptr restores the silent sink

// Shows string `id` formatted as "%s (Error=%d)" with the status.
void ReportStoreError(int id, DbStatus status);
// The same, naming what could not be read or written: "<subject>: %s (Error=%d)".
void ReportStoreError(const std::string& subject, int id, DbStatus status);
// How many store errors the process has reported, so that a caller can tell whether any
// operation under it failed (an offset, a result) without every layer passing a status up.
unsigned StoreErrorCount();
// Shows string `id` as it stands.
void ShowStoreMessage(int id);
bool AskStoreQuestion(int id);

}  // namespace vesk
