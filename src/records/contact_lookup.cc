#include "records/contact_lookup.h"

#include <algorithm>
#include <limits>

#include "core/text.h"
#include "records/contact_extractor.h"

namespace salvora {
namespace {

constexpr size_t kGram = 4;

uint64_t GramKey(const char16_t* p) {
  return (uint64_t{p[0]} << 48) | (uint64_t{p[1]} << 32) | (uint64_t{p[2]} << 16) | p[3];
}

}  // namespace

int ContactLookup::Read(SqliteDb& addressBook) {
  ContactList rows;
  int code = ContactExtractor::ReadRows(addressBook, rows);
  Assign(std::move(rows));
  return code;
}

void ContactLookup::Assign(ContactList contacts) {
  contacts_ = std::move(contacts);
  cache_.clear();
  BuildIndex();
}

void ContactLookup::BuildIndex() {
  phones_.clear();
  phoneEnds_.clear();
  grams_.clear();
  size_t total = 0;
  for (const ContactRecord& c : contacts_) total += c.phone.size() + 1;
  phones_.reserve(total);
  phoneEnds_.reserve(contacts_.size());
  for (const ContactRecord& c : contacts_) {
    phones_ += c.phone;
    phoneEnds_.push_back(phones_.size());
    phones_.push_back(u'\0');
  }
  // Positions are stored in 32 bits; a larger buffer (never seen) is searched directly.
  if (phones_.size() >= std::numeric_limits<uint32_t>::max()) return;
  grams_.reserve(phones_.size());
  size_t begin = 0;
  for (size_t end : phoneEnds_) {
    for (size_t p = begin; p + kGram <= end; ++p) {
      grams_.push_back({GramKey(phones_.data() + p), static_cast<uint32_t>(p)});
    }
    begin = end + 1;
  }
  std::sort(grams_.begin(), grams_.end(), [](const Gram& a, const Gram& b) {
    return a.key != b.key ? a.key < b.key : a.pos < b.pos;
  });
}

int32_t ContactLookup::FirstMatch(std::u16string_view address) const {
  const size_t m = address.size();
  size_t found = std::u16string_view::npos;
  if (address.find(u'\0') != std::u16string_view::npos) {
    // Cannot come from a column text; would match across separators, so test each contact.
    for (size_t k = 0; k < contacts_.size(); ++k) {
      if (Contains(contacts_[k].phone, address)) return static_cast<int32_t>(k);
    }
    return -1;
  }
  if (m < kGram || (grams_.empty() && !phones_.empty())) {
    found = std::u16string_view(phones_).find(address);
  } else {
    // The address's rarest four-unit run; a run that occurs nowhere means no match at all.
    auto less = [](const Gram& g, uint64_t key) { return g.key < key; };
    auto greater = [](uint64_t key, const Gram& g) { return key < g.key; };
    size_t bestOffset = 0;
    std::vector<Gram>::const_iterator bestBegin, bestEnd;
    size_t bestCount = std::numeric_limits<size_t>::max();
    for (size_t i = 0; i + kGram <= m; ++i) {
      uint64_t key = GramKey(address.data() + i);
      auto first = std::lower_bound(grams_.begin(), grams_.end(), key, less);
      auto last = std::upper_bound(first, grams_.end(), key, greater);
      auto count = static_cast<size_t>(last - first);
      if (count < bestCount) {
        bestCount = count;
        bestBegin = first;
        bestEnd = last;
        bestOffset = i;
      }
      if (count == 0) return -1;
    }
    // Positions ascend, so the first one that holds the whole address is the earliest match.
    const std::u16string_view buffer(phones_);
    for (auto it = bestBegin; it != bestEnd; ++it) {
      if (it->pos < bestOffset) continue;
      size_t start = it->pos - bestOffset;
      if (buffer.substr(start, m) == address) {
        found = start;
        break;
      }
    }
  }
  if (found == std::u16string_view::npos) return -1;
  auto owner = std::upper_bound(phoneEnds_.begin(), phoneEnds_.end(), found);
  return static_cast<int32_t>(owner - phoneEnds_.begin());
}

const std::u16string& ContactLookup::NameFor(std::u16string_view address) {
  if (address.empty() || contacts_.empty()) return noName_;
  std::u16string key(address);
  auto it = cache_.find(key);
  if (it == cache_.end()) it = cache_.emplace(std::move(key), FirstMatch(address)).first;
  return it->second < 0 ? noName_ : contacts_[static_cast<size_t>(it->second)].name;
}

}  // namespace salvora
