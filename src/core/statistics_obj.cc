#include "core/statistics_obj.h"

#include <algorithm>

#include "core/result_codes.h"

namespace salvora {

namespace {

// Slot::nodeAndFlags: the node index in the low 24 bits, the flags above it.
constexpr uint32_t kNodeMask = 0x00FFFFFFu;
constexpr uint32_t kGroupBit = 1u << 24;
constexpr uint32_t kSelectedBit = 1u << 25;
constexpr uint32_t kDeletedBit = 1u << 26;
constexpr uint32_t kHiddenBit = 1u << 27;
constexpr size_t kMaxNodes = kNodeMask;
// Keys must stay below kNoStatKey, and counts fit 32 bits.
constexpr size_t kMaxEntries = kNoStatKey - 1;

uint32_t CountedSize(uint64_t raw) {
  if (raw > UINT32_MAX) return UINT32_MAX;
  return std::max(static_cast<uint32_t>(raw), kMinimumRecordBytes);
}

bool IsFileCategory(CategoryId c) {
  return c == CategoryId::CameraRoll || c == CategoryId::PhotoStream ||
         c == CategoryId::MessageAttachments || c == CategoryId::WhatsAppAttachments;
}

bool IsAppCategory(CategoryId c) {
  return c == CategoryId::AppPhotos || c == CategoryId::AppVideos;
}

void AddTo(uint32_t& count, int64_t delta) {
  int64_t value = static_cast<int64_t>(count) + delta;
  count = static_cast<uint32_t>(std::clamp<int64_t>(value, 0, UINT32_MAX));
}

}  // namespace

CStatisticsObj::CStatisticsObj() { Clear(); }
CStatisticsObj::~CStatisticsObj() = default;

uint32_t CStatisticsObj::NewNode(CategoryId category, uint32_t parent) {
  auto index = static_cast<uint32_t>(nodes_.size());
  StatNode& node = nodes_.emplace_back();
  node.category = category;
  node.parent = static_cast<int32_t>(parent);
  return index;
}

void CStatisticsObj::AttachToRoot(uint32_t node) {
  // The root lists its categories in CategoryId order, whatever order they were added in.
  std::vector<uint32_t>& children = nodes_[0].children;
  auto at = std::find_if(children.begin(), children.end(), [&](uint32_t child) {
    return nodes_[child].category > nodes_[node].category;
  });
  children.insert(at, node);
  StatNode& root = nodes_[0];
  root.total += nodes_[node].total;
  root.selected += nodes_[node].selected;
  root.endEntry = static_cast<StatKey>(entries_.size());
}

template <class List, class SizeFn, class DeletedFn>
int CStatisticsObj::AddList(CategoryId category, const List& list, SizeFn size, DeletedFn deleted) {
  if (HasCategory(category) || nodes_.size() + 1 > kMaxNodes ||
      list.size() + 1 > kMaxEntries - entries_.size()) {
    return kInvalidParameter;
  }
  uint32_t node = NewNode(category, 0);
  auto group = static_cast<StatKey>(entries_.size());
  entries_.push_back({&list, 0, node | kGroupBit});
  ranges_.push_back({list.empty() ? nullptr : list.data(), list.size(),
                     sizeof(typename List::value_type), group + 1});
  uint64_t bytes = 0;
  for (const auto& record : list) {
    uint32_t counted = CountedSize(size(record));
    entries_.push_back(
        {&record, counted, node | kSelectedBit | (deleted(record) ? kDeletedBit : 0)});
    bytes += counted;
  }
  StatNode& n = nodes_[node];
  n.groupEntry = group;
  n.firstEntry = group + 1;
  n.endEntry = static_cast<StatKey>(entries_.size());
  n.total = n.selected = static_cast<uint32_t>(list.size());
  totalBytes_ += bytes;
  selectedBytes_ += bytes;
  AttachToRoot(node);
  return kOk;
}

int CStatisticsObj::AddCategory(CategoryId category, const FileList& files) {
  if (!IsFileCategory(category)) return kInvalidParameter;
  return AddList(
      category, files, [](const FileRecord& r) { return uint64_t{r.size}; },
      [](const FileRecord&) { return false; });
}

int CStatisticsObj::AddCategory(CategoryId category, const MessageList& rows) {
  if (category != CategoryId::Messages) return kInvalidParameter;
  return AddList(
      category, rows, [](const MessageRecord& r) { return uint64_t{r.text.size()}; },
      [](const MessageRecord& r) { return r.isDeleted != 0; });
}

int CStatisticsObj::AddCategory(CategoryId category, const ChatList& rows) {
  if (category != CategoryId::WhatsApp) return kInvalidParameter;
  return AddList(
      category, rows, [](const ChatRecord& r) { return uint64_t{r.text.size()}; },
      [](const ChatRecord& r) { return r.isDeleted != 0; });
}

int CStatisticsObj::AddCategory(CategoryId category, const ContactList& contacts) {
  if (category != CategoryId::Contacts) return kInvalidParameter;
  return AddList(
      category, contacts,
      [](const ContactRecord& r) { return uint64_t{r.name.size()} + r.phone.size(); },
      [](const ContactRecord& r) { return r.isDeleted != 0; });
}

int CStatisticsObj::AddCategory(CategoryId category, const CallList& calls) {
  if (category != CategoryId::CallHistory) return kInvalidParameter;
  return AddList(
      category, calls,
      [](const CallRecord& r) { return uint64_t{r.contactName.size()} + r.address.size(); },
      [](const CallRecord& r) { return r.isDeleted != 0; });
}

int CStatisticsObj::AddCategory(CategoryId category, const NoteList& notes) {
  if (category != CategoryId::Notes) return kInvalidParameter;
  return AddList(
      category, notes, [](const NoteRecord& r) { return uint64_t{r.content.size()}; },
      [](const NoteRecord& r) { return r.isDeleted != 0; });
}

int CStatisticsObj::AddCategory(CategoryId category, const AppFileMap& apps) {
  if (!IsAppCategory(category) || HasCategory(category)) return kInvalidParameter;
  size_t files = 0;
  for (const auto& [name, list] : apps) files += list.size();
  if (nodes_.size() + 1 + apps.size() > kMaxNodes ||
      files + apps.size() + 1 > kMaxEntries - entries_.size()) {
    return kInvalidParameter;
  }
  uint32_t categoryNode = NewNode(category, 0);
  auto group = static_cast<StatKey>(entries_.size());
  entries_.push_back({&apps, 0, categoryNode | kGroupBit});
  uint64_t bytes = 0;
  for (const auto& [name, list] : apps) {
    uint32_t appNode = NewNode(category, categoryNode);
    nodes_[categoryNode].children.push_back(appNode);
    auto appGroup = static_cast<StatKey>(entries_.size());
    entries_.push_back({&list, 0, appNode | kGroupBit});
    ranges_.push_back(
        {list.empty() ? nullptr : list.data(), list.size(), sizeof(AppFileRecord), appGroup + 1});
    for (const AppFileRecord& record : list) {
      uint32_t counted = CountedSize(record.size);
      entries_.push_back({&record, counted, appNode | kSelectedBit});
      bytes += counted;
    }
    StatNode& a = nodes_[appNode];
    a.appName = name;
    a.groupEntry = appGroup;
    a.firstEntry = appGroup + 1;
    a.endEntry = static_cast<StatKey>(entries_.size());
    a.total = a.selected = static_cast<uint32_t>(list.size());
  }
  StatNode& c = nodes_[categoryNode];
  c.groupEntry = group;
  c.firstEntry = group + 1;
  c.endEntry = static_cast<StatKey>(entries_.size());
  c.total = c.selected = static_cast<uint32_t>(files);
  totalBytes_ += bytes;
  selectedBytes_ += bytes;
  AttachToRoot(categoryNode);
  return kOk;
}

void CStatisticsObj::Bump(uint32_t node, int64_t selected, int64_t hidden, int64_t hiddenSelected) {
  for (int32_t n = static_cast<int32_t>(node); n >= 0; n = nodes_[n].parent) {
    StatNode& s = nodes_[n];
    AddTo(s.selected, selected);
    AddTo(s.hidden, hidden);
    AddTo(s.hiddenSelected, hiddenSelected);
  }
}

bool CStatisticsObj::SetRecordSelected(StatKey key, bool selected) {
  Slot& slot = entries_[key];
  bool was = (slot.nodeAndFlags & kSelectedBit) != 0;
  if (was == selected) return true;
  slot.nodeAndFlags ^= kSelectedBit;
  bool hidden = (slot.nodeAndFlags & kHiddenBit) != 0;
  int64_t delta = selected ? 1 : -1;
  Bump(slot.nodeAndFlags & kNodeMask, delta, 0, hidden ? delta : 0);
  if (!hidden) {
    if (selected) {
      selectedBytes_ += slot.size;
    } else {
      selectedBytes_ -= std::min<uint64_t>(selectedBytes_, slot.size);
    }
  }
  return true;
}

bool CStatisticsObj::Select(StatKey key) {
  if (key >= entries_.size()) return false;
  if ((entries_[key].nodeAndFlags & kGroupBit) == 0) return SetRecordSelected(key, true);
  return SetSelectedBelow(key, true);
}

bool CStatisticsObj::Deselect(StatKey key) {
  if (key >= entries_.size()) return false;
  if ((entries_[key].nodeAndFlags & kGroupBit) == 0) return SetRecordSelected(key, false);
  return SetSelectedBelow(key, false);
}

bool CStatisticsObj::SetSelectedBelow(StatKey group, bool selected) {
  // The records of a group are the entries after it up to its node's end; the app lists of
  // an app category lie among them and are skipped. Changes are summed per node and applied
  // to each node's ancestors once, so the cost is linear in the records.
  const StatNode& node = nodes_[entries_[group].nodeAndFlags & kNodeMask];
  uint32_t pendingNode = kNodeMask;
  int64_t pendingSelected = 0;
  int64_t pendingHidden = 0;
  auto flush = [&] {
    if (pendingSelected != 0) Bump(pendingNode, pendingSelected, 0, pendingHidden);
    pendingSelected = pendingHidden = 0;
  };
  uint64_t bytes = 0;
  const int64_t delta = selected ? 1 : -1;
  for (StatKey key = group + 1; key < node.endEntry; ++key) {
    Slot& slot = entries_[key];
    if ((slot.nodeAndFlags & kGroupBit) != 0) continue;
    if (((slot.nodeAndFlags & kSelectedBit) != 0) == selected) continue;
    slot.nodeAndFlags ^= kSelectedBit;
    uint32_t recordNode = slot.nodeAndFlags & kNodeMask;
    if (recordNode != pendingNode) {
      flush();
      pendingNode = recordNode;
    }
    pendingSelected += delta;
    if ((slot.nodeAndFlags & kHiddenBit) != 0) {
      pendingHidden += delta;
    } else {
      bytes += slot.size;
    }
  }
  flush();
  if (selected) {
    selectedBytes_ += bytes;
  } else {
    selectedBytes_ -= std::min(selectedBytes_, bytes);
  }
  return true;
}

SelectionState CStatisticsObj::StateOf(StatKey key) const {
  if (key >= entries_.size()) return SelectionState::None;
  const StatNode& node = nodes_[entries_[key].nodeAndFlags & kNodeMask];
  if (node.selected == 0) return SelectionState::None;
  return node.selected >= node.total ? SelectionState::All : SelectionState::Some;
}

uint32_t CStatisticsObj::CountOf(StatKey key) const {
  if (key >= entries_.size()) return 0;
  return nodes_[entries_[key].nodeAndFlags & kNodeMask].total;
}

bool CStatisticsObj::Hide(StatKey key) {
  if (key >= entries_.size()) return false;
  Slot& slot = entries_[key];
  if ((slot.nodeAndFlags & kGroupBit) != 0) return false;
  if ((slot.nodeAndFlags & kHiddenBit) != 0) return true;
  slot.nodeAndFlags |= kHiddenBit;
  bool selected = (slot.nodeAndFlags & kSelectedBit) != 0;
  Bump(slot.nodeAndFlags & kNodeMask, 0, 1, selected ? 1 : 0);
  if (selected) selectedBytes_ -= std::min<uint64_t>(selectedBytes_, slot.size);
  return true;
}

bool CStatisticsObj::Show(StatKey key) {
  if (key >= entries_.size()) return false;
  Slot& slot = entries_[key];
  if ((slot.nodeAndFlags & kGroupBit) != 0) return false;
  if ((slot.nodeAndFlags & kHiddenBit) == 0) return true;
  slot.nodeAndFlags &= ~kHiddenBit;
  bool selected = (slot.nodeAndFlags & kSelectedBit) != 0;
  Bump(slot.nodeAndFlags & kNodeMask, 0, -1, selected ? -1 : 0);
  if (selected) selectedBytes_ += slot.size;
  return true;
}

void CStatisticsObj::RecomputeRoot() {
  StatNode& root = nodes_[0];
  uint64_t total = 0, selected = 0, hidden = 0, hiddenSelected = 0;
  for (uint32_t child : root.children) {
    total += nodes_[child].total;
    selected += nodes_[child].selected;
    hidden += nodes_[child].hidden;
    hiddenSelected += nodes_[child].hiddenSelected;
  }
  auto cap = [](uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, UINT32_MAX)); };
  root.total = cap(total);
  root.selected = cap(selected);
  root.hidden = cap(hidden);
  root.hiddenSelected = cap(hiddenSelected);
}

