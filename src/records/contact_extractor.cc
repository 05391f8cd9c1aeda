#include "records/contact_extractor.h"

#include <algorithm>

#include "core/result_codes.h"
#include "core/text.h"
#include "records/sql_row.h"

namespace salvora {
namespace {

// Both layouts select the same roles in the same positions.
enum Column { kFirst = 0, kLast, kOrganization, kPhone, kEmail, kUrl };

void AddRow(ContactList& rows, int columns, char** values) {
  SqlRow row(columns, values);
  ContactRecord contact;
  contact.phone = row.Text(kPhone);
  // People without a phone number are neither listed nor used to name anything.
  if (contact.phone.empty()) return;
  contact.name = row.Text(kFirst);
  std::u16string last = row.Text(kLast);
  if (!contact.name.empty() && !last.empty()) contact.name.push_back(u' ');
  contact.name += last;
  contact.organization = row.Text(kOrganization);
  contact.email = row.Text(kEmail);
  contact.url = row.Text(kUrl);
  rows.push_back(std::move(contact));
}

}  // namespace

int ContactExtractor::ReadRows(SqliteDb& addressBook, ContactList& rows) {
  auto add = [&rows](int columns, char** values) { AddRow(rows, columns, values); };
  if (addressBook.ForEachRow(kFirstLayoutSql, add) == SQLITE_OK) return kOk;
  // No test of the layout other than the first text failing: an older address book lacks
  // c16Phone/c17Email/c20URL. What the second text yields counts, but the code stays 1006.
  (void)addressBook.ForEachRow(kSecondLayoutSql, add);
  return kSqlFailed;
}

int ContactExtractor::Run(const std::string& addressBookPath, ContactList& contacts) {
  SqliteDb db;
  int rc = db.OpenReadOnly(addressBookPath);
  if (rc != SQLITE_OK) return rc;
  ContactList rows;
  int code = ReadRows(db, rows);
  db.Close();
  for (ContactRecord& contact : rows) {
    if (contact.name.empty()) contact.name = u"No Name";
  }
  std::stable_sort(rows.begin(), rows.end(), [](const ContactRecord& a, const ContactRecord& b) {
    return CompareNoCase(a.name, b.name) < 0;
  });
  contacts = std::move(rows);
  return code;
}

}  // namespace salvora
