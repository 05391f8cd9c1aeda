#include "support/internal/sample_content.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "support/sample_media.h"

namespace salvora::sample {
namespace {

constexpr int64_t kAppleEpoch = 978307200;

// Names and texts with the characters readers get wrong: accents, other scripts, emoji
// (outside the BMP), apostrophes, markup, commas and line breaks.
constexpr const char* kFirstNames[] = {"Ann",     "Zoë",    "José", "Łukasz", "Åsa",   "Mei",
                                       "Дмитрий", "Fatima", "Noah", "Olivia", "Chloé", "Søren",
                                       "Nguyễn",  "Aiko",   "Liam", "Emma"};
constexpr const char* kLastNames[] = {
    "Lee",   "Müller", "García", "Kowalski", "Öberg", "王",   "Иванова", "Al-Sayed",
    "Smith", "O'Neil", "Dubois", "Ødegaard", "Trần",  "Sato", "Brown",   "Rossi"};
constexpr const char* kTexts[] = {
    "On my way!",
    "Running 10 min late 🚗",
    "Can you call me?",
    "Happy birthday 🎉🎂",
    "See you at <b>noon</b>",
    "5 < 7 & 8 > 3",
    "Ça va? Très bien 👍",
    "Заберу тебя в 7",
    "明天见",
    "OK",
    "Line one\nLine two",
    "\"quoted\" and 'single'",
    "Tab\tseparated",
    "شكرا لك",
    "👨‍👩‍👧‍👦 family dinner on Sunday",
    "Let's meet at the café, ok?",
    "<div>pasted</div><br>&amp; more",
    "Groceries: milk, eggs, bread",
};
constexpr const char* kNoteTitles[] = {"Shopping list",  "Ideas 💡",       "Passwords? no!",
                                       "Recipe: crêpes", "Meeting notes", "Books to read",
                                       "Travel – Kyōto", "Todo"};
constexpr const char* kNoteBodies[] = {
    "<div>Milk</div><div>Eggs &amp; flour</div>",
    "First line<br>Second line",
    "Plain text without markup",
    "<div>Ask about &quot;the plan&quot;&nbsp;today</div>",
    "It&#39;s 3 &lt; 4",
    "Unicode: 日本語, Ελληνικά, emoji 😀",
};

template <size_t N>
const char* Pick(const char* const (&list)[N], uint64_t i) {
  return list[i % N];
}

std::string Format(const char* fmt, long long a, long long b = 0, long long c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, a, b, c);
  return text;
}

std::string PhoneNumber(int64_t n) { return Format("+1555%07lld", 100000 + n); }

// Deterministic uppercase GUID text from a number.
std::string GuidText(uint64_t v) {
  Rng r(v * 2654435761u + 17);
  uint64_t a = r.Next(), b = r.Next();
  return Format("%08llX-%04llX-", static_cast<long long>(a >> 32),
                static_cast<long long>((a >> 16) & 0xFFFF)) +
         Format("%04llX-%04llX-", static_cast<long long>(a & 0xFFFF),
                static_cast<long long>(b >> 48)) +
         Format("%012llX", static_cast<long long>(b & 0xFFFFFFFFFFFFull));
}

struct Builder {
  const SampleOptions& o;
  Rng rng;
  Content c;
  uint32_t clock = static_cast<uint32_t>(kSampleBaseTime - 400 * 86400);

  explicit Builder(const SampleOptions& options) : o(options), rng(options.seed) {}

  FileItem& Add(std::string domain, std::string path, int flags = kFlagFile) {
    FileItem f;
    f.domain = std::move(domain);
    f.path = std::move(path);
    f.flags = flags;
    f.mtime = clock;
    clock += 37;
    c.items.push_back(std::move(f));
    return c.items.back();
  }
  void Dir(const std::string& domain, const std::string& path) {
    Add(domain, path, kFlagDirectory);
  }
  FileItem& AddMedia(const std::string& domain, const std::string& path, MediaKind kind) {
    const sample::MediaFile& m = Media(kind);
    FileItem& f = Add(domain, path);
    f.bytes = m.bytes;
    f.detected = m.detected;
    f.video_or_audio = m.is_video_or_audio;
    return f;
  }
  FileItem& TextFile(const std::string& domain, const std::string& path, std::string text) {
    FileItem& f = Add(domain, path);
    f.owned = std::move(text);
    return f;
  }
  void Database(const std::string& domain, const std::string& path, DatabaseKind kind) {
    Add(domain, path).database = kind;
  }

