// The records a scan produces and the containers an engine fills.
//
// Records are plain values: integers are 32-bit, flags are 0 for false, texts are UTF-16,
// and every date is a "YYYY-MM-DD HH:MM:SS" text. Database records start with `isDeleted`,
// non-zero for a record read from deleted database content; the extractors read live rows
// and always leave it 0. The caller owns every container and passes it to the engine by
// reference; the engine appends (or, where an operation says so, replaces).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace salvora {

// One SMS or iMessage message.
struct MessageRecord {
  int32_t isDeleted = 0;
  int32_t isFromMe = 0;
  int32_t rowId = 0;
  int32_t handleId = 0;  // the other party's handle; key of the conversation map
  std::u16string date;
  std::u16string address;      // the other party's phone number or e-mail address
  std::u16string contactName;  // from the address book; empty when no entry matches
  std::u16string text;         // never empty for a produced record
};

// One address-book person.
struct ContactRecord {
  int32_t isDeleted = 0;
  std::u16string email;
  std::u16string url;
  std::u16string phone;  // as the address book stores it, often several numbers; never empty
  std::u16string organization;
  std::u16string name;
};

// One call-log entry.
struct CallRecord {
  int32_t isDeleted = 0;
  int32_t answered = 0;  // non-zero: shown as "Incoming", zero: "Outgoing"
  int32_t duration = 0;  // whole seconds; 0 for calls that did not connect
  std::u16string date;
  std::u16string address;  // never empty for a produced record
  std::u16string contactName;
};

// One note.
struct NoteRecord {
  int32_t isDeleted = 0;
  std::u16string date;  // creation time
  std::u16string title;
  std::u16string content;  // plain text
};

// One WhatsApp message.
struct ChatRecord {
  int32_t isDeleted = 0;
  int32_t isFromMe = 0;
  int32_t messageId = 0;
  int32_t chatId = 0;  // key of the WhatsApp conversation map; never 0
  std::u16string date;
  std::u16string senderName;   // "Me" for own messages
  std::u16string text;         // body, or the media item's title when the body is empty
  std::u16string pushName;     // empty for own messages
  std::u16string memberNames;  // partner name, or group members' names joined by ","
  std::u16string memberJids;   // partner id, or group members' ids joined by ","
  std::u16string chatName;
};

// One file of the camera roll, photo stream, message attachments or WhatsApp attachments.
struct FileRecord {
  uint32_t size = 0;             // low 32 bits of the file size
  std::u16string name;           // display name
  std::filesystem::path path;    // the file's content on disk
};

// One file stored by an app (App Photos, App Videos).
struct AppFileRecord {
  uint32_t size = 0;
  std::u16string appName;  // bundle id without "com."/"net.", or "other"
  std::u16string fileName;
  std::filesystem::path path;
};

using MessageList = std::vector<MessageRecord>;
using ContactList = std::vector<ContactRecord>;
using CallList = std::vector<CallRecord>;
using NoteList = std::vector<NoteRecord>;
using ChatList = std::vector<ChatRecord>;
using FileList = std::vector<FileRecord>;
using AppFileList = std::vector<AppFileRecord>;

// Conversation maps: key ascending, each list in ascending date order.
using MessageMap = std::map<int32_t, MessageList>;  // by handleId
using ChatMap = std::map<int32_t, ChatList>;        // by chatId
// App map: app name ascending by code unit, each list in app-file-list order.
using AppFileMap = std::map<std::u16string, AppFileList>;

}  // namespace salvora
