// Sorting by date text and grouping into a conversation map, shared by the messages and the
// WhatsApp extractors.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>
#include <unordered_map>
#include <vector>

#include "core/text.h"

namespace salvora::internal {

// Moves every record of `rows` (a random-access container) into `groups[key(record)]`,
// appending to what each list already holds, in ascending order of `date` (A to Z folded,
// then code units; records with equal dates keep their order in `rows`). Sorting positions
// instead of records keeps the peak memory at the records plus one index per record, and
// each list is sized once. `rows` is left holding moved-from records.
template <typename Rows, typename Record, typename KeyOf>
void MoveIntoDateGroups(Rows& rows, std::map<int32_t, std::vector<Record>>& groups, KeyOf keyOf) {
  std::vector<size_t> order(rows.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&rows](size_t a, size_t b) {
    return CompareNoCase(rows[a].date, rows[b].date) < 0;
  });
  std::unordered_map<int32_t, size_t> counts;
  for (const auto& record : rows) ++counts[keyOf(record)];
  std::unordered_map<int32_t, std::vector<Record>*> lists;  // map nodes never move
  for (const auto& [key, count] : counts) {
    std::vector<Record>& list = groups[key];
    list.reserve(list.size() + count);
    lists.emplace(key, &list);
  }
  for (size_t i : order) lists[keyOf(rows[i])]->push_back(std::move(rows[i]));
}

}  // namespace salvora::internal
