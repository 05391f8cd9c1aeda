// Sorting by date text and grouping into a conversation map, shared by the messages and the
// WhatsApp extractors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/text.h"

namespace salvora::internal {

// The order of a date text "YYYY-MM-DD HH:MM:SS" as a number: its fourteen digits read as one
// decimal value, plus 1, so that the empty text (key 0) orders first. For such texts this is
// exactly the order of the text comparison (same separators at the same places, digits
// compared left to right). Any other text gives false.
inline bool DateKey(const std::u16string& date, uint64_t& key) {
  if (date.empty()) {
    key = 0;
    return true;
  }
  static constexpr char kShape[] = "0000-00-00 00:00:00";
  if (date.size() != sizeof kShape - 1) return false;
  uint64_t value = 0;
  for (size_t i = 0; i < date.size(); ++i) {
    char16_t c = date[i];
    if (kShape[i] == '0') {
      if (c < u'0' || c > u'9') return false;
      value = value * 10 + static_cast<uint64_t>(c - u'0');
    } else if (c != static_cast<char16_t>(kShape[i])) {
      return false;
    }
  }
  key = value + 1;
  return true;
}

// Records as read, with the date key of each taken while the record was being built (its
// date text is then still in the cache). A deque grows without moving what it holds, so
// reading never needs room for the records twice.
template <typename Record>
struct DatedRows {
  std::deque<Record> records;
  std::vector<uint64_t> keys;  // DateKey of each record, valid while `allKeyed`
  bool allKeyed = true;

  // Call once per record added, after its date is set.
  void NoteDate(const std::u16string& date) {
    uint64_t key = 0;
    if (allKeyed && DateKey(date, key)) {
      keys.push_back(key);
    } else {
      allKeyed = false;
    }
  }
  void Clear() {
    records.clear();
    keys.clear();
    allKeyed = true;
  }
};

// Positions of the records that `keep` accepts, in ascending order of `date` (A to Z folded,
// then code units), records with equal dates in their order in `rows`.
template <typename Record, typename Keep>
std::vector<size_t> DateOrder(const DatedRows<Record>& rows, Keep keep) {
  const auto& records = rows.records;
  std::vector<size_t> order;
  order.reserve(records.size());
  if (rows.allKeyed && rows.keys.size() == records.size()) {
    std::vector<std::pair<uint64_t, size_t>> keyed;
    keyed.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
      if (keep(records[i])) keyed.emplace_back(rows.keys[i], i);
    }
    // Every position is distinct, so the plain sort of (key, position) is stable by date.
    std::sort(keyed.begin(), keyed.end());
    for (const auto& k : keyed) order.push_back(k.second);
  } else {
    for (size_t i = 0; i < records.size(); ++i) {
      if (keep(records[i])) order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&records](size_t a, size_t b) {
      return CompareNoCase(records[a].date, records[b].date) < 0;
    });
  }
  return order;
}

// Moves every record of `rows` that `keep` accepts into `groups[keyOf(record)]`, appending to
// what each list already holds, in ascending date order (DateOrder). Sorting positions instead
// of records keeps the peak memory at the records plus two words per record, and each list is
// sized once. `rows` is left holding moved-from records.
template <typename Record, typename KeyOf, typename Keep>
void MoveIntoDateGroups(DatedRows<Record>& rows, std::map<int32_t, std::vector<Record>>& groups,
                        KeyOf keyOf, Keep keep) {
  const std::vector<size_t> order = DateOrder(rows, keep);
  std::unordered_map<int32_t, size_t> counts;
  for (const Record& record : rows.records) {
    if (keep(record)) ++counts[keyOf(record)];  // in row order: sequential reads
  }
  std::unordered_map<int32_t, std::vector<Record>*> lists;  // map nodes never move
  for (const auto& [key, count] : counts) {
    std::vector<Record>& list = groups[key];
    list.reserve(list.size() + count);
    lists.emplace(key, &list);
  }
  for (size_t i : order) lists[keyOf(rows.records[i])]->push_back(std::move(rows.records[i]));
}

}  // namespace salvora::internal
