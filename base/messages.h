// How core code shows a message or asks a question. The desktop program installs dialogs,
// the command line prints to stderr and answers from its options, tests script the answers.
#pragma once

#include <string>

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

}  // namespace vesk