  // ---- messages ----
  void Messages() {
    MessagesData& d = c.messages;
    const int gen = o.generation;
    int64_t chat_id = 0;
    for (int i = 0; i < o.handles; ++i) {
      SmsHandle h;
      h.rowid = i + 1;
      if (i % 5 == 4) {
        h.id = Format("friend%lld@example.com", i + 1);
        h.service = "iMessage";
      } else {
        h.id = PhoneNumber(i + 1);
        h.service = i % 2 ? "iMessage" : "SMS";
      }
      d.handles.push_back(h);
      SmsChat chat;
      chat.rowid = ++chat_id;
      chat.identifier = h.id;
      chat.handle_rowids = {h.rowid};
      d.chats.push_back(chat);
    }
    // Group chats of three people each.
    std::vector<int64_t> groups;
    for (int g = 0; o.handles >= 3 && g < std::max(1, o.handles / 20); ++g) {
      SmsChat chat;
      chat.rowid = ++chat_id;
      chat.group = true;
      chat.identifier = Format("chat%lld", 100000 + g);
      chat.display_name = g % 2 ? OptText() : OptText(Format("Team %lld 🏔", g + 1));
      for (int k = 0; k < 3; ++k) chat.handle_rowids.push_back((g * 3 + k) % o.handles + 1);
      groups.push_back(chat.rowid);
      d.chats.push_back(chat);
    }
    int64_t rowid = 0;
    const int64_t start = kSampleBaseTime - 300LL * 86400;
    const int64_t step = o.messages > 0 ? std::max<int64_t>(1, 290LL * 86400 / o.messages) : 1;
    for (int k = 0; k < o.messages && o.handles > 0; ++k) {
      SmsMessage m;
      m.rowid = ++rowid;
      int hi = rng.Below(o.handles);
      m.handle_id = hi + 1;
      m.service = d.handles[hi].service;
      m.is_from_me = rng.Chance(35);
      m.date = SmsDate(gen, start + k * step + rng.Below(30));
      int64_t chat = hi + 1;
      if (!groups.empty() && rng.Chance(10)) {
        chat = groups[rng.Below(static_cast<int>(groups.size()))];
        const SmsChat& gc = d.chats[chat - 1];
        m.handle_id = gc.handle_rowids[rng.Below(3)];
        // In a group the owner's messages carry no handle.
        if (m.is_from_me) m.handle_id = 0;
      }
      m.chat_rowids = {chat};
      int roll = rng.Below(100);
      if (roll < 2) {
        m.text = std::nullopt;
      } else if (roll < 3) {
        m.text = "";
      } else {
        m.text = Pick(kTexts, rng.Next());
      }
      d.messages.push_back(m);
    }
    if (o.edge_cases) MessageEdges(chat_id, rowid);
  }

  void MessageEdges(int64_t chat_id, int64_t rowid) {
    MessagesData& d = c.messages;
    const int gen = o.generation;
    const int64_t base = static_cast<int64_t>(d.handles.size());
    SmsHandle phone{base + 1, PhoneNumber(9001), "SMS"};
    SmsHandle mail{base + 2, "zoë.edge@example.com", "iMessage"};
    SmsHandle silent{base + 3, PhoneNumber(9003), "SMS"};  // a handle without messages
    d.handles.push_back(phone);
    d.handles.push_back(mail);
    d.handles.push_back(silent);
    SmsChat one{++chat_id, phone.id, std::nullopt, false, {phone.rowid}};
    SmsChat two{++chat_id, mail.id, std::nullopt, false, {mail.rowid}};
    SmsChat group{++chat_id, "chat999999", "Edge group 👪", true, {phone.rowid, mail.rowid}};
    d.chats.push_back(one);
    d.chats.push_back(two);
    d.chats.push_back(group);
    const int64_t t = kSampleBaseTime - 5 * 86400;
    auto add = [&](OptText text, int64_t handle, bool me, std::vector<int64_t> chats,
                   std::optional<int64_t> date) {
      SmsMessage m;
      m.rowid = ++rowid;
      m.text = std::move(text);
      m.handle_id = handle;
      m.is_from_me = me;
      m.chat_rowids = std::move(chats);
      m.date = date;
      d.messages.push_back(m);
      return m.rowid;
    };
    add("Hello <b>there</b> &amp; welcome 😀", phone.rowid, false, {one.rowid}, SmsDate(gen, t));
    add("Reply from the owner", phone.rowid, true, {one.rowid}, SmsDate(gen, t + 60));
    add("Group message from the owner: no handle", 0, true, {group.rowid}, SmsDate(gen, t + 120));
    add("Not in any chat", phone.rowid, false, {}, SmsDate(gen, t + 180));
    add("In two chats", phone.rowid, false, {one.rowid, group.rowid}, SmsDate(gen, t + 240));
    add(std::nullopt, phone.rowid, false, {one.rowid}, SmsDate(gen, t + 300));
    add("", mail.rowid, false, {two.rowid}, SmsDate(gen, t + 360));
    add("Mail handle, comma, and\nline break", mail.rowid, false, {two.rowid},
        SmsDate(gen, t + 420));
    add("Handle row missing", 987654, false, {one.rowid}, SmsDate(gen, t + 480));
    add("NULL date", phone.rowid, false, {one.rowid}, std::nullopt);
    if (gen >= 12) {
      // A message kept from before the switch to nanoseconds: a 9-digit seconds value.
      add("Old message in seconds", phone.rowid, false, {one.rowid}, SmsDate(9, t - 86400));
    }
  }

