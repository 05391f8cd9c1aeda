#include "scan/scan_results.h"

namespace salvora {

namespace {

uint32_t Files(const AppFileMap& apps) {
  size_t n = 0;
  for (const auto& [name, list] : apps) n += list.size();
  return static_cast<uint32_t>(n);
}

}  // namespace

void ScanResults::Clear() { *this = ScanResults{}; }

uint32_t ScanResults::Count(CategoryId category) const {
  size_t n = 0;
  switch (category) {
    case CategoryId::CameraRoll:
      n = cameraRoll.size();
      break;
    case CategoryId::PhotoStream:
      n = photoStream.size();
      break;
    case CategoryId::AppPhotos:
      return Files(appPhotos);
    case CategoryId::AppVideos:
      return Files(appVideos);
    case CategoryId::Messages:
      n = messageRows.size();
      break;
    case CategoryId::MessageAttachments:
      n = messageAttachments.size();
      break;
    case CategoryId::Contacts:
      n = contacts.size();
      break;
    case CategoryId::CallHistory:
      n = calls.size();
      break;
    case CategoryId::Notes:
      n = notes.size();
      break;
    case CategoryId::WhatsApp:
      n = whatsAppRows.size();
      break;
    case CategoryId::WhatsAppAttachments:
      n = whatsAppAttachments.size();
      break;
  }
  return static_cast<uint32_t>(n);
}

}  // namespace salvora
