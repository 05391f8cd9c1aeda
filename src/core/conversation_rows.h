// The list rows of the record categories: one row per conversation for the two chat
// categories, and the orders in which the scan page lists every database category.
//
// A deleted record is shown first: every order here ends with a stable partition that moves
// the records whose `isDeleted` is non-zero to the front and keeps the order within each part.
#pragma once

#include "core/records.h"

namespace salvora {

// One row per conversation, in key order: a copy of the conversation's last record (its
// newest message) whose `isDeleted` is 1 when any record of the conversation has a non-zero
// `isDeleted`, else 0; then deleted rows first (stable). A conversation without records gives
// no row.
[[nodiscard]] MessageList BuildConversationRows(const MessageMap& conversations);
[[nodiscard]] ChatList BuildConversationRows(const ChatMap& conversations);

// Stable: records with a non-zero `isDeleted` first, each part in its former order.
void SortDeletedFirst(ContactList& contacts);
void SortDeletedFirst(NoteList& notes);
void SortDeletedFirst(CallList& calls);

// The call list's order: by `date` text descending (stable for equal dates), then deleted
// calls first (stable).
void SortCallsForList(CallList& calls);

}  // namespace salvora
