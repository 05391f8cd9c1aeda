// The contact lookup list: the address book's people with a phone, in row order, used only to
// put a name beside a message's or a call's address.
//
// A name is that of the first contact in list order whose phone text contains the address
// exactly (case-sensitive substring). Because a phone text holds several spellings of each
// number separated by blanks, "+19195790479" and "9195790479" both find their person while
// "919-579-0479" does not.
//
// The answer for each distinct address is computed once, and without scanning every contact:
// all phone texts sit in one buffer, each followed by U+0000 (which no column text can hold,
// so no match of an address spans two contacts), and an index lists, for every run of four
// code units in the buffer, the positions where it occurs, ascending. An address of four or
// more code units is checked only at the positions of its rarest four-unit run; the first
// position that holds the whole address is the earliest match in the buffer and so belongs
// to the first matching contact. Shorter addresses search the buffer directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/records.h"
#include "records/sqlite_db.h"

namespace salvora {

class ContactLookup {
 public:
  ContactLookup() = default;

  // Replaces the list with the people of the open address book (ContactExtractor::ReadRows:
  // both layouts, no "No Name"). Returns 0, or 1006 when the first layout failed.
  [[nodiscard]] int Read(SqliteDb& addressBook);

  // Replaces the list with `contacts` (their order is the lookup order).
  void Assign(ContactList contacts);

  // The name of the first contact whose phone contains `address`, or an empty text when none
  // does. An empty address takes no name (it would otherwise be "contained" in every phone).
  // The reference stays valid until the list is replaced.
  [[nodiscard]] const std::u16string& NameFor(std::u16string_view address);

  [[nodiscard]] const ContactList& contacts() const { return contacts_; }

 private:
  // Index of the first matching contact, or -1.
  [[nodiscard]] int32_t FirstMatch(std::u16string_view address) const;
  void BuildIndex();

  // A run of four code units packed into 64 bits, with one of its positions in phones_.
  struct Gram {
    uint64_t key;
    uint32_t pos;
  };

  ContactList contacts_;
  std::u16string phones_;          // every phone text, each followed by U+0000
  std::vector<size_t> phoneEnds_;  // offset of each contact's terminating U+0000 in phones_
  std::vector<Gram> grams_;        // sorted by key, then position
  std::unordered_map<std::u16string, int32_t> cache_;
  std::u16string noName_;
};

}  // namespace salvora
