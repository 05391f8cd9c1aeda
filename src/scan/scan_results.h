// The containers a scan fills: one per category, the two conversation maps and the two app
// maps. The scan session owns them; engines fill them by reference.
#pragma once

#include <cstdint>

#include "core/category_id.h"
#include "core/records.h"

namespace salvora {

struct ScanResults {
  FileList cameraRoll;
  FileList photoStream;
  AppFileList appFiles;     // as ReadAppFiles returns them, before the split
  MessageList messageRows;  // one row per conversation of `messages`
  FileList messageAttachments;
  ContactList contacts;
  CallList calls;
  ChatList whatsAppRows;  // one row per conversation of `whatsApp`
  FileList whatsAppAttachments;
  NoteList notes;
  AppFileMap appPhotos;
  AppFileMap appVideos;
  MessageMap messages;  // conversations by handleId
  ChatMap whatsApp;     // conversations by chatId

  // Empties every container.
  void Clear();

  // The count the category's tree node shows: the records of its container, the
  // conversations of a chat category (its rows), the files over all apps of an app category.
  // 0 for a value that is no category.
  [[nodiscard]] uint32_t Count(CategoryId category) const;
};

}  // namespace salvora