  // Message attachments: database rows and files under MediaDomain-Library/SMS/Attachments/.
  void Attachments() {
    MessagesData& d = c.messages;
    if (d.messages.empty() && o.message_attachments == 0 && !o.edge_cases) return;
    Dir("MediaDomain", "Library/SMS/Attachments");
    static constexpr MediaKind kinds[] = {MediaKind::kJpegExif, MediaKind::kHeic, MediaKind::kMov,
                                          MediaKind::kPng,      MediaKind::kGif,  MediaKind::kMp4};
    auto attach = [&](MediaKind kind, std::string name, bool empty_file, bool missing) {
      int64_t id = static_cast<int64_t>(d.attachments.size()) + 1;
      std::string guid = GuidText(id + 7000);
      std::string rel =
          Format("Library/SMS/Attachments/%02llx/%02lld/", id % 256, id % 16) + guid + "/" + name;
      FileItem& f = AddMedia("MediaDomain", rel, kind);
      if (empty_file) {
        f.bytes = {};
        f.detected = nullptr;
      }
      f.present = !missing;
      SmsAttachment a;
      a.rowid = id;
      a.filename = "~/" + rel;
      a.transfer_name = name;
      a.total_bytes = static_cast<int64_t>(f.bytes.size());
      a.mime_type = kind == MediaKind::kMov                                  ? "video/quicktime"
                    : kind == MediaKind::kMp4                                ? "video/mp4"
                    : kind == MediaKind::kHeic                               ? "image/heic"
                    : kind == MediaKind::kPng || kind == MediaKind::kPngTiny ? "image/png"
                    : kind == MediaKind::kGif                                ? "image/gif"
                                                                             : "image/jpeg";
      d.attachments.push_back(a);
      // Hang it on an incoming message that has a chat, when there is one.
      if (!d.messages.empty()) {
        SmsMessage& m = d.messages[static_cast<size_t>(id * 7919) % d.messages.size()];
        m.attachment_rowids.push_back(id);
      }
    };
    for (int i = 0; i < o.message_attachments; ++i) {
      MediaKind kind = kinds[i % 6];
      const MediaFile& m = Media(kind);
      attach(kind, Format("IMG_%04lld.", 5000 + i) + m.extension, false, false);
    }
    if (o.edge_cases) {
      attach(MediaKind::kPngTiny, "sticker.png", false, false);  // short but typed
      attach(MediaKind::kJpeg, "empty.jpeg", true, false);       // 0 bytes: never listed
      attach(MediaKind::kJpeg, "lost.jpeg", false, true);        // row without a file
      attach(MediaKind::kMp3, "Audio Message.mp3", false, false);
    }
  }

  // ---- address book ----
  void Contacts() {
    c.layout = o.address_book_layout.value_or(DefaultAddressBookLayout(o.generation));
    auto& people = c.contacts.people;
    int64_t row = 0;
    for (int j = 0; j < o.contacts; ++j) {
      Person p;
      p.rowid = ++row;
      p.first = kFirstNames[j % std::size(kFirstNames)];
      p.last = kLastNames[(j / 3 + j) % std::size(kLastNames)];
      if (j % 4 == 1) p.organization = "Acme, Inc.";
      if (j % 7 == 6) {
        p.email = Format("nophone%lld@example.com", j);  // no phone: never a contact
      } else {
        // Phone numbers of the first contacts are the message handles' numbers.
        std::string number =
            j < o.handles && j % 5 != 4 ? PhoneNumber(j + 1) : PhoneNumber(20000 + j);
        if (j < o.handles && j % 5 == 4) p.email = Format("friend%lld@example.com", j + 1);
        p.phones = {number};
        p.phone_text = PhoneSpellings(number);
      }
      if (j % 9 == 3) p.url = "https://example.com/~" + std::to_string(j);
      people.push_back(p);
    }
    if (!o.edge_cases) return;
    auto add = [&](OptText first, OptText last, std::vector<std::string> phones, OptText email) {
      Person p;
      p.rowid = ++row;
      p.first = std::move(first);
      p.last = std::move(last);
      p.email = std::move(email);
      p.phones = phones;
      std::string text;
      for (const std::string& n : phones) text += (text.empty() ? "" : " ") + PhoneSpellings(n);
      if (!text.empty()) p.phone_text = text;
      people.push_back(p);
    };
    add("Ann", "Lee", {PhoneNumber(9001)}, std::nullopt);  // names the edge handle
    add(std::nullopt, "Onlylast", {PhoneNumber(9101)}, std::nullopt);
    add(std::nullopt, std::nullopt, {PhoneNumber(9102)}, std::nullopt);  // "No Name"
    add("Mail", "Only", {}, "zoë.edge@example.com");                     // no phone
    add("Two", "Numbers", {PhoneNumber(9103), "+441632960001"}, std::nullopt);
    add("", "", {"12345"}, std::nullopt);  // empty names, short number
    Person org;
    org.rowid = ++row;
    org.organization = "Pizza <Napoli> & Co";
    org.phones = {"+39 06 555 0100"};
    org.phone_text = "+39 06 555 0100 +39065550100 39065550100";
    org.url = "https://pizza.example/";
    people.push_back(org);
  }

