// The store's own messages and questions, shown through the message interface of base/.
#pragma once

#include <string>

#include "base/messages.h"
#include "store/db_engine.h"

namespace vesk {

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
