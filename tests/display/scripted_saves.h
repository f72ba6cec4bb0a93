// Scripted answers to "Save calculation output?", recording each question and its owner.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "display/result_dialogs.h"

namespace vesk::test {

class ScriptedSaves {
  public:
    ScriptedSaves() {
        SetSaveQuestion([this](wxWindow* owner, const std::string& text) {
            asked.push_back(text);
            owners.push_back(owner);
            if (answers.empty()) return SaveAnswer::Discard;
            const SaveAnswer a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    ~ScriptedSaves() { SetSaveQuestion({}); }
    std::vector<std::string> asked;
    std::vector<wxWindow*> owners;
    std::deque<SaveAnswer> answers;
};

}  // namespace vesk::test