void CStatisticsObj::Clear() {
  nodes_ = {};
  entries_ = {};
  ranges_ = {};
  StatNode& root = nodes_.emplace_back();
  root.firstEntry = 0;
  root.endEntry = 0;
  totalBytes_ = 0;
  selectedBytes_ = 0;
}

bool CStatisticsObj::HasCategory(CategoryId category) const {
  return CategoryNode(category) != nullptr;
}

const StatNode* CStatisticsObj::CategoryNode(CategoryId category) const {
  for (uint32_t child : nodes_[0].children) {
    if (nodes_[child].category == category) return &nodes_[child];
  }
  return nullptr;
}

StatEntry CStatisticsObj::Entry(StatKey key) const {
  const Slot& slot = entries_[key];
  StatEntry e;
  e.group = (slot.nodeAndFlags & kGroupBit) != 0;
  e.selected = (slot.nodeAndFlags & kSelectedBit) != 0;
  e.deleted = (slot.nodeAndFlags & kDeletedBit) != 0;
  e.hidden = (slot.nodeAndFlags & kHiddenBit) != 0;
  e.node = slot.nodeAndFlags & kNodeMask;
  e.category = nodes_[e.node].category;
  e.size = slot.size;
  e.item = slot.item;
  return e;
}

bool CStatisticsObj::IsSelected(StatKey key) const {
  if (key >= entries_.size()) return false;
  uint32_t flags = entries_[key].nodeAndFlags;
  return (flags & kGroupBit) == 0 && (flags & kSelectedBit) != 0;
}