  // ---- call history ----
  void Calls() {
    c.has_current_calls = o.generation >= 9;
    c.has_older_calls = o.generation <= 9;
    auto make = [&](CallHistoryData& d, int count, int64_t first_row) {
      int64_t t = kSampleBaseTime - 200LL * 86400;
      const int64_t step = count > 0 ? std::max<int64_t>(60, 190LL * 86400 / count) : 60;
      for (int i = 0; i < count; ++i) {
        Call call;
        call.rowid = first_row + i;
        int who = rng.Below(std::max(1, o.handles + 5));
        call.address =
            who < o.handles && who % 5 != 4 ? PhoneNumber(who + 1) : PhoneNumber(30000 + who);
        call.unix_date = t + i * step;
        call.answered = rng.Chance(60);
        call.originated = !call.answered && rng.Chance(50);
        int roll = rng.Below(100);
        call.duration = roll < 15 ? 0.0 : rng.Below(3000) + rng.Below(10) / 10.0;
        d.calls.push_back(call);
      }
    };
    CallHistoryData& current = c.has_current_calls ? c.current_calls : c.older_calls;
    make(current, o.calls, 1);
    if (c.has_current_calls && c.has_older_calls) make(c.older_calls, o.calls / 4 + 2, 1);
    if (!o.edge_cases) return;
    int64_t row = static_cast<int64_t>(current.calls.size());
    const int64_t t = kSampleBaseTime - 3 * 86400;
    auto add = [&](OptText address, double duration, bool answered, bool originated) {
      Call call;
      call.rowid = ++row;
      call.address = std::move(address);
      call.duration = duration;
      call.answered = answered;
      call.originated = originated;
      call.unix_date = t + row * 90;
      current.calls.push_back(call);
    };
    add(PhoneNumber(9001), 0, false, true);  // canceled
    add(PhoneNumber(9001), 0, true, false);  // missed
    add(PhoneNumber(9001), 59, true, false);
    add(PhoneNumber(9001), 60, false, true);
    add(PhoneNumber(9103), 3600, true, false);
    add(PhoneNumber(9102), 12.7, true, false);
    add("1234", 30, true, false);                   // short code: never named
    add("12345", 31, true, false);                  // five characters: named
    add("zoë.edge@example.com", 125, true, false);  // FaceTime by e-mail
    add(std::nullopt, 10, true, false);
    add("", 11, true, false);
  }

  // ---- notes ----
  void Notes() {
    c.has_older_notes = o.generation <= 9;
    c.has_newer_notes = o.generation >= 9;
    NotesData& main = o.generation <= 9 ? c.older_notes : c.newer_notes;
    auto make = [&](NotesData& d, int count) {
      const double start = static_cast<double>(kSampleBaseTime - kAppleEpoch - 250LL * 86400);
      for (int i = 0; i < count; ++i) {
        Note n;
        n.rowid = static_cast<int64_t>(d.notes.size()) + 1;
        n.title = std::string(Pick(kNoteTitles, rng.Next()));
        std::string body = Pick(kNoteBodies, rng.Next());
        n.body = body;
        n.snippet = std::string(Pick(kTexts, rng.Next()));
        n.created = start + i * 3600.0 * 11 + rng.Below(1000) / 1000.0;
        d.notes.push_back(n);
      }
    };
    make(main, o.notes);
    if (o.generation == 9) make(c.newer_notes, std::max(1, o.notes / 2));
    if (!o.edge_cases) return;
    const double t = static_cast<double>(kSampleBaseTime - kAppleEpoch - 2 * 86400);
    auto add = [&](NotesData& d, OptText title, OptText body, OptText snippet, bool locked) {
      Note n;
      n.rowid = static_cast<int64_t>(d.notes.size()) + 1;
      n.title = std::move(title);
      n.body = std::move(body);
      n.snippet = std::move(snippet);
      n.locked = locked;
      n.created = t + static_cast<double>(n.rowid) * 60;
      d.notes.push_back(n);
    };
    for (NotesData* d : {c.has_older_notes ? &c.older_notes : nullptr,
                         c.has_newer_notes ? &c.newer_notes : nullptr}) {
      if (d == nullptr) continue;
      add(*d, "Hello world", "<div>Hello</div><div>World</div>", "Hello World", false);
      add(*d, "Tom &amp; Jerry", "&amp;lt;not a tag&amp;gt;", "&amp;lt;", false);
      add(*d, "Caps", "Line<BR>kept <b>bold</b>", "Line kept bold", false);
      add(*d, "Title only", "", std::nullopt, false);
      add(*d, std::nullopt, std::nullopt, std::nullopt, false);  // neither: not a note
      add(*d, "Locked note", std::nullopt, "secret", true);
      d->notes.back().created = std::nullopt;  // a note without a creation date
    }
  }

