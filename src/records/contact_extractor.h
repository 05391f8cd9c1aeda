// The contacts category: one ContactRecord per address-book person that has a phone number.
//
// The address book is read through its full-text-search content table,
// ABPersonFullTextSearch_content, whose column names carry their position and so differ
// between address-book generations:
//
//   role          first layout (iOS 15+)   second layout (iOS 7 to 9)
//   first name    c0First                  c0First
//   last name     c1Last                   c1Last
//   organization  c6Organization           c6Organization
//   phone         c16Phone                 c15Phone
//   e-mail        c17Email                 c16Email
//   home page     c20URL                   c19URL
//
// (The full-text table itself needs a tokenizer that exists only on the phone; its _content
// table is a plain table and reads anywhere.) The phone column holds the person's numbers as
// stored, several spellings separated by blanks, and is never split.
#pragma once

#include <string>

#include "core/progress.h"
#include "core/records.h"
#include "records/sqlite_db.h"

namespace salvora {

class ContactExtractor {
 public:
  static constexpr const char* kFirstLayoutSql =
      "select c0First, c1Last,c6Organization,c16Phone,c17Email,c20URL,docid from "
      "ABPersonFullTextSearch_content;";
  static constexpr const char* kSecondLayoutSql =
      "select c0First, c1Last,c6Organization,c15Phone,c16Email,c19URL,docid from "
      "ABPersonFullTextSearch_content;";

  // `progress` is the engine's progress state; this job reports nothing itself (the engine
  // reports after the call).
  explicit ContactExtractor(const ProgressState& progress = {}) : progress_(progress) {}

  // Reads the address book at `addressBookPath` (UTF-8) and replaces `contacts` with its
  // people that have a phone, sorted by name (A to Z folded, then code units; equal names in
  // address-book order). A person without first and last name is named "No Name".
  // Returns 0; 1006 when the first layout's SQL text failed (whatever the second layout did;
  // both failing leaves `contacts` empty); SQLite's open code when the file cannot be opened,
  // and then `contacts` is left as it was.
  [[nodiscard]] int Run(const std::string& addressBookPath, ContactList& contacts);

  // Appends the people that have a phone to `rows`, in address-book row order, over an open
  // connection: the first layout's SQL text, and the second one only when the first fails.
  // `name` is first and last name joined by one blank (either alone as it is); it stays empty
  // without both. Returns 0, or 1006 when the first layout failed.
  [[nodiscard]] static int ReadRows(SqliteDb& addressBook, ContactList& rows);

  [[nodiscard]] const ProgressState& progress() const { return progress_; }

 private:
  ProgressState progress_;
};

}  // namespace salvora
