// The eleven data categories of a scan. The value is the code stored with every statistics
// entry; the tree shows them in two groups, 1 to 4 and 5 to 11, in value order.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace salvora {

enum class CategoryId : int32_t {
  CameraRoll = 1,
  PhotoStream = 2,
  AppPhotos = 3,
  AppVideos = 4,
  Messages = 5,
  MessageAttachments = 6,
  Contacts = 7,
  CallHistory = 8,
  Notes = 9,
  WhatsApp = 10,
  WhatsAppAttachments = 11,
};

inline constexpr std::array<CategoryId, 11> kAllCategories = {
    CategoryId::CameraRoll,  CategoryId::PhotoStream,        CategoryId::AppPhotos,
    CategoryId::AppVideos,   CategoryId::Messages,           CategoryId::MessageAttachments,
    CategoryId::Contacts,    CategoryId::CallHistory,        CategoryId::Notes,
    CategoryId::WhatsApp,    CategoryId::WhatsAppAttachments};

// The identifier as written in code and JSON ("CameraRoll", ...); empty for other values.
[[nodiscard]] constexpr std::string_view CategoryName(CategoryId id) {
  switch (id) {
    case CategoryId::CameraRoll: return "CameraRoll";
    case CategoryId::PhotoStream: return "PhotoStream";
    case CategoryId::AppPhotos: return "AppPhotos";
    case CategoryId::AppVideos: return "AppVideos";
    case CategoryId::Messages: return "Messages";
    case CategoryId::MessageAttachments: return "MessageAttachments";
    case CategoryId::Contacts: return "Contacts";
    case CategoryId::CallHistory: return "CallHistory";
    case CategoryId::Notes: return "Notes";
    case CategoryId::WhatsApp: return "WhatsApp";
    case CategoryId::WhatsAppAttachments: return "WhatsAppAttachments";
  }
  return {};
}

// The label of the category's tree node, before its " (n)" count.
[[nodiscard]] constexpr std::string_view CategoryTreeLabel(CategoryId id) {
  switch (id) {
    case CategoryId::CameraRoll: return "Camera Roll";
    case CategoryId::PhotoStream: return "Photo Stream";
    case CategoryId::AppPhotos: return "App Photos";
    case CategoryId::AppVideos: return "App Videos";
    case CategoryId::Messages: return "Messages";
    case CategoryId::MessageAttachments: return "Messages Attachments";
    case CategoryId::Contacts: return "Contacts";
    case CategoryId::CallHistory: return "Call History";
    case CategoryId::Notes: return "Notes";
    case CategoryId::WhatsApp: return "WhatsApp";
    case CategoryId::WhatsAppAttachments: return "WhatsApp Attachments";
  }
  return {};
}

}  // namespace salvora