  // ---- WhatsApp ----
  void WhatsApp() {
    WhatsAppData& d = c.whatsapp;
    const double start = static_cast<double>(kSampleBaseTime - kAppleEpoch - 100LL * 86400);
    int64_t member_pk = 0;
    for (int i = 0; i < o.whatsapp_chats; ++i) {
      WaChat chat;
      chat.pk = i + 1;
      chat.group = i % 3 == 2;
      if (chat.group) {
        chat.contact_jid = Format("1555010%04lld-16000%05lld@g.us", i, i);
        chat.partner_name = Format("Family, friends & co %lld", i);
        for (int k = 0; k < 3; ++k) {
          WaMember m;
          m.pk = ++member_pk;
          m.chat = chat.pk;
          m.member_jid = Format("1555040%04lld@s.whatsapp.net", i * 3 + k);
          m.contact_name = std::string(kFirstNames[(i + k) % std::size(kFirstNames)]);
          d.members.push_back(m);
        }
      } else {
        chat.contact_jid = Format("1555030%04lld@s.whatsapp.net", i);
        chat.partner_name = std::string(kFirstNames[i % std::size(kFirstNames)]) + " " +
                            kLastNames[i % std::size(kLastNames)];
      }
      d.chats.push_back(chat);
    }
    int64_t pk = 0;
    for (int k = 0; k < o.whatsapp_messages && !d.chats.empty(); ++k) {
      const WaChat& chat = d.chats[rng.Below(static_cast<int>(d.chats.size()))];
      WaMessage m;
      m.pk = ++pk;
      m.chat = chat.pk;
      m.is_from_me = rng.Chance(40);
      // Real stores hold whole and fractional seconds.
      m.date = start + k * 40.0 + (k % 2 ? 0.25 : 0);
      if (!m.is_from_me && chat.group) {
        int who = rng.Below(3);
        m.push_name = Format("+1555040%04lld", (chat.pk - 1) * 3 + who);
        m.from_jid = chat.contact_jid;
      } else if (!m.is_from_me) {
        m.push_name = chat.partner_name;
        m.from_jid = chat.contact_jid;
      }
      int roll = rng.Below(100);
      m.text = roll < 3 ? OptText() : OptText(Pick(kTexts, rng.Next()));
      d.messages.push_back(m);
    }
    if (o.edge_cases) WhatsAppEdges(pk, member_pk);
  }

  void WhatsAppEdges(int64_t pk, int64_t member_pk) {
    WhatsAppData& d = c.whatsapp;
    const int64_t one = 900, group = 901;
    d.chats.push_back({one, "15550109001@s.whatsapp.net", "Ann Lee", false});
    d.chats.push_back({group, "15550109001-1600000000@g.us", "Edge group, \"quoted\"", true});
    d.members.push_back({++member_pk, group, "15550109001@s.whatsapp.net", "Ann Lee"});
    d.members.push_back({++member_pk, group, "15550109002@s.whatsapp.net", std::nullopt});
    d.members.push_back({++member_pk, group, "15550109003@s.whatsapp.net", "Bo, the third"});
    const double t = static_cast<double>(kSampleBaseTime - kAppleEpoch - 86400);
    auto add = [&](int64_t chat, bool me, OptText push, OptText text) {
      WaMessage m;
      m.pk = ++pk;
      m.chat = chat;
      m.is_from_me = me;
      m.push_name = std::move(push);
      m.text = std::move(text);
      m.date = t + static_cast<double>(pk % 1000) * 30;
      d.messages.push_back(m);
      return m.pk;
    };
    add(one, false, "Ann", "Hi, how are you?\nSecond line, with comma");
    add(one, true, std::nullopt, "Fine, thanks!\r\nAnd you?");
    add(group, false, "+15550109003", "Group hello from Bo");
    add(group, false, "+15550109002", "From a member without a name");
    add(group, false, "~unknown", "Push name matching nobody");
    add(one, false, "Ann", "Interleaved in the one-to-one chat");
    add(group, true, "me", "Owner in the group");
    add(group, false, "+15550109003", "");  // empty, no media: not listed
    int64_t captioned = add(group, false, "+15550109003", std::nullopt);
    d.media.push_back({static_cast<int64_t>(d.media.size()) + 1, captioned, "Beach 🏖, day 2",
                       std::nullopt, 0});
    add(0, false, "ghost", "Message without a chat id");
    add(4242, false, "nobody", "Chat row missing");
    add(one, false, "Ann", "<b>not bold</b> &amp; \"csv\", \"breaker\"\n");
  }