StatKey CStatisticsObj::ContainerKey(CategoryId category) const {
  const StatNode* node = CategoryNode(category);
  return node != nullptr ? node->groupEntry : kNoStatKey;
}

StatKey CStatisticsObj::RecordKey(CategoryId category, size_t index) const {
  const StatNode* node = CategoryNode(category);
  if (node == nullptr || IsAppCategory(category) || index >= node->total) return kNoStatKey;
  return node->firstEntry + static_cast<StatKey>(index);
}

StatKey CStatisticsObj::AppKey(CategoryId category, std::u16string_view appName) const {
  const StatNode* node = CategoryNode(category);
  if (node == nullptr || !IsAppCategory(category)) return kNoStatKey;
  // App nodes are in app-map order, ascending by code unit.
  auto at = std::lower_bound(
      node->children.begin(), node->children.end(), appName,
      [&](uint32_t child, std::u16string_view name) { return nodes_[child].appName < name; });
  if (at == node->children.end() || nodes_[*at].appName != appName) return kNoStatKey;
  return nodes_[*at].groupEntry;
}

StatKey CStatisticsObj::AppRecordKey(CategoryId category, std::u16string_view appName,
                                     size_t index) const {
  StatKey app = AppKey(category, appName);
  if (app == kNoStatKey) return kNoStatKey;
  const StatNode& node = nodes_[entries_[app].nodeAndFlags & kNodeMask];
  if (index >= node.total) return kNoStatKey;
  return node.firstEntry + static_cast<StatKey>(index);
}

