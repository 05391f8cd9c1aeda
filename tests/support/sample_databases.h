// Writers of single phone databases with the real schemas of an iOS generation, for tests
// that need a small database with exactly the rows they name.
//
// Every writer creates (or replaces) the file at `path` with the CREATE TABLE texts of real
// files of that generation, inserts the given rows in the given order in one transaction and
// leaves a checkpointed rollback-journal database (no -wal, no -journal beside it). Columns
// that a generation's table does not have are left out silently, so one row type serves every
// generation. `std::nullopt` is written as SQL NULL, an empty string as an empty text.
//
// Each writer returns 0, or SQLite's result code of the first statement that failed (the file
// is then incomplete). The same input gives the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace salvora::sample {

using OptText = std::optional<std::string>;

// The iOS generations the builder lays out. 7 and 9 use "Manifest.mbdb" and the flat layout,
// 12, 15 and 17 "Manifest.db" and the two-level layout.
inline constexpr int kGenerations[] = {7, 9, 12, 15, 17};
[[nodiscard]] bool IsKnownGeneration(int generation);

// ---- messages (sms.db, HomeDomain-Library/SMS/sms.db) ----

struct SmsHandle {
  int64_t rowid = 0;
  std::string id;  // phone number or e-mail address
  std::string service = "SMS";
};

struct SmsChat {
  int64_t rowid = 0;
  std::string identifier;              // chat_identifier
  OptText display_name;                // group name
  bool group = false;                  // style 43 (group) instead of 45
  std::vector<int64_t> handle_rowids;  // chat_handle_join
};

struct SmsMessage {
  int64_t rowid = 0;
  OptText text;
  int64_t handle_id = 0;  // 0: no handle (own or system messages)
  bool is_from_me = false;
  std::optional<int64_t> date;       // raw message.date: seconds or nanoseconds since 2001
  std::vector<int64_t> chat_rowids;  // chat_message_join rows
  std::vector<int64_t> attachment_rowids;
  std::string service = "SMS";
};

struct SmsAttachment {
  int64_t rowid = 0;
  OptText filename;  // "~/Library/SMS/Attachments/xx/yy/GUID/name"
  OptText mime_type;
  OptText uti;
  OptText transfer_name;
  int64_t total_bytes = 0;
  bool is_outgoing = false;
};

struct MessagesData {
  std::vector<SmsHandle> handles;
  std::vector<SmsChat> chats;
  std::vector<SmsMessage> messages;
  std::vector<SmsAttachment> attachments;
};

// Raw message.date of a Unix time in the unit of a generation: seconds since 2001 up to
// iOS 9, nanoseconds since 2001 from iOS 12 (the switch came with iOS 11).
[[nodiscard]] int64_t SmsDate(int generation, int64_t unix_seconds);

[[nodiscard]] int WriteMessagesDb(const std::filesystem::path& path, int generation,
                                  const MessagesData& data);

// ---- address book (AddressBook.sqlitedb) ----

// Column layout of ABPersonFullTextSearch_content: c15Phone/c16Email/c19URL (iOS 7 to 9) or
// c16Phone/c17Email/c20URL (c7OrganizationPhonetic inserted; iOS 12 and later here).
enum class AddressBookLayout { kC15Phone, kC16Phone };
[[nodiscard]] AddressBookLayout DefaultAddressBookLayout(int generation);

struct Person {
  int64_t rowid = 0;
  OptText first;
  OptText last;
  OptText organization;
  // The full-text phone column as the phone keeps it: every spelling of every number,
  // separated by blanks. nullopt or empty: a person without phone.
  OptText phone_text;
  std::vector<std::string> phones;  // ABMultiValue rows (property 3)
  OptText email;
  OptText url;
};

struct AddressBookData {
  std::vector<Person> people;
};

// The blank-separated spellings that the phone indexes for one number given as digits with
// an optional leading "+" (for example "+1 (555) 010-0001 +15550100001 15550100001
// 5550100001" for "+15550100001"); the number itself is always one of them.
[[nodiscard]] std::string PhoneSpellings(const std::string& number);

[[nodiscard]] int WriteAddressBookDb(const std::filesystem::path& path, int generation,
                                     AddressBookLayout layout, const AddressBookData& data);

// ---- call history ----

// The current store is CallHistory.storedata (ZCALLRECORD, iOS 8 and later; HomeDomain); the
// older one call_history.db (table "call", up to iOS 9; WirelessDomain).
enum class CallStore { kCurrent, kOlder };

struct Call {
  int64_t rowid = 0;
  OptText address;
  int64_t unix_date = 0;
  double duration = 0;  // seconds; may have a fraction
  bool answered = false;
  bool originated = false;
};

struct CallHistoryData {
  std::vector<Call> calls;
};

// The older store exists only up to iOS 9; the current store from iOS 9 here (generation 7
// writes only the older one, generation 9 both).
[[nodiscard]] int WriteCallHistoryDb(const std::filesystem::path& path, int generation,
                                     CallStore store, const CallHistoryData& data);

// ---- notes ----

// The older store is notes.sqlite (ZNOTE, ZNOTEBODY; HomeDomain), the newer NoteStore.sqlite
// (ZICCLOUDSYNCINGOBJECT; AppDomainGroup-group.com.apple.notes).
enum class NoteStore { kOlder, kNewer };

struct Note {
  int64_t rowid = 0;  // Z_PK in the older store; in the newer one assigned after the folder
  OptText title;
  OptText body;                   // older store: ZNOTEBODY.ZCONTENT, HTML-like
  OptText snippet;                // newer store: ZSNIPPET
  std::optional<double> created;  // seconds since 2001
  bool locked = false;            // newer store: password protected (no snippet on phones)
};

struct NotesData {
  std::vector<Note> notes;
};

// Which creation-date column of ZICCLOUDSYNCINGOBJECT the phone fills for notes: ZCREATIONDATE
// on iOS 9, ZCREATIONDATE1 on iOS 12, ZCREATIONDATE3 on iOS 15 and 17 (the others NULL).
[[nodiscard]] const char* NoteCreationColumn(int generation);

[[nodiscard]] int WriteNotesDb(const std::filesystem::path& path, int generation, NoteStore store,
                               const NotesData& data);

// ---- WhatsApp (ChatStorage.sqlite) ----

struct WaChat {
  int64_t pk = 0;
  OptText contact_jid;   // "15550100001@s.whatsapp.net", groups "...-...@g.us"
  OptText partner_name;  // contact or group name
  bool group = false;
};

struct WaMember {
  int64_t pk = 0;
  int64_t chat = 0;
  OptText member_jid;
  OptText contact_name;
};

struct WaMessage {
  int64_t pk = 0;
  int64_t chat = 0;
  bool is_from_me = false;
  std::optional<double> date;  // seconds since 2001, integer or fractional
  OptText push_name;
  OptText text;
  OptText from_jid;
  int64_t media_item = 0;
  int message_type = 0;  // 0 text, 1 image, 2 video, 3 audio
};

struct WaMediaItem {
  int64_t pk = 0;
  int64_t message = 0;
  OptText title;
  OptText local_path;
  int64_t file_size = 0;
};

struct WhatsAppData {
  std::vector<WaChat> chats;
  std::vector<WaMember> members;
  std::vector<WaMessage> messages;
  std::vector<WaMediaItem> media;
};

[[nodiscard]] int WriteWhatsAppDb(const std::filesystem::path& path, const WhatsAppData& data);

}  // namespace salvora::sample