  void WhatsAppMedia() {
    WhatsAppData& d = c.whatsapp;
    if (o.whatsapp_media == 0 && !o.edge_cases) return;
    const std::string domain = "AppDomain-net.whatsapp.WhatsApp";
    Dir(domain, "Library/Media");
    static constexpr MediaKind kinds[] = {MediaKind::kJpeg, MediaKind::kMp4, MediaKind::kJpegDqt,
                                          MediaKind::kMp3, MediaKind::kPng};
    int64_t pk = d.messages.empty() ? 0 : d.messages.back().pk;
    auto media = [&](MediaKind kind, int i, bool empty_file) {
      const MediaFile& mf = Media(kind);
      const WaChat* chat = d.chats.empty() ? nullptr : &d.chats[i % d.chats.size()];
      std::string jid = chat && chat->contact_jid ? *chat->contact_jid : "unknown";
      std::string rel = "Library/Media/" + jid + Format("/%lld/%lld/", i % 10, i % 7) +
                        GuidText(90000 + i) + "." + AsciiLowerExt(mf.extension);
      FileItem& f = AddMedia(domain, rel, kind);
      if (empty_file) {
        f.bytes = {};
        f.detected = nullptr;
      }
      if (chat == nullptr) return;
      WaMessage m;
      m.pk = ++pk;
      m.chat = chat->pk;
      m.message_type = mf.is_video_or_audio ? 2 : 1;
      m.date = static_cast<double>(kSampleBaseTime - kAppleEpoch - 50LL * 86400 + i * 300);
      m.push_name = chat->partner_name;
      m.media_item = static_cast<int64_t>(d.media.size()) + 1;
      d.messages.push_back(m);
      WaMediaItem item;
      item.pk = m.media_item;
      item.message = m.pk;
      item.title = i % 2 ? OptText() : OptText("Caption " + std::to_string(i) + ", with comma");
      item.local_path = "Media/" + jid + Format("/%lld/%lld/", i % 10, i % 7) +
                        GuidText(90000 + i) + "." + AsciiLowerExt(mf.extension);
      item.file_size = static_cast<int64_t>(f.bytes.size());
      d.media.push_back(item);
    };
    for (int i = 0; i < o.whatsapp_media; ++i) media(kinds[i % 5], i, false);
    if (o.edge_cases) {
      media(MediaKind::kJpeg, 5000, true);      // 0 bytes: not listed
      media(MediaKind::kPngTiny, 5001, false);  // short, typed
    }
  }

  static std::string AsciiLowerExt(const char* ext) {
    std::string s = ext;
    for (char& ch : s) ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    return s;
  }

  // ---- camera roll and photo stream ----
  void Photos() {
    const bool modern = o.generation >= 12;
    static constexpr MediaKind older[] = {MediaKind::kJpegExif, MediaKind::kJpeg, MediaKind::kMov,
                                          MediaKind::kJpegExif, MediaKind::kPng};
    static constexpr MediaKind newer[] = {MediaKind::kHeic, MediaKind::kJpegExif, MediaKind::kMov,
                                          MediaKind::kHeic, MediaKind::kJpegDqt,  MediaKind::kMp4,
                                          MediaKind::kPng};
    Dir("CameraRollDomain", "");
    Dir("CameraRollDomain", "Media");
    Dir("CameraRollDomain", "Media/DCIM");
    int folder = -1;
    for (int i = 0; i < o.camera_roll; ++i) {
      if (i / 1000 != folder) {
        folder = i / 1000;
        Dir("CameraRollDomain", Format("Media/DCIM/%lldAPPLE", 100 + folder));
      }
      MediaKind kind = modern ? newer[i % std::size(newer)] : older[i % std::size(older)];
      AddMedia("CameraRollDomain",
               Format("Media/DCIM/%lldAPPLE/IMG_%04lld.", 100 + folder, i % 10000 + 1) +
                   Media(kind).extension,
               kind);
    }
    if (o.edge_cases) {
      Dir("CameraRollDomain", "Media/DCIM/999APPLE");
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9001.PNG", MediaKind::kPngTiny);
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9002.JPG", MediaKind::kJpegTiny);
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9003.GIF", MediaKind::kGif);
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9004.HEIC", MediaKind::kHeic);
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9005.MOV", MediaKind::kMov);
      FileItem& empty =
          AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9006.JPG", MediaKind::kJpeg);
      empty.bytes = {};
      empty.detected = nullptr;
      AddMedia("CameraRollDomain", "Media/DCIM/999APPLE/IMG_9007.JPG", MediaKind::kJpeg).present =
          false;
      TextFile("CameraRollDomain", "Media/DCIM/.MISC/Info.plist",
               "<?xml version=\"1.0\"?><plist><dict/></plist>\n");
      Add("CameraRollDomain", "Media/DCIM/999APPLE/latest.JPG", kFlagLink).target = "IMG_9002.JPG";
    }
    if (o.photo_stream > 0) {
      Dir("MediaDomain", "Media/PhotoStreamsData");
      Dir("MediaDomain", "Media/PhotoStreamsData/1234567890");
      Dir("MediaDomain", "Media/PhotoStreamsData/1234567890/100APPLE");
    }
    for (int i = 0; i < o.photo_stream; ++i) {
      MediaKind kind = i % 3 == 2 ? MediaKind::kPng : MediaKind::kJpeg;
      AddMedia("MediaDomain",
               Format("Media/PhotoStreamsData/1234567890/100APPLE/IMG_%04lld.", i + 1) +
                   Media(kind).extension,
               kind);
    }
  }