StatKey CStatisticsObj::KeyOf(const void* item) const {
  if (item == nullptr) return kNoStatKey;
  auto address = reinterpret_cast<uintptr_t>(item);
  for (uint32_t child : nodes_[0].children) {
    if (entries_[nodes_[child].groupEntry].item == item) return nodes_[child].groupEntry;
  }
  for (const Range& range : ranges_) {
    StatKey group = range.firstKey - 1;
    if (entries_[group].item == item) return group;
    if (range.begin == nullptr) continue;
    auto begin = reinterpret_cast<uintptr_t>(range.begin);
    if (address < begin) continue;
    uintptr_t offset = address - begin;
    if (offset / range.stride >= range.count || offset % range.stride != 0) continue;
    return range.firstKey + static_cast<StatKey>(offset / range.stride);
  }
  return kNoStatKey;
}

const void* CStatisticsObj::RecordOf(StatKey key, CategoryId a, CategoryId b, CategoryId c,
                                     CategoryId d) const {
  if (key >= entries_.size()) return nullptr;
  const Slot& slot = entries_[key];
  if ((slot.nodeAndFlags & kGroupBit) != 0) return nullptr;
  CategoryId category = nodes_[slot.nodeAndFlags & kNodeMask].category;
  if (category != a && category != b && category != c && category != d) return nullptr;
  return slot.item;
}

