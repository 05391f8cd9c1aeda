// The selection statistics of one scan: which records are checked, how many of them and how
// many bytes, per category, per app and for the whole scan. The check boxes of the scan
// page, the statistics label, the recover button and the recover job's walk all read it.
//
// Two structures:
//
// - A tree of nodes. The root stands for the whole scan; below it one node per category in
//   CategoryId order; below an app category (App Photos, App Videos) one node per app in
//   app-map order. Each node counts its records: total, selected, hidden (hidden by the
//   deleted-only filter) and hidden-selected.
// - An index of entries, one per container and one per record. A key (StatKey) is the
//   entry's position in the index, so keys are stable identities that cost nothing to store:
//   entries are numbered in the order they are added. Each category added contributes its
//   container entry, then its records in container order; an app category contributes its
//   container entry (the app map), then for each app its list entry followed by that app's
//   records. Records can also be found by their address (KeyOf).
//
// The index refers to the records by address. A container passed to AddCategory must
// therefore stay alive and unmodified until Clear (the scan page only refills its
// containers after a clear).
//
// Every count is kept exact: selecting an entry that is already selected, or hiding one that
// is already hidden, changes nothing, and selected bytes never count a hidden record.
//
// Not thread-safe: the owner serialises access (the scan session holds a lock around it).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "core/category_id.h"
#include "core/records.h"

namespace salvora {

// The identity of one statistics entry (its position in the index).
using StatKey = uint32_t;
inline constexpr StatKey kNoStatKey = std::numeric_limits<StatKey>::max();

// Every record counts at least this many bytes in the totals.
inline constexpr uint32_t kMinimumRecordBytes = 1024;

// The answer of StateOf, with the values of the check-box states.
enum class SelectionState : int32_t {
  None = 0,  // no record selected (also for a node without records)
  All = 1,   // every record selected
  Some = 2,  // some records selected
};

// One node of the statistics tree.
struct StatNode {
  uint32_t total = 0;               // records counted in this node
  uint32_t selected = 0;            // of those, selected
  uint32_t hidden = 0;              // of those, hidden by the deleted-only filter
  uint32_t hiddenSelected = 0;      // of those, hidden and selected
  int32_t parent = -1;              // index of the parent node; -1 for the root
  std::vector<uint32_t> children;   // node indices, in tree order
  CategoryId category{};            // 0 for the root
  std::u16string_view appName;      // app nodes only; a view of the app map's key
  StatKey groupEntry = kNoStatKey;  // the container entry of this node; none for the root
  StatKey firstEntry = kNoStatKey;  // entries of this node's records: the range
  StatKey endEntry = kNoStatKey;    // (groupEntry, endEntry)
};

// What an entry holds, as returned by CStatisticsObj::Entry.
struct StatEntry {
  bool group = false;     // true for a container, false for a record
  bool selected = false;  // records only; a container's state is StateOf
  bool deleted = false;   // the record's isDeleted is non-zero; false for files
  bool hidden = false;
  CategoryId category{};
  uint32_t size = 0;           // bytes counted for a record (at least 1024); 0 for a group
  const void* item = nullptr;  // the record or the container (see the typed getters)
  uint32_t node = 0;           // index of the node it counts in
};

class CStatisticsObj {
 public:
  CStatisticsObj();
  CStatisticsObj(const CStatisticsObj&) = delete;
  CStatisticsObj& operator=(const CStatisticsObj&) = delete;
  CStatisticsObj(CStatisticsObj&&) noexcept = default;
  CStatisticsObj& operator=(CStatisticsObj&&) noexcept = default;
  ~CStatisticsObj();

  // Adds one category: its node under the root (for an app category one child node per app),
  // a container entry and one entry per record, every record selected and shown. Total and
  // selected bytes grow by the record sizes, the root's counts by the category's counts.
  // Record sizes before the 1024-byte minimum: a file's `size`; a conversation row the
  // length of its `text`; a contact `name` plus `phone`; a call `contactName` plus
  // `address`; a note `content` (lengths in UTF-16 code units).
  //
  // The overload must match the category: FileList for CameraRoll, PhotoStream,
  // MessageAttachments and WhatsAppAttachments; AppFileMap for AppPhotos and AppVideos;
  // the conversation rows (MessageList) for Messages and (ChatList) for WhatsApp;
  // ContactList, CallList and NoteList for their categories.
  //
  // Returns kOk; kInvalidParameter when the container does not fit the category, the
  // category was already added since the last Clear, or the index would outgrow its keys
  // (nothing is added then). The container is not copied (see the file comment).
  [[nodiscard]] int AddCategory(CategoryId category, const FileList& files);
  [[nodiscard]] int AddCategory(CategoryId category, const AppFileMap& apps);
  [[nodiscard]] int AddCategory(CategoryId category, const MessageList& conversationRows);
  [[nodiscard]] int AddCategory(CategoryId category, const ChatList& conversationRows);
  [[nodiscard]] int AddCategory(CategoryId category, const ContactList& contacts);
  [[nodiscard]] int AddCategory(CategoryId category, const CallList& calls);
  [[nodiscard]] int AddCategory(CategoryId category, const NoteList& notes);

  // Selects an entry: a record, or every record below a container. Counts of the nodes the
  // records count in and of their ancestors grow by the number of records that were not
  // selected before; selected bytes grow by the sizes of those that are not hidden.
  // Returns false for an unknown key.
  bool Select(StatKey key);
  // The mirror image of Select.
  bool Deselect(StatKey key);
  bool SetSelected(StatKey key, bool selected) { return selected ? Select(key) : Deselect(key); }