  // ---- app files ----
  void AppFiles() {
    struct App {
      const char* bundle;
      const char* folder;
      MediaKind kind;
      const char* stem;
    };
    static constexpr App apps[] = {
        {"com.example.photoeditor", "Documents/Exports", MediaKind::kPng, "export"},
        {"net.example.recorder", "Documents/Recordings", MediaKind::kWav, "memo"},
        {"org.example.viewer", "Documents", MediaKind::kMov, "clip"},
        {"com.example.music", "Library/Audio", MediaKind::kMp3, "song"},
        {"com.example.camera", "Documents/Shots", MediaKind::kJpegExif, "shot"},
        {"com.example.gifs", "Library/Caches/gifs", MediaKind::kGif, "anim"},
    };
    for (const App& a : apps) c.app_bundles.push_back(a.bundle);
    c.app_bundles.push_back("net.whatsapp.WhatsApp");
    for (const App& a : apps) {
      Dir(std::string("AppDomain-") + a.bundle, "");
      Dir(std::string("AppDomain-") + a.bundle, a.folder);
    }
    for (int i = 0; i < o.app_files; ++i) {
      const App& a = apps[i % std::size(apps)];
      AddMedia(std::string("AppDomain-") + a.bundle,
               std::string(a.folder) + "/" + a.stem + "_" + std::to_string(i) + "." +
                   AsciiLowerExt(Media(a.kind).extension),
               a.kind);
    }
    if (!o.edge_cases) return;
    const std::string d = "AppDomain-com.example.photoeditor";
    // Names a file system refuses or an exporter must not follow.
    AddMedia(d, "Documents/a<b>c:d\"e|f?g*h.png", MediaKind::kPng);
    AddMedia(d, "Documents/back\\slash.gif", MediaKind::kGif);
    AddMedia(d, "Documents/../../../escape.jpg", MediaKind::kJpeg);
    AddMedia(d, "Documents/x/..", MediaKind::kJpeg);
    AddMedia(d, "Documents/Fotoğraf 😀.heic", MediaKind::kHeic);
    AddMedia(d, "Documents/no_extension", MediaKind::kJpegDqt);
    AddMedia(d, "Documents/wrong.txt", MediaKind::kMp4);
    if (o.generation <= 9) {
      // Invalid UTF-8 survives only in the older record file; a phone's file system and the
      // archived descriptions of Manifest.db hold valid UTF-8.
      AddMedia(d, std::string("Documents/bad\xff\xfe name.png"), MediaKind::kPng);
    }
    AddMedia(d, "Documents/ctrl\x01\x1f.png", MediaKind::kPngTiny);
    AddMedia(d, "Documents/CON.jpg", MediaKind::kJpegTiny);
    FileItem& empty = AddMedia(d, "Documents/empty.png", MediaKind::kPng);
    empty.bytes = {};
    empty.detected = nullptr;
    TextFile(d, "Documents/readme.txt", "Plain text is not a picture.\n");
    AddMedia("AppDomain-org.example", "Library/x.png", MediaKind::kPng);  // app name "other"
  }

