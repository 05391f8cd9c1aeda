#include "core/conversation_rows.h"

#include <algorithm>

namespace salvora {

namespace {

template <class List>
void DeletedFirst(List& list) {
  std::stable_partition(list.begin(), list.end(),
                        [](const auto& record) { return record.isDeleted != 0; });
}

template <class Map>
auto RowsOf(const Map& conversations) {
  typename Map::mapped_type rows;
  rows.reserve(conversations.size());
  for (const auto& [key, records] : conversations) {
    if (records.empty()) continue;
    auto& row = rows.emplace_back(records.back());
    row.isDeleted =
        std::any_of(records.begin(), records.end(), [](const auto& r) { return r.isDeleted != 0; })
            ? 1
            : 0;
  }
  DeletedFirst(rows);
  return rows;
}

}  // namespace

MessageList BuildConversationRows(const MessageMap& conversations) { return RowsOf(conversations); }

ChatList BuildConversationRows(const ChatMap& conversations) { return RowsOf(conversations); }

void SortDeletedFirst(ContactList& contacts) { DeletedFirst(contacts); }
void SortDeletedFirst(NoteList& notes) { DeletedFirst(notes); }
void SortDeletedFirst(CallList& calls) { DeletedFirst(calls); }

void SortCallsForList(CallList& calls) {
  // Date texts have a fixed width, so comparing them orders by time.
  std::stable_sort(calls.begin(), calls.end(),
                   [](const CallRecord& a, const CallRecord& b) { return a.date > b.date; });
  DeletedFirst(calls);
}

}  // namespace salvora
