#include "support/sample_databases.h"

#include <algorithm>
#include <cstdio>

#include "support/internal/schemas.h"
#include "support/internal/sql_writer.h"

namespace salvora::sample {
namespace {

// Seconds from 1970-01-01 to 2001-01-01.
constexpr int64_t kAppleEpoch = 978307200;

// A stable guid text for row `n` of a table, in the 8-4-4-4-12 form the phone uses.
std::string Guid(uint32_t table, int64_t n) {
  char text[40];
  uint64_t v = static_cast<uint64_t>(n) * 0x9E3779B97F4A7C15ull ^ table;
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(table),
                static_cast<unsigned>((v >> 48) & 0xFFFF),
                static_cast<unsigned>((v >> 32) & 0xFFFF),
                static_cast<unsigned>((v >> 16) & 0xFFFF),
                static_cast<unsigned long long>(n & 0xFFFFFFFFFFFFll));
  return text;
}

const char* const* SmsSchema(int generation) {
  if (generation <= 7) return kSms7;
  if (generation <= 9) return kSms9;
  if (generation <= 12) return kSms12;
  return kSms15;
}

}  // namespace

bool IsKnownGeneration(int generation) {
  return std::find(std::begin(kGenerations), std::end(kGenerations), generation) !=
         std::end(kGenerations);
}

int64_t SmsDate(int generation, int64_t unix_seconds) {
  int64_t apple = unix_seconds - kAppleEpoch;
  return generation >= 11 ? apple * 1000000000 : apple;
}

int WriteMessagesDb(const std::filesystem::path& path, int generation, const MessagesData& data) {
  SqlWriter db;
  db.Create(path);
  db.ExecList(SmsSchema(generation));
  {
    Inserter handle(db, "handle", {"ROWID", "id", "country", "service", "uncanonicalized_id"});
    for (const SmsHandle& h : data.handles) {
      handle.Row({h.rowid, h.id, "us", h.service, nullptr});
    }
  }
  {
    Inserter chat(
        db, "chat",
        {"ROWID", "guid", "style", "state", "account_id", "chat_identifier", "service_name",
         "room_name", "account_login", "is_archived", "display_name", "group_id"});
    Inserter join(db, "chat_handle_join", {"chat_id", "handle_id"});
    for (const SmsChat& c : data.chats) {
      std::string guid = std::string(c.group ? "iMessage;+;" : "SMS;-;") + c.identifier;
      std::string room = c.group ? c.identifier : std::string();
      chat.Row({c.rowid, guid, c.group ? 43 : 45, 3, Guid(1, c.rowid), c.identifier,
                c.group ? "iMessage" : "SMS", c.group ? SqlValue(room) : SqlValue(), "E:", 0,
                c.display_name, Guid(2, c.rowid)});
      for (int64_t h : c.handle_rowids) join.Row({c.rowid, h});
    }
  }
  {
    Inserter attachment(
        db, "attachment",
        {"ROWID", "guid", "created_date", "start_date", "filename", "uti", "mime_type",
         "transfer_state", "is_outgoing", "transfer_name", "total_bytes", "original_guid"});
    for (const SmsAttachment& a : data.attachments) {
      std::string guid = Guid(3, a.rowid);
      attachment.Row({a.rowid, guid, 0, 0, a.filename, a.uti, a.mime_type, 5, a.is_outgoing,
                      a.transfer_name, a.total_bytes, guid});
    }
  }
  {
    Inserter message(db, "message",
                     {"ROWID", "guid", "text", "handle_id", "service", "account", "date",
                      "date_read", "date_delivered", "is_delivered", "is_finished", "is_from_me",
                      "is_read", "is_sent", "cache_has_attachments"});
    Inserter cmj(db, "chat_message_join", {"chat_id", "message_id", "message_date"});
    Inserter maj(db, "message_attachment_join", {"message_id", "attachment_id"});
    for (const SmsMessage& m : data.messages) {
      message.Row({m.rowid, Guid(4, m.rowid), m.text, m.handle_id, m.service, "e:", m.date,
                   m.is_from_me ? SqlValue(0) : SqlValue(m.date), m.date, 1, 1, m.is_from_me,
                   !m.is_from_me, m.is_from_me, !m.attachment_rowids.empty()});
      for (int64_t c : m.chat_rowids) cmj.Row({c, m.rowid, m.date});
      for (int64_t a : m.attachment_rowids) maj.Row({m.rowid, a});
    }
  }
  return db.Finish();
}

