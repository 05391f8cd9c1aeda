// The notes category, from either of the two note stores.
//
// Older store (notes.sqlite, iOS 4 to 8): ZNOTE with its body in ZNOTEBODY.
//   columns: 0 ZNOTE.ZCREATIONDATE (seconds since 2001, shown in local time), 1 ZNOTE.ZTITLE,
//            2 ZNOTEBODY.ZCONTENT (HTML-like body)
// Newer store (NoteStore.sqlite, iOS 9 and later): notes are rows of ZICCLOUDSYNCINGOBJECT.
//   columns: 0 ZTITLE1, 1 ZSNIPPET (the store's snippet, not the full body, which is
//            compressed elsewhere), 2 UTC date text of the creation date
//   The creation date lives in a different column per store generation: ZCREATIONDATE
//   (iOS 9), ZCREATIONDATE1 (macOS 10.15), ZCREATIONDATE3 (iOS 15 and 17; the others are
//   NULL there). The query is built from the columns the table has, taking per row the first
//   non-NULL of ZCREATIONDATE3, ZCREATIONDATE2, ZCREATIONDATE1, ZCREATIONDATE.
// In both stores a row is a note only when its title or content is non-empty (other rows of
// ZICCLOUDSYNCINGOBJECT are folders, attachments and the like).
//
// Text conversion, applied to content and then title, each step replacing every occurrence
// (case-sensitive), in this order: "&#39;" -> "'", "&quot;" -> '"', "&lt;" -> "<", "&gt;" ->
// ">", "&nbsp;" -> " ", "&amp;" -> "&", "<div>" -> line feed, "</div>" -> nothing, "<br>" ->
// line feed. "&amp;" comes after the other entities, so twice-escaped text keeps one level.
#pragma once

#include <string>
#include <vector>

#include "core/progress.h"
#include "core/records.h"

namespace salvora {

class NoteExtractor {
 public:
  static constexpr const char* kOlderStoreSql =
      "SELECT ZNOTE.ZCREATIONDATE ,ZNOTE.ZTITLE, ZNOTEBODY.ZCONTENT from ZNOTE LEFT JOIN "
      "ZNOTEBODY ON ZBODY = ZNOTEBODY.Z_PK order by ZNOTE.ZCREATIONDATE desc;";
  // The newer store's query for a table that has ZCREATIONDATE and ZCREATIONDATE1 only; it is
  // also what runs (and fails) when the table is missing.
  static constexpr const char* kNewerStoreSql =
      "SELECT ZTITLE1, ZSNIPPET, datetime(ZCREATIONDATE + 978307200, 'unixepoch') AS "
      "XFORMATTEDDATESTRING,datetime(ZCREATIONDATE1 + 978307200, 'unixepoch') AS "
      "XFORMATTEDDATESTRING1 FROM ZICCLOUDSYNCINGOBJECT order by XFORMATTEDDATESTRING1 desc;";

  // `progress` is the engine's progress state; this job reports nothing itself.
  explicit NoteExtractor(const ProgressState& progress = {}) : progress_(progress) {}

  // Reads the older store at `path` (UTF-8). On success `notes` is replaced with its notes,
  // converted, newest first (equal dates keep query order), and the result is 0. SQLite's open
  // code, or 1006 for a failed query, leaves `notes` as it was.
  [[nodiscard]] int RunOlderStore(const std::string& path, NoteList& notes);

  // Reads the newer store at `path` (UTF-8) the same way; `notes` is sorted newest first in
  // every case, also after a failed open (SQLite's code) or query (1006), which otherwise
  // leave it as it was.
  [[nodiscard]] int RunNewerStore(const std::string& path, NoteList& notes);

  // The text conversion above, in place.
  static void ConvertMarkup(std::u16string& text);

  // The newer store's query for a table with the given column names.
  [[nodiscard]] static std::string NewerStoreSql(const std::vector<std::string>& columns);

  [[nodiscard]] const ProgressState& progress() const { return progress_; }

 private:
  ProgressState progress_;
};

}  // namespace salvora