const FileRecord* CStatisticsObj::FileAt(StatKey key) const {
  return static_cast<const FileRecord*>(
      RecordOf(key, CategoryId::CameraRoll, CategoryId::PhotoStream, CategoryId::MessageAttachments,
               CategoryId::WhatsAppAttachments));
}
const AppFileRecord* CStatisticsObj::AppFileAt(StatKey key) const {
  return static_cast<const AppFileRecord*>(
      RecordOf(key, CategoryId::AppPhotos, CategoryId::AppVideos));
}
const MessageRecord* CStatisticsObj::MessageRowAt(StatKey key) const {
  return static_cast<const MessageRecord*>(RecordOf(key, CategoryId::Messages));
}
const ContactRecord* CStatisticsObj::ContactAt(StatKey key) const {
  return static_cast<const ContactRecord*>(RecordOf(key, CategoryId::Contacts));
}
const CallRecord* CStatisticsObj::CallAt(StatKey key) const {
  return static_cast<const CallRecord*>(RecordOf(key, CategoryId::CallHistory));
}
const NoteRecord* CStatisticsObj::NoteAt(StatKey key) const {
  return static_cast<const NoteRecord*>(RecordOf(key, CategoryId::Notes));
}
const ChatRecord* CStatisticsObj::ChatRowAt(StatKey key) const {
  return static_cast<const ChatRecord*>(RecordOf(key, CategoryId::WhatsApp));
}

}  // namespace salvora
