#include "records/note_extractor.h"

#include <algorithm>
#include <string_view>

#include "core/date_text.h"
#include "core/result_codes.h"
#include "core/text.h"
#include "records/sql_row.h"
#include "records/sqlite_db.h"

namespace salvora {
namespace {

constexpr const char* kNoteTable = "ZICCLOUDSYNCINGOBJECT";

// Creation-date columns of ZICCLOUDSYNCINGOBJECT, most recent store generation first.
constexpr const char* kCreationDateColumns[] = {"ZCREATIONDATE3", "ZCREATIONDATE2",
                                                "ZCREATIONDATE1", "ZCREATIONDATE"};

void AddIfNote(NoteList& rows, NoteRecord note) {
  if (note.title.empty() && note.content.empty()) return;  // not a note
  rows.push_back(std::move(note));
}

void AddOlderStoreRow(NoteList& rows, int columns, char** values) {
  SqlRow row(columns, values);
  NoteRecord note;
  // 0: ZNOTE.ZCREATIONDATE, seconds since 2001 (may be fractional), shown in local time.
  note.date = LocalDateTextFromAppleSeconds(row.Raw(0));
  note.title = row.Text(1);    // ZNOTE.ZTITLE
  note.content = row.Text(2);  // ZNOTEBODY.ZCONTENT
  AddIfNote(rows, std::move(note));
}

void AddNewerStoreRow(NoteList& rows, int columns, char** values) {
  SqlRow row(columns, values);
  NoteRecord note;
  note.title = row.Text(0);    // ZTITLE1
  note.content = row.Text(1);  // ZSNIPPET
  note.date = row.Text(2);     // UTC date text of the creation date
  AddIfNote(rows, std::move(note));
}

void ConvertAll(NoteList& notes) {
  for (NoteRecord& note : notes) {
    NoteExtractor::ConvertMarkup(note.content);
    NoteExtractor::ConvertMarkup(note.title);
  }
}

void SortNewestFirst(NoteList& notes) {
  std::stable_sort(notes.begin(), notes.end(), [](const NoteRecord& a, const NoteRecord& b) {
    return CompareNoCase(a.date, b.date) > 0;
  });
}

}  // namespace

void NoteExtractor::ConvertMarkup(std::u16string& text) {
  // The order matters: "&amp;" last among the entities, so that "&amp;lt;" ends as "&lt;".
  static constexpr std::u16string_view kSteps[][2] = {
      {u"&#39;", u"'"}, {u"&quot;", u"\""}, {u"&lt;", u"<"},  {u"&gt;", u">"},  {u"&nbsp;", u" "},
      {u"&amp;", u"&"}, {u"<div>", u"\n"},  {u"</div>", u""}, {u"<br>", u"\n"},
  };
  for (const auto& step : kSteps) ReplaceAll(text, step[0], step[1]);
}

std::string NoteExtractor::NewerStoreSql(const std::vector<std::string>& columns) {
  std::vector<std::string> present;
  for (const char* wanted : kCreationDateColumns) {
    for (const std::string& name : columns) {
      if (CompareNoCase(std::string_view(name), std::string_view(wanted)) == 0) {
        present.emplace_back(wanted);
        break;
      }
    }
  }
  // Without any creation-date column (or without the table) the original text runs and
  // fails as such a store should.
  if (present.empty()) return kNewerStoreSql;
  std::string date = present.front();
  if (present.size() > 1) {
    date = "COALESCE(";
    for (size_t i = 0; i < present.size(); ++i) {
      if (i > 0) date += ", ";
      date += present[i];
    }
    date += ")";
  }
  return "SELECT ZTITLE1, ZSNIPPET, datetime(" + date +
         " + 978307200, 'unixepoch') AS XFORMATTEDDATESTRING FROM ZICCLOUDSYNCINGOBJECT order "
         "by XFORMATTEDDATESTRING desc;";
}

int NoteExtractor::RunOlderStore(const std::string& path, NoteList& notes) {
  SqliteDb db;
  int rc = db.OpenReadOnly(path);
  if (rc != SQLITE_OK) return rc;
  NoteList rows;
  if (db.ForEachRow(kOlderStoreSql, [&rows](int columns, char** values) {
        AddOlderStoreRow(rows, columns, values);
      }) != SQLITE_OK) {
    return kSqlFailed;
  }
  db.Close();
  ConvertAll(rows);
  SortNewestFirst(rows);
  notes = std::move(rows);
  return kOk;
}

int NoteExtractor::RunNewerStore(const std::string& path, NoteList& notes) {
  int code = kOk;
  SqliteDb db;
  int rc = db.OpenReadOnly(path);
  if (rc != SQLITE_OK) {
    code = rc;
  } else {
    std::vector<std::string> tableColumns;
    std::string sql = db.TableColumns(kNoteTable, tableColumns) == SQLITE_OK
                          ? NewerStoreSql(tableColumns)
                          : std::string(kNewerStoreSql);
    NoteList rows;
    if (db.ForEachRow(sql.c_str(), [&rows](int columns, char** values) {
          AddNewerStoreRow(rows, columns, values);
        }) != SQLITE_OK) {
      code = kSqlFailed;
    } else {
      ConvertAll(rows);
      notes = std::move(rows);
    }
  }
  db.Close();
  SortNewestFirst(notes);
  return code;
}

}  // namespace salvora