AddressBookLayout DefaultAddressBookLayout(int generation) {
  return generation <= 9 ? AddressBookLayout::kC15Phone : AddressBookLayout::kC16Phone;
}

std::string PhoneSpellings(const std::string& number) {
  std::string digits;
  for (char c : number) {
    if (c >= '0' && c <= '9') digits += c;
  }
  std::string out = number;
  auto add = [&out](const std::string& s) {
    if (s.empty()) return;
    // Whole-word duplicates only; a spelling that is part of another is still its own word.
    std::string padded = " " + out + " ";
    if (padded.find(" " + s + " ") == std::string::npos) out += " " + s;
  };
  if (digits.size() == 11 && digits[0] == '1') {
    // North American numbers: the formatted form, with and without the country code.
    std::string local = digits.substr(1);
    add("+1 (" + local.substr(0, 3) + ") " + local.substr(3, 3) + "-" + local.substr(6));
    add("+" + digits);
    add(digits);
    add(local);
    add("(" + local.substr(0, 3) + ") " + local.substr(3, 3) + "-" + local.substr(6));
  } else {
    add("+" + digits);
    add(digits);
  }
  return out;
}

int WriteAddressBookDb(const std::filesystem::path& path, int generation, AddressBookLayout layout,
                       const AddressBookData& data) {
  const bool c16 = layout == AddressBookLayout::kC16Phone;
  const char* const* schema = c16 ? (generation >= 17 ? kAddressBook16 : kAddressBook15)
                                  : (generation <= 7 ? kAddressBook7 : kAddressBook9);
  SqlWriter db;
  db.Create(path);
  db.ExecList(schema);
  Inserter person(db, "ABPerson",
                  {"ROWID", "First", "Last", "Organization", "Kind", "CreationDate",
                   "ModificationDate", "DisplayName", "StoreID", "guid"});
  Inserter multi(db, "ABMultiValue",
                 {"UID", "record_id", "property", "identifier", "label", "value", "guid"});
  Inserter content(
      db, "ABPersonFullTextSearch_content",
      c16 ? std::initializer_list<const char*>{"docid", "c0First", "c1Last", "c6Organization",
                                               "c15DisplayName", "c16Phone", "c17Email", "c20URL"}
          : std::initializer_list<const char*>{"docid", "c0First", "c1Last", "c6Organization",
                                               "c14DisplayName", "c15Phone", "c16Email", "c19URL"});
  int64_t uid = 0;
  for (const Person& p : data.people) {
    std::string display;
    if (p.first) display = *p.first;
    if (p.last) display += (display.empty() ? "" : " ") + *p.last;
    person.Row({p.rowid, p.first, p.last, p.organization, 0, 500000000 + p.rowid,
                500000000 + p.rowid, nullptr, 0, Guid(5, p.rowid)});
    int identifier = 0;
    // ABMultiValue property numbers: 3 phone, 4 e-mail, 22 URL.
    for (const std::string& ph : p.phones) {
      multi.Row({++uid, p.rowid, 3, identifier++, 1, ph, Guid(6, uid)});
    }
    if (p.email) multi.Row({++uid, p.rowid, 4, identifier++, 2, *p.email, Guid(6, uid)});
    if (p.url) multi.Row({++uid, p.rowid, 22, identifier++, 3, *p.url, Guid(6, uid)});
    content.Row({p.rowid, p.first, p.last, p.organization,
                 display.empty() ? SqlValue() : SqlValue(display), p.phone_text, p.email, p.url});
  }
  return db.Finish();
}