  // The selection state of the node the entry counts in (for a record, its category's or
  // app's node). None for an unknown key.
  [[nodiscard]] SelectionState StateOf(StatKey key) const;
  // The total count of the entry's node (the number of files of an app or app category).
  // 0 for an unknown key.
  [[nodiscard]] uint32_t CountOf(StatKey key) const;

  // Hides a record (deleted-only filter): its node's hidden count and each ancestor's grow by
  // 1, and when it is selected the hidden-selected counts grow likewise and its size leaves
  // selected bytes. Show is the mirror image. Both return false for an unknown key or a
  // container, and change nothing when the record already is in that state.
  bool Hide(StatKey key);
  bool Show(StatKey key);

  // Sets the root's four counts to the sums of its children's counts.
  void RecomputeRoot();

  // Frees every node and entry but the root; totals to 0.
  void Clear();

  // --- Reading ---

  [[nodiscard]] uint64_t TotalBytes() const { return totalBytes_; }
  // Sum of the sizes of the selected records that are not hidden.
  [[nodiscard]] uint64_t SelectedBytes() const { return selectedBytes_; }
  [[nodiscard]] const StatNode& Root() const { return nodes_[0]; }
  // True once any category was added since the last Clear.
  [[nodiscard]] bool HasCategories() const { return nodes_.size() > 1; }
  [[nodiscard]] bool HasCategory(CategoryId category) const;

  [[nodiscard]] size_t NodeCount() const { return nodes_.size(); }
  // The node at `index` (0 is the root); `index` must be below NodeCount().
  [[nodiscard]] const StatNode& Node(uint32_t index) const { return nodes_[index]; }
  // The category's node, or nullptr when the category was not added.
  [[nodiscard]] const StatNode* CategoryNode(CategoryId category) const;

  // Number of entries; keys run from 0 to EntryCount() - 1 in index order.
  [[nodiscard]] size_t EntryCount() const { return entries_.size(); }
  // The entry of `key`; `key` must be below EntryCount().
  [[nodiscard]] StatEntry Entry(StatKey key) const;
  // The selected flag of a record entry; false for a container or an unknown key.
  [[nodiscard]] bool IsSelected(StatKey key) const;

  // --- Finding keys (kNoStatKey when there is no such entry) ---

  // The container entry of a category.
  [[nodiscard]] StatKey ContainerKey(CategoryId category) const;
  // The record at `index` of a list category's container (not an app category).
  [[nodiscard]] StatKey RecordKey(CategoryId category, size_t index) const;
  // The list entry of one app of an app category, and the record at `index` of that list.
  [[nodiscard]] StatKey AppKey(CategoryId category, std::u16string_view appName) const;
  [[nodiscard]] StatKey AppRecordKey(CategoryId category, std::u16string_view appName,
                                     size_t index) const;
  // The entry of a container or record passed to AddCategory, found by its address: a list,
  // an app map, an app's list, or a record inside one of them.
  [[nodiscard]] StatKey KeyOf(const void* containerOrRecord) const;

  // --- The record behind a record entry (nullptr for a container, an unknown key or a
  // category of another record type) ---

  // CameraRoll, PhotoStream, MessageAttachments, WhatsAppAttachments.
  [[nodiscard]] const FileRecord* FileAt(StatKey key) const;
  // AppPhotos, AppVideos.
  [[nodiscard]] const AppFileRecord* AppFileAt(StatKey key) const;
  // Messages: a conversation row (its newest message).
  [[nodiscard]] const MessageRecord* MessageRowAt(StatKey key) const;
  [[nodiscard]] const ContactRecord* ContactAt(StatKey key) const;
  [[nodiscard]] const CallRecord* CallAt(StatKey key) const;
  [[nodiscard]] const NoteRecord* NoteAt(StatKey key) const;
  // WhatsApp: a conversation row (its newest message).
  [[nodiscard]] const ChatRecord* ChatRowAt(StatKey key) const;

 private:
  // 16 bytes per entry: the item's address, its counted size, and the node index packed with
  // the flags.
  struct Slot {
    const void* item;
    uint32_t size;
    uint32_t nodeAndFlags;
  };
  struct Range {
    const void* begin;  // first record of a list (or nullptr when empty)
    size_t count;
    size_t stride;  // sizeof the record type
    StatKey firstKey;
  };

  template <class List, class SizeFn, class DeletedFn>
  int AddList(CategoryId category, const List& list, SizeFn size, DeletedFn deleted);
  uint32_t NewNode(CategoryId category, uint32_t parent);
  void AttachToRoot(uint32_t node);
  [[nodiscard]] const void* RecordOf(StatKey key, CategoryId a, CategoryId b = CategoryId{},
                                     CategoryId c = CategoryId{},
                                     CategoryId d = CategoryId{}) const;
  // Applies one record's change of selection or visibility to its node and the ancestors.
  void Bump(uint32_t node, int64_t selected, int64_t hidden, int64_t hiddenSelected);
  bool SetRecordSelected(StatKey key, bool selected);
  bool SetSelectedBelow(StatKey group, bool selected);

  std::vector<StatNode> nodes_;
  std::vector<Slot> entries_;
  // Address ranges of every list added (category lists and app lists), in key order.
  std::vector<Range> ranges_;
  uint64_t totalBytes_ = 0;
  uint64_t selectedBytes_ = 0;
};

}  // namespace salvora