  // ---- databases and system files ----
  void Databases() {
    Dir("HomeDomain", "");
    Dir("HomeDomain", "Library");
    Dir("HomeDomain", "Library/SMS");
    Database("HomeDomain", "Library/SMS/sms.db", DatabaseKind::kMessages);
    Dir("HomeDomain", "Library/AddressBook");
    Database("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", DatabaseKind::kAddressBook);
    if (c.has_current_calls) {
      Dir("HomeDomain", "Library/CallHistoryDB");
      Database("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
               DatabaseKind::kCurrentCalls);
    }
    if (c.has_older_calls) {
      Dir("WirelessDomain", "");
      Dir("WirelessDomain", "Library/CallHistory");
      Database("WirelessDomain", "Library/CallHistory/call_history.db", DatabaseKind::kOlderCalls);
    }
    if (c.has_older_notes) {
      Dir("HomeDomain", "Library/Notes");
      Database("HomeDomain", "Library/Notes/notes.sqlite", DatabaseKind::kOlderNotes);
    }
    if (c.has_newer_notes) {
      Dir("AppDomainGroup-group.com.apple.notes", "");
      Database("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
               DatabaseKind::kNewerNotes);
    }
    Dir("AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "");
    Database("AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite",
             DatabaseKind::kWhatsApp);
  }

  void SystemFiles() {
    static constexpr const char* domains[] = {"HomeDomain",
                                              "RootDomain",
                                              "SystemPreferencesDomain",
                                              "KeychainDomain",
                                              "MediaDomain",
                                              "AppDomain-com.example.photoeditor",
                                              "AppDomain-com.example.music",
                                              "DatabaseDomain",
                                              "ManagedPreferencesDomain"};
    static constexpr const char* folders[] = {"Library/Preferences", "Library/Caches",
                                              "Library/Logs", "Library/Cookies",
                                              "Library/Application Support"};
    const int used = static_cast<int>(c.items.size());
    int filler = std::max(o.manifest_rows - used, 0);
    filler = std::max(filler, o.missing_files);
    const int spread = o.missing_files > 0 ? std::max(1, filler / o.missing_files) : 0;
    int missing = 0;
    int64_t n = 0;
    for (int i = 0; i < filler; ++i) {
      const std::string domain = domains[i % std::size(domains)];
      const std::string folder = folders[(i / std::size(domains)) % std::size(folders)];
      // Every 12th row is a folder and every 100th a link, the rest small files.
      if (i % 12 == 11 && o.missing_files < filler - i) {
        Dir(domain, folder + Format("/group%lld", i));
        continue;
      }
      if (i % 100 == 99 && o.missing_files < filler - i) {
        Add(domain, folder + Format("/link%lld", i), kFlagLink).target =
            "/private/var/mobile/" + folder;
        continue;
      }
      FileItem& f = Add(domain, folder + Format("/com.example.item%lld.plist", ++n));
      f.filler = true;
      f.filler_seed = o.seed * 1000003u + static_cast<uint64_t>(i);
      f.filler_size = 40 + static_cast<uint32_t>(Rng(f.filler_seed).Next() % 1400);
      if (missing < o.missing_files &&
          (spread == 0 || i % spread == 0 || filler - i <= o.missing_files - missing)) {
        f.present = false;
        ++missing;
      }
    }
  }
};

}  // namespace

size_t FileItem::size() const {
  if (database != DatabaseKind::kNone) {
    return owned.empty() ? static_cast<size_t>(database_size) : owned.size();
  }
  if (!owned.empty()) return owned.size();
  if (filler) return filler_size;
  return bytes.size();
}

std::string_view FileItem::Content(std::string& scratch) const {
  if (!owned.empty()) return owned;
  if (!filler) return bytes;
  if (scratch.size() == filler_size) return scratch;
  // A text that no content signature matches: it starts with "#" and holds only printable
  // ASCII and line feeds.
  scratch.clear();
  Rng r(filler_seed);
  scratch += "# cache ";
  scratch += std::to_string(filler_seed);
  scratch += '\n';
  static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789 =.;\n";
  while (scratch.size() < filler_size) scratch += alphabet[r.Next() % (sizeof alphabet - 1)];
  scratch.resize(filler_size);
  return scratch;
}

Content BuildContent(const SampleOptions& options) {
  Builder b(options);
  b.Messages();
  b.Contacts();
  b.Calls();
  b.Notes();
  b.WhatsApp();
  b.Databases();
  b.Photos();
  b.Attachments();
  b.AppFiles();
  b.WhatsAppMedia();
  b.SystemFiles();
  return std::move(b.c);
}

int WriteDatabase(DatabaseKind kind, const std::filesystem::path& path, const SampleOptions& o,
                  const Content& c) {
  switch (kind) {
    case DatabaseKind::kMessages:
      return WriteMessagesDb(path, o.generation, c.messages);
    case DatabaseKind::kAddressBook:
      return WriteAddressBookDb(path, o.generation, c.layout, c.contacts);
    case DatabaseKind::kCurrentCalls:
      return WriteCallHistoryDb(path, o.generation, CallStore::kCurrent, c.current_calls);
    case DatabaseKind::kOlderCalls:
      return WriteCallHistoryDb(path, o.generation, CallStore::kOlder, c.older_calls);
    case DatabaseKind::kOlderNotes:
      return WriteNotesDb(path, o.generation, NoteStore::kOlder, c.older_notes);
    case DatabaseKind::kNewerNotes:
      return WriteNotesDb(path, o.generation, NoteStore::kNewer, c.newer_notes);
    case DatabaseKind::kWhatsApp:
      return WriteWhatsAppDb(path, c.whatsapp);
    case DatabaseKind::kNone:
      break;
  }
  return 0;
}

int ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      ::close(fd);
      return e;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return 0;
}

}  // namespace salvora::sample
