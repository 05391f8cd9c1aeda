// CREATE TABLE texts of the phone databases by generation (see schemas.cc).
#pragma once

namespace salvora::sample {

// Each list ends with a null pointer.
extern const char* const kSms7[];
extern const char* const kSms9[];
extern const char* const kSms12[];
extern const char* const kSms15[];
extern const char* const kAddressBook7[];
extern const char* const kAddressBook9[];
extern const char* const kAddressBook15[];
extern const char* const kAddressBook16[];
extern const char* const kCallHistory9[];
extern const char* const kCallHistory12[];
extern const char* const kCallHistory17[];
extern const char* const kOldCallHistory7[];
extern const char* const kOldCallHistory9[];
extern const char* const kOldNotes7[];
extern const char* const kOldNotes9[];
extern const char* const kNoteStore9[];
extern const char* const kNoteStore12[];
extern const char* const kNoteStore15[];
extern const char* const kNoteStore17[];
extern const char* const kChatStorage[];
extern const char* const kManifestDb[];

}  // namespace salvora::sample