int WriteCallHistoryDb(const std::filesystem::path& path, int generation, CallStore store,
                       const CallHistoryData& data) {
  SqlWriter db;
  db.Create(path);
  if (store == CallStore::kOlder) {
    db.ExecList(generation <= 7 ? kOldCallHistory7 : kOldCallHistory9);
    Inserter call(db, "call",
                  {"ROWID", "address", "date", "duration", "flags", "id", "name", "country_code",
                   "read", "answered"});
    for (const Call& c : data.calls) {
      // flags: bit 0 outgoing, bit 2 a voice call.
      call.Row({c.rowid, c.address, c.unix_date, static_cast<int64_t>(c.duration),
                c.originated ? 5 : 4, -1, nullptr, "us", 1, c.answered});
    }
  } else {
    db.ExecList(generation <= 9    ? kCallHistory9
                : generation <= 12 ? kCallHistory12
                                   : kCallHistory17);
    Inserter call(db, "ZCALLRECORD",
                  {"Z_PK", "Z_ENT", "Z_OPT", "ZANSWERED", "ZCALLTYPE", "ZORIGINATED", "ZREAD",
                   "ZDATE", "ZDURATION", "ZADDRESS", "ZISO_COUNTRY_CODE", "ZUNIQUE_ID",
                   "ZHANDLE_TYPE", "ZSERVICE_PROVIDER", "ZCALL_CATEGORY"});
    for (const Call& c : data.calls) {
      call.Row({c.rowid, 2, 1, c.answered, 1, c.originated, 1,
                static_cast<double>(c.unix_date - kAppleEpoch), c.duration, c.address, "us",
                Guid(7, c.rowid), 2, "com.apple.Telephony", 1});
    }
  }
  return db.Finish();
}

const char* NoteCreationColumn(int generation) {
  if (generation <= 9) return "ZCREATIONDATE";
  if (generation <= 12) return "ZCREATIONDATE1";
  return "ZCREATIONDATE3";
}

int WriteNotesDb(const std::filesystem::path& path, int generation, NoteStore store,
                 const NotesData& data) {
  SqlWriter db;
  db.Create(path);
  if (store == NoteStore::kOlder) {
    db.ExecList(generation <= 7 ? kOldNotes7 : kOldNotes9);
    db.Exec(
        "INSERT INTO ZSTORE (Z_PK, Z_ENT, Z_OPT, ZACCOUNT, ZNAME) "
        "VALUES (1, 3, 1, 1, 'Notes');");
    Inserter note(
        db, "ZNOTE",
        {"Z_PK", "Z_ENT", "Z_OPT", "ZCONTAINSCJK", "ZCONTENTTYPE", "ZDELETEDFLAG", "ZINTEGERID",
         "ZBODY", "ZSTORE", "ZCREATIONDATE", "ZMODIFICATIONDATE", "ZGUID", "ZSUMMARY", "ZTITLE"});
    Inserter body(db, "ZNOTEBODY", {"Z_PK", "Z_ENT", "Z_OPT", "ZOWNER", "ZCONTENT"});
    for (const Note& n : data.notes) {
      note.Row({n.rowid, 1, 1, 0, 0, 0, n.rowid, n.rowid, 1, n.created, n.created, Guid(8, n.rowid),
                n.snippet, n.title});
      body.Row({n.rowid, 2, 1, n.rowid, n.body});
    }
    return db.Finish();
  }
  const char* const* schema = generation <= 9    ? kNoteStore9
                              : generation <= 12 ? kNoteStore12
                              : generation <= 15 ? kNoteStore15
                                                 : kNoteStore17;
  db.ExecList(schema);
  // Entity numbers of the newer store's model: 13 account, 14 folder, 11 note (as on iOS 15).
  db.Exec(
      "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZNAME, ZIDENTIFIER) "
      "VALUES (1, 13, 1, 'On My iPhone', 'LocalAccount');");
  db.Exec(
      "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZTITLE2, ZIDENTIFIER) "
      "VALUES (2, 14, 1, 'Notes', 'DefaultFolder-LocalAccount');");
  const std::string created_column = NoteCreationColumn(generation);
  // Folder, account and date columns differ between generations; a column the store lacks
  // is left out of the row.
  Inserter note(db, "ZICCLOUDSYNCINGOBJECT",
                {"Z_PK", "Z_ENT", "Z_OPT", "ZTITLE1", "ZSNIPPET", "ZCREATIONDATE", "ZCREATIONDATE1",
                 "ZCREATIONDATE3", "ZMODIFICATIONDATE1", "ZIDENTIFIER", "ZISPASSWORDPROTECTED",
                 "ZFOLDER", "ZACCOUNT2", "ZNOTEDATA"});
  Inserter note_data(db, "ZICNOTEDATA", {"Z_PK", "Z_ENT", "Z_OPT", "ZNOTE", "ZDATA"});
  int64_t pk = 2;
  for (const Note& n : data.notes) {
    ++pk;
    auto when = [&](const char* column) {
      return created_column == column ? SqlValue(n.created) : SqlValue();
    };
    note.Row({pk, 11, 1, n.title, n.locked ? SqlValue() : SqlValue(n.snippet),
              when("ZCREATIONDATE"), when("ZCREATIONDATE1"), when("ZCREATIONDATE3"), n.created,
              Guid(9, pk), n.locked, 2, 1, pk - 2});
    // ZDATA holds the gzip-compressed note body on a phone; the readers use the snippet only.
    note_data.Row({pk - 2, 17, 1, pk, nullptr});
  }
  return db.Finish();
}

int WriteWhatsAppDb(const std::filesystem::path& path, const WhatsAppData& data) {
  SqlWriter db;
  db.Create(path);
  db.ExecList(kChatStorage);
  {
    Inserter chat(db, "ZWACHATSESSION",
                  {"Z_PK", "Z_ENT", "Z_OPT", "ZARCHIVED", "ZHIDDEN", "ZREMOVED", "ZSESSIONTYPE",
                   "ZUNREADCOUNT", "ZMESSAGECOUNTER", "ZCONTACTJID", "ZPARTNERNAME"});
    for (const WaChat& c : data.chats) {
      int64_t count = std::count_if(data.messages.begin(), data.messages.end(),
                                    [&c](const WaMessage& m) { return m.chat == c.pk; });
      chat.Row({c.pk, 4, 1, 0, 0, 0, c.group ? 1 : 0, 0, count, c.contact_jid, c.partner_name});
    }
  }
  {
    Inserter member(db, "ZWAGROUPMEMBER",
                    {"Z_PK", "Z_ENT", "Z_OPT", "ZISACTIVE", "ZISADMIN", "ZCHATSESSION",
                     "ZCONTACTNAME", "ZMEMBERJID"});
    for (const WaMember& m : data.members) {
      member.Row({m.pk, 6, 1, 1, 0, m.chat, m.contact_name, m.member_jid});
    }
  }
  {
    Inserter message(db, "ZWAMESSAGE",
                     {"Z_PK", "Z_ENT", "Z_OPT", "ZISFROMME", "ZMESSAGESTATUS", "ZMESSAGETYPE",
                      "ZSORT", "ZCHATSESSION", "ZMEDIAITEM", "ZMESSAGEDATE", "ZSENTDATE",
                      "ZFROMJID", "ZPUSHNAME", "ZSTANZAID", "ZTEXT"});
    for (const WaMessage& m : data.messages) {
      message.Row({m.pk, 9, 1, m.is_from_me, m.is_from_me ? 8 : 6, m.message_type, m.pk, m.chat,
                   m.media_item == 0 ? SqlValue() : SqlValue(m.media_item), m.date, m.date,
                   m.from_jid, m.push_name, Guid(10, m.pk), m.text});
    }
  }
  {
    Inserter media(
        db, "ZWAMEDIAITEM",
        {"Z_PK", "Z_ENT", "Z_OPT", "ZFILESIZE", "ZMESSAGE", "ZMEDIALOCALPATH", "ZTITLE"});
    for (const WaMediaItem& m : data.media) {
      media.Row({m.pk, 8, 1, m.file_size, m.message, m.local_path, m.title});
    }
  }
  return db.Finish();
}

}  // namespace salvora::sample
